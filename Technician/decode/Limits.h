// Bounds on what a rectangle may announce, checked before anything is
// allocated or read, so a hostile host cannot make the viewer allocate
// without limit or read past a buffer.
#pragma once

#include "rfb/InStream.h"

#include <cstddef>
#include <cstdint>

namespace decode {

// Slack allowed on top of twice the raw size of the data a compressed block
// stands for; compressors expand incompressible data only slightly.
constexpr size_t kCompressedSlack = 64 * 1024;

inline size_t RawSize(int w, int h, size_t bytesPerPixel)
{
    return static_cast<size_t>(w) * static_cast<size_t>(h) * bytesPerPixel;
}

// Bytes of a one-bit-a-pixel mask over w x h pixels (rows not padded).
inline size_t MaskSize(int w, int h)
{
    return (static_cast<size_t>(w) * static_cast<size_t>(h) + 7) / 8;
}

// Reads a big-endian 32-bit compressed length and checks it against the size
// of what it decompresses to; throws DecodeError naming `what` when above.
size_t ReadCompressedLength(rdr::InStream& in, size_t rawSize, const char* what);

} // namespace decode
