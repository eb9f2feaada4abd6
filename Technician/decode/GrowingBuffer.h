// A byte buffer of a decoder that is reused across rectangles and only
// grows. When a rectangle needs n bytes and the buffer is not larger, it is
// replaced by one of n + 256 bytes (the old contents are not kept) and the
// growth is logged with the line of its kind, as the viewer has always
// written them:
//   Decode  bytes read from the stream       "bufsize expanded to %d\n"
//   Second  bytes inflated or decompressed   "zlibbufsize expanded to %d\n"
//   Zip     SolMonoZip's uncompressed block  "zipbufsize expanded to %d\n"
#pragma once

#include "Technician/decode/DecodeLog.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace decode {

class GrowingBuffer {
public:
    enum class Kind { Decode, Second, Zip };

    explicit GrowingBuffer(Kind kind) : m_kind(kind) {}

    // At least n bytes, grown (and logged) when the buffer is not larger.
    uint8_t* reserve(size_t n, const DecodeLog& log);
    uint8_t* data() { return m_bytes.data(); }
    const uint8_t* data() const { return m_bytes.data(); }

private:
    Kind m_kind;
    std::vector<uint8_t> m_bytes;
};

} // namespace decode
