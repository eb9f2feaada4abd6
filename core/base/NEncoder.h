#pragma once
// AES-256-CBC with an all-zero chain block for kept passwords. The stored form
// (see StoredSecret.h) is the 32-byte key with its halves swapped, followed by
// the ciphertext. Failures print "NEncoder - AES... failed, error = ..." on
// the standard output and return 0.
#include "core/base/s_mem.h"

#include <cstdint>

namespace NEncoder {

constexpr size_t kKeySize = 32;

// Encrypts text with its terminating zero, padded with zeros to a multiple of
// 16 bytes; out receives the ciphertext alone. chain is 16 bytes, or empty for
// the all-zero chain block. Returns 1, or 0 with out unchanged.
int AESEncrypt(s_mem& out, const uint8_t* key, const char* text, const s_mem& chain);

// Decrypts a stored secret (swapped key, then ciphertext); out receives the
// padded plain text followed by one more zero byte, so that it reads as text
// even when the secret was damaged. Returns 1, or 0 with out unchanged.
int AESDecrypt(s_mem& out, const s_mem& secret);

} // namespace NEncoder

// Exchanges bytes 0-15 with bytes 16-31 in place; 0 for a null key, else 1.
int SwapKeyHalves(uint8_t* key);
