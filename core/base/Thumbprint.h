#pragma once
// SHA-1 thumbprints of certificates as text: 40 hex digits. The program
// writes them in lower case; text from a profile or a test may use either.
#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t kSha1Size = 20;

// 40 lower-case hex digits of the digest.
std::string ThumbprintHex(const uint8_t (&sha1)[kSha1Size]);
// Exactly 40 hex digits of either case; false (sha1 unspecified) for any
// other text, signs, spaces and "0x" included.
bool ParseThumbprint(const std::string& hex, uint8_t (&sha1)[kSha1Size]);
// Both name the same digest; text that is not a thumbprint matches nothing.
bool SameThumbprint(const std::string& a, const std::string& b);
