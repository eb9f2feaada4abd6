#include "core/base/CRijndael.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Hex(const std::string& hex)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

TEST(CRijndael, Fips197AppendixC)
{
    struct Case { std::string key, cipher; };
    const Case cases[] = {
        {"000102030405060708090a0b0c0d0e0f", "69c4e0d86a7b0430d8cdb78070b4c55a"},
        {"000102030405060708090a0b0c0d0e0f1011121314151617", "dda97ca4864cdfe06eaf70a0ec0d7191"},
        {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
         "8ea2b7ca516745bfeafc49904b496089"},
    };
    const auto plain = Hex("00112233445566778899aabbccddeeff");
    for (const auto& c : cases) {
        const auto key = Hex(c.key);
        CRijndael aes;
        aes.MakeKey(key.data(), nullptr, key.size(), 16);
        uint8_t out[16], back[16];
        aes.EncryptBlock(plain.data(), out);
        EXPECT_EQ(std::vector<uint8_t>(out, out + 16), Hex(c.cipher)) << c.key;
        aes.DecryptBlock(out, back);
        EXPECT_EQ(std::vector<uint8_t>(back, back + 16), plain) << c.key;
    }
}

TEST(CRijndael, CbcSp800_38aVector)
{
    const auto key = Hex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
    const auto iv = Hex("000102030405060708090a0b0c0d0e0f");
    const auto plain = Hex("6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
                           "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
    const auto cipher = Hex("f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
                            "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b");
    CRijndael aes;
    aes.MakeKey(key.data(), iv.data());
    std::vector<uint8_t> out(plain.size());
    // Two calls: the chain carries on between them.
    aes.Encrypt(plain.data(), out.data(), 32);
    aes.Encrypt(plain.data() + 32, out.data() + 32, 32);
    EXPECT_EQ(out, cipher);
    aes.ResetChain();
    aes.Decrypt(out.data(), out.data(), out.size());
    EXPECT_EQ(out, plain);
}

TEST(CRijndael, ThrowsItsMessages)
{
    auto message = [](auto&& f) {
        try {
            f();
        } catch (const std::runtime_error& e) {
            return std::string(e.what());
        }
        return std::string("no exception");
    };
    uint8_t key[32] = {}, data[32] = {};
    CRijndael fresh;
    EXPECT_EQ(message([&] { fresh.MakeKey(nullptr, nullptr); }), "Empty key");
    EXPECT_EQ(message([&] { fresh.Encrypt(data, data, 16); }), "Object not Initialized");
    EXPECT_EQ(message([&] { fresh.DecryptBlock(data, data); }), "Object not Initialized");
    EXPECT_EQ(message([&] { fresh.MakeKey(key, nullptr, 20, 16); }), "Incorrect key length");
    EXPECT_EQ(message([&] { fresh.MakeKey(key, nullptr, 32, 24); }), "Incorrect block size");
    CRijndael aes;
    aes.MakeKey(key, nullptr);
    EXPECT_EQ(message([&] { aes.Encrypt(data, data, 0); }), "Data not multiple of Block Size");
    EXPECT_EQ(message([&] { aes.Decrypt(data, data, 17); }), "Data not multiple of Block Size");
}

} // namespace
