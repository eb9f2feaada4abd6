#pragma once
// Lower-case hexadecimal text of a byte buffer (certificate hashes, request
// digests).
#include "core/base/s_mem.h"

#include <string>

// Appends two lower-case hex digits per byte of buffer to out.
void HexEncodeMem(const s_mem& buffer, std::string& out);
