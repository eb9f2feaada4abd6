#pragma once
// How a kept password is held in memory and in the registry (REG_BINARY):
//
//   bytes 0-15   key bytes 16-31
//   bytes 16-31  key bytes 0-15
//   bytes 32-    AES-256-CBC (zero chain block) of the text, its zero byte and
//                zero padding to a multiple of 16
//
// The key is 8 groups of one random byte and three zero bytes. Stored settings
// rely on this layout. The key sits beside the ciphertext, so this keeps a
// password from plain sight, no more; there is no integrity check.
#include "core/base/s_mem.h"

// Encrypts text into out and overwrites the caller's text with zeros (on
// failure too). Returns 1, or 0 for null or empty text (nothing touched) or
// when the random generator or the cipher failed (out unchanged).
int EncryptStoredString(char* text, s_mem& out);

// Decrypts a stored secret into out as zero-terminated text (padding and one
// extra zero byte included). Returns 1, or 0 for a value that is not 32 bytes
// plus a non-zero multiple of 16 (out unchanged). A damaged key part gives
// meaningless but still zero-terminated bytes.
int DecryptStoredString(s_mem& out, const s_mem& secret);
