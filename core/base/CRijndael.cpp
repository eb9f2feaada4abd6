#include "core/base/CRijndael.h"

#include "core/base/SecureZero.h"

#include <cstring>
#include <stdexcept>

namespace {

// All tables are computed at compile time from the field arithmetic of
// GF(2^8) with the polynomial x^8 + x^4 + x^3 + x + 1.
constexpr uint8_t Xtime(uint8_t a)
{
    return static_cast<uint8_t>((a << 1) ^ ((a & 0x80) ? 0x1B : 0));
}

constexpr uint8_t Mul(uint8_t a, uint8_t b)
{
    uint8_t r = 0;
    while (b) {
        if (b & 1)
            r ^= a;
        a = Xtime(a);
        b >>= 1;
    }
    return r;
}

constexpr uint8_t Rotl8(uint8_t x, int n)
{
    return static_cast<uint8_t>((x << n) | (x >> (8 - n)));
}

constexpr uint32_t Rotr(uint32_t x, int n)
{
    return (x >> n) | (x << (32 - n));
}

struct Tables {
    uint8_t sbox[256] = {};
    uint8_t inv[256] = {};
    uint32_t te[4][256] = {};
    uint32_t td[4][256] = {};
};

constexpr Tables MakeTables()
{
    Tables t;
    // Walk the multiplicative group with generator 3 (p) and its inverse (q),
    // so q = p^-1 at every step; the S-box is the affine map of the inverse.
    uint8_t p = 1, q = 1;
    do {
        p = static_cast<uint8_t>(p ^ Xtime(p));
        q = static_cast<uint8_t>(q ^ (q << 1));
        q = static_cast<uint8_t>(q ^ (q << 2));
        q = static_cast<uint8_t>(q ^ (q << 4));
        if (q & 0x80)
            q ^= 0x09;
        const uint8_t s = static_cast<uint8_t>(q ^ Rotl8(q, 1) ^ Rotl8(q, 2) ^ Rotl8(q, 3) ^ Rotl8(q, 4));
        t.sbox[p] = static_cast<uint8_t>(s ^ 0x63);
    } while (p != 1);
    t.sbox[0] = 0x63;
    for (int i = 0; i < 256; ++i)
        t.inv[t.sbox[i]] = static_cast<uint8_t>(i);
    for (int i = 0; i < 256; ++i) {
        const uint8_t s = t.sbox[i];
        const uint32_t e = (uint32_t{Mul(s, 2)} << 24) | (uint32_t{s} << 16) | (uint32_t{s} << 8) | Mul(s, 3);
        const uint8_t v = t.inv[i];
        const uint32_t d = (uint32_t{Mul(v, 14)} << 24) | (uint32_t{Mul(v, 9)} << 16) |
                           (uint32_t{Mul(v, 13)} << 8) | Mul(v, 11);
        for (int r = 0; r < 4; ++r) {
            t.te[r][i] = r ? Rotr(e, 8 * r) : e;
            t.td[r][i] = r ? Rotr(d, 8 * r) : d;
        }
    }
    return t;
}

constexpr Tables kT = MakeTables();

uint32_t Load(const uint8_t* b)
{
    return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

void Store(uint32_t v, uint8_t* b)
{
    b[0] = static_cast<uint8_t>(v >> 24);
    b[1] = static_cast<uint8_t>(v >> 16);
    b[2] = static_cast<uint8_t>(v >> 8);
    b[3] = static_cast<uint8_t>(v);
}

uint32_t SubWord(uint32_t w)
{
    return (uint32_t{kT.sbox[w >> 24]} << 24) | (uint32_t{kT.sbox[(w >> 16) & 0xFF]} << 16) |
           (uint32_t{kT.sbox[(w >> 8) & 0xFF]} << 8) | kT.sbox[w & 0xFF];
}

} // namespace

CRijndael::CRijndael() = default;

CRijndael::~CRijndael()
{
    SecureZero(m_encryptKeys, sizeof m_encryptKeys);
    SecureZero(m_decryptKeys, sizeof m_decryptKeys);
    SecureZero(m_initialChain, sizeof m_initialChain);
    SecureZero(m_chain, sizeof m_chain);
}

void CRijndael::MakeKey(const uint8_t* key, const uint8_t* chain, size_t keyLength, size_t blockSize)
{
    if (!key)
        throw std::runtime_error("Empty key");
    if (keyLength != 16 && keyLength != 24 && keyLength != 32)
        throw std::runtime_error("Incorrect key length");
    if (blockSize != kBlockSize)
        throw std::runtime_error("Incorrect block size");
    m_blockSize = blockSize;
    const int nk = static_cast<int>(keyLength / 4);
    m_rounds = nk + 6;
    const int words = 4 * (m_rounds + 1);

    uint32_t* w = m_encryptKeys;
    for (int i = 0; i < nk; ++i)
        w[i] = Load(key + 4 * i);
    uint8_t rcon = 1;
    for (int i = nk; i < words; ++i) {
        uint32_t temp = w[i - 1];
        if (i % nk == 0) {
            temp = SubWord(Rotr(temp, 24)) ^ (uint32_t{rcon} << 24);
            rcon = Xtime(rcon);
        } else if (nk > 6 && i % nk == 4) {
            temp = SubWord(temp);
        }
        w[i] = w[i - nk] ^ temp;
    }

    // Round keys of the equivalent inverse cipher: reversed order, with
    // InvMixColumns applied to all but the first and last.
    for (int r = 0; r <= m_rounds; ++r) {
        for (int c = 0; c < 4; ++c) {
            uint32_t k = w[4 * (m_rounds - r) + c];
            if (r > 0 && r < m_rounds) {
                k = kT.td[0][kT.sbox[k >> 24]] ^ kT.td[1][kT.sbox[(k >> 16) & 0xFF]] ^
                    kT.td[2][kT.sbox[(k >> 8) & 0xFF]] ^ kT.td[3][kT.sbox[k & 0xFF]];
            }
            m_decryptKeys[4 * r + c] = k;
        }
    }

    if (chain)
        std::memcpy(m_initialChain, chain, kBlockSize);
    else
        std::memset(m_initialChain, 0, kBlockSize);
    std::memcpy(m_chain, m_initialChain, kBlockSize);
    m_keyInitialized = true;
}

void CRijndael::ResetChain()
{
    std::memcpy(m_chain, m_initialChain, kBlockSize);
}

void CRijndael::EncryptBlock(const uint8_t* in, uint8_t* out) const
{
    if (!m_keyInitialized)
        throw std::runtime_error("Object not Initialized");
    const uint32_t* rk = m_encryptKeys;
    uint32_t s0 = Load(in) ^ rk[0], s1 = Load(in + 4) ^ rk[1];
    uint32_t s2 = Load(in + 8) ^ rk[2], s3 = Load(in + 12) ^ rk[3];
    const auto& te = kT.te;
    for (int r = 1; r < m_rounds; ++r) {
        rk += 4;
        const uint32_t t0 = te[0][s0 >> 24] ^ te[1][(s1 >> 16) & 0xFF] ^ te[2][(s2 >> 8) & 0xFF] ^ te[3][s3 & 0xFF] ^ rk[0];
        const uint32_t t1 = te[0][s1 >> 24] ^ te[1][(s2 >> 16) & 0xFF] ^ te[2][(s3 >> 8) & 0xFF] ^ te[3][s0 & 0xFF] ^ rk[1];
        const uint32_t t2 = te[0][s2 >> 24] ^ te[1][(s3 >> 16) & 0xFF] ^ te[2][(s0 >> 8) & 0xFF] ^ te[3][s1 & 0xFF] ^ rk[2];
        const uint32_t t3 = te[0][s3 >> 24] ^ te[1][(s0 >> 16) & 0xFF] ^ te[2][(s1 >> 8) & 0xFF] ^ te[3][s2 & 0xFF] ^ rk[3];
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }
    rk += 4;
    const uint8_t* S = kT.sbox;
    auto last = [S](uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t k) {
        return ((uint32_t{S[a >> 24]} << 24) | (uint32_t{S[(b >> 16) & 0xFF]} << 16) |
                (uint32_t{S[(c >> 8) & 0xFF]} << 8) | S[d & 0xFF]) ^ k;
    };
    Store(last(s0, s1, s2, s3, rk[0]), out);
    Store(last(s1, s2, s3, s0, rk[1]), out + 4);
    Store(last(s2, s3, s0, s1, rk[2]), out + 8);
    Store(last(s3, s0, s1, s2, rk[3]), out + 12);
}

void CRijndael::DecryptBlock(const uint8_t* in, uint8_t* out) const
{
    if (!m_keyInitialized)
        throw std::runtime_error("Object not Initialized");
    const uint32_t* rk = m_decryptKeys;
    uint32_t s0 = Load(in) ^ rk[0], s1 = Load(in + 4) ^ rk[1];
    uint32_t s2 = Load(in + 8) ^ rk[2], s3 = Load(in + 12) ^ rk[3];
    const auto& td = kT.td;
    for (int r = 1; r < m_rounds; ++r) {
        rk += 4;
        const uint32_t t0 = td[0][s0 >> 24] ^ td[1][(s3 >> 16) & 0xFF] ^ td[2][(s2 >> 8) & 0xFF] ^ td[3][s1 & 0xFF] ^ rk[0];
        const uint32_t t1 = td[0][s1 >> 24] ^ td[1][(s0 >> 16) & 0xFF] ^ td[2][(s3 >> 8) & 0xFF] ^ td[3][s2 & 0xFF] ^ rk[1];
        const uint32_t t2 = td[0][s2 >> 24] ^ td[1][(s1 >> 16) & 0xFF] ^ td[2][(s0 >> 8) & 0xFF] ^ td[3][s3 & 0xFF] ^ rk[2];
        const uint32_t t3 = td[0][s3 >> 24] ^ td[1][(s2 >> 16) & 0xFF] ^ td[2][(s1 >> 8) & 0xFF] ^ td[3][s0 & 0xFF] ^ rk[3];
        s0 = t0;
        s1 = t1;
        s2 = t2;
        s3 = t3;
    }
    rk += 4;
    const uint8_t* Si = kT.inv;
    auto last = [Si](uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t k) {
        return ((uint32_t{Si[a >> 24]} << 24) | (uint32_t{Si[(b >> 16) & 0xFF]} << 16) |
                (uint32_t{Si[(c >> 8) & 0xFF]} << 8) | Si[d & 0xFF]) ^ k;
    };
    Store(last(s0, s3, s2, s1, rk[0]), out);
    Store(last(s1, s0, s3, s2, rk[1]), out + 4);
    Store(last(s2, s1, s0, s3, rk[2]), out + 8);
    Store(last(s3, s2, s1, s0, rk[3]), out + 12);
}

void CRijndael::CheckReady(size_t n) const
{
    if (!m_keyInitialized)
        throw std::runtime_error("Object not Initialized");
    if (n == 0 || n % m_blockSize != 0)
        throw std::runtime_error("Data not multiple of Block Size");
}

void CRijndael::Encrypt(const uint8_t* in, uint8_t* out, size_t n)
{
    CheckReady(n);
    uint8_t block[kBlockSize];
    for (size_t off = 0; off < n; off += kBlockSize) {
        for (size_t i = 0; i < kBlockSize; ++i)
            block[i] = in[off + i] ^ m_chain[i];
        EncryptBlock(block, m_chain);
        std::memcpy(out + off, m_chain, kBlockSize);
    }
    SecureZero(block, sizeof block);
}

void CRijndael::Decrypt(const uint8_t* in, uint8_t* out, size_t n)
{
    CheckReady(n);
    uint8_t cipher[kBlockSize];
    uint8_t plain[kBlockSize];
    for (size_t off = 0; off < n; off += kBlockSize) {
        // Kept before out is written, since in and out may be one buffer.
        std::memcpy(cipher, in + off, kBlockSize);
        DecryptBlock(cipher, plain);
        for (size_t i = 0; i < kBlockSize; ++i)
            out[off + i] = plain[i] ^ m_chain[i];
        std::memcpy(m_chain, cipher, kBlockSize);
    }
    SecureZero(plain, sizeof plain);
}
