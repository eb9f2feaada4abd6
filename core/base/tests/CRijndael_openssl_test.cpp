// Our AES against OpenSSL's on random keys, chain blocks and data.
#include "core/base/CRijndael.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <random>
#include <vector>

namespace {

std::vector<uint8_t> OpenSslCbc(bool encrypt, const std::vector<uint8_t>& key, const uint8_t* iv,
                                const std::vector<uint8_t>& in)
{
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_CipherInit_ex(ctx, EVP_aes_256_cbc(), nullptr, key.data(), iv, encrypt ? 1 : 0);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    std::vector<uint8_t> out(in.size());
    int n = 0, tail = 0;
    EVP_CipherUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(in.size()));
    EVP_CipherFinal_ex(ctx, out.data() + n, &tail);
    EVP_CIPHER_CTX_free(ctx);
    return out;
}

TEST(CRijndaelOpenSsl, CbcMatchesOpenSsl)
{
    std::mt19937 rng(20261210);
    auto bytes = [&](size_t n) {
        std::vector<uint8_t> v(n);
        for (auto& b : v)
            b = static_cast<uint8_t>(rng());
        return v;
    };
    for (int round = 0; round < 200; ++round) {
        const auto key = bytes(32);
        const auto iv = bytes(16);
        const auto plain = bytes(16 * (1 + rng() % 20));
        CRijndael aes;
        aes.MakeKey(key.data(), iv.data());
        std::vector<uint8_t> ours(plain.size());
        aes.Encrypt(plain.data(), ours.data(), plain.size());
        ASSERT_EQ(ours, OpenSslCbc(true, key, iv.data(), plain)) << round;
        const auto cipher = bytes(plain.size());
        aes.ResetChain();
        aes.Decrypt(cipher.data(), ours.data(), cipher.size());
        ASSERT_EQ(ours, OpenSslCbc(false, key, iv.data(), cipher)) << round;
    }
}

} // namespace
