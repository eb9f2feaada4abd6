#pragma once
// AES (FIPS 197) block cipher with 16-, 24- or 32-byte keys and 16-byte
// blocks, table-driven, with CBC over whole blocks. Errors are thrown as
// std::runtime_error with the texts "Empty key", "Object not Initialized" and
// "Data not multiple of Block Size" (and "Incorrect key length" or "Incorrect
// block size" for sizes AES does not have).
#include <cstddef>
#include <cstdint>

class CRijndael {
public:
    static constexpr size_t kBlockSize = 16;
    static constexpr size_t kMaxKeySize = 32;

    CRijndael();
    virtual ~CRijndael();
    CRijndael(const CRijndael&) = delete;
    CRijndael& operator=(const CRijndael&) = delete;

    // Expands key into the round keys and sets the initial and current chain
    // block from chain (all zero when chain is null).
    void MakeKey(const uint8_t* key, const uint8_t* chain, size_t keyLength = kMaxKeySize,
                 size_t blockSize = kBlockSize);
    // Returns the current chain block to the initial one.
    void ResetChain();

    void EncryptBlock(const uint8_t* in, uint8_t* out) const;
    void DecryptBlock(const uint8_t* in, uint8_t* out) const;

    // CBC over n bytes, n a non-zero multiple of the block size; the chain
    // carries on from the previous call. in and out may be the same buffer.
    void Encrypt(const uint8_t* in, uint8_t* out, size_t n);
    void Decrypt(const uint8_t* in, uint8_t* out, size_t n);

private:
    static constexpr int kMaxRounds = 14;

    void CheckReady(size_t n) const;

    size_t m_blockSize = kBlockSize;
    int m_rounds = 0;
    uint32_t m_encryptKeys[4 * (kMaxRounds + 1)] = {};
    uint32_t m_decryptKeys[4 * (kMaxRounds + 1)] = {};
    uint8_t m_initialChain[kBlockSize] = {};
    uint8_t m_chain[kBlockSize] = {};
    bool m_keyInitialized = false;
};
