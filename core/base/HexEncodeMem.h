#pragma once
// Lower-case hexadecimal text of bytes (certificate thumbprints, request
// digests): the one hex encoder of the program.
#include "core/base/s_mem.h"

#include <cstddef>
#include <cstdint>
#include <string>

// Appends two lower-case hex digits per byte to out.
void HexEncodeMem(const uint8_t* data, size_t size, std::string& out);
void HexEncodeMem(const s_mem& buffer, std::string& out);
