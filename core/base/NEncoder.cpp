#include "core/base/NEncoder.h"

#include "core/base/CRijndael.h"
#include "core/base/SecureZero.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {

// Owns a working buffer of key or text bytes and wipes it on every path out.
class WipedBytes {
public:
    explicit WipedBytes(size_t n) : m_bytes(n, 0) {}
    ~WipedBytes() { SecureZero(m_bytes.data(), m_bytes.size()); }
    WipedBytes(const WipedBytes&) = delete;
    WipedBytes& operator=(const WipedBytes&) = delete;
    uint8_t* data() { return m_bytes.data(); }
    size_t size() const { return m_bytes.size(); }

private:
    std::vector<uint8_t> m_bytes;
};

// Replaces out with bytes; false (out unchanged) when the buffer cannot hold them.
bool AssignAll(s_mem& out, const uint8_t* bytes, size_t n)
{
    s_mem result;
    result.Append(bytes, n);
    if (result.Length() != n)
        return false;
    out = std::move(result);
    return true;
}

} // namespace

int SwapKeyHalves(uint8_t* key)
{
    if (!key)
        return 0;
    for (size_t i = 0; i < NEncoder::kKeySize / 2; ++i) {
        const uint8_t t = key[i];
        key[i] = key[i + NEncoder::kKeySize / 2];
        key[i + NEncoder::kKeySize / 2] = t;
    }
    return 1;
}

namespace NEncoder {

int AESEncrypt(s_mem& out, const uint8_t* key, const char* text, const s_mem& chain)
{
    try {
        if (!text)
            throw std::runtime_error("Empty text");
        if (!chain.IsEmpty() && chain.Length() != CRijndael::kBlockSize)
            throw std::runtime_error("Incorrect chain block size");
        const size_t n = (std::strlen(text) + 1 + 15) / 16 * 16;
        WipedBytes buffer(n);
        std::memcpy(buffer.data(), text, std::strlen(text));
        CRijndael aes;
        aes.MakeKey(key, chain.IsEmpty() ? nullptr : chain.Data(), kKeySize, CRijndael::kBlockSize);
        aes.ResetChain();
        aes.Encrypt(buffer.data(), buffer.data(), n);
        if (!AssignAll(out, buffer.data(), n))
            throw std::runtime_error("Out of memory");
        return 1;
    } catch (const std::exception& e) {
        std::printf("NEncoder - AESEncrypt failed, error = %s\n", e.what());
        return 0;
    }
}

int AESDecrypt(s_mem& out, const s_mem& secret)
{
    const size_t length = secret.Length();
    if (length < kKeySize || (length - kKeySize) % CRijndael::kBlockSize != 0)
        return 0;
    try {
        WipedBytes key(kKeySize);
        std::memcpy(key.data(), secret.Data(), kKeySize);
        SwapKeyHalves(key.data());
        const size_t n = length - kKeySize;
        // One byte more than the plain text: the terminating zero.
        WipedBytes plain(n + 1);
        CRijndael aes;
        aes.MakeKey(key.data(), nullptr, kKeySize, CRijndael::kBlockSize);
        aes.ResetChain();
        aes.Decrypt(secret.Data() + kKeySize, plain.data(), n);
        if (!AssignAll(out, plain.data(), plain.size()))
            throw std::runtime_error("Out of memory");
        return 1;
    } catch (const std::exception& e) {
        std::printf("NEncoder - AESDecrypt failed, error = %s\n", e.what());
        return 0;
    }
}

} // namespace NEncoder
