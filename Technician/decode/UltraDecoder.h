// Ultra (encoding 9): one LZO1X block of the rectangle's pixels. UltraZip
// (0xFFFF0009): one LZO1X block of raw sub-rectangles. The blocks use no
// session state, so a block that does not decompress to exactly what is
// announced is abandoned with a log line once all its bytes are read.
#pragma once

#include "Technician/decode/GrowingBuffer.h"
#include "Technician/decode/RectDecoder.h"

namespace decode {

class LzoBlock {
public:
    LzoBlock();
    // Reads the compressed length and data; decompresses into exactly size
    // bytes. False when the block does not decompress to that.
    bool read(rdr::InStream& in, size_t size, const char* what, const DecodeLog& log);
    const uint8_t* data() const { return m_out.data(); }

private:
    GrowingBuffer m_in{GrowingBuffer::Kind::Decode};
    GrowingBuffer m_out{GrowingBuffer::Kind::Second};
};

class UltraDecoder : public RectDecoder {
public:
    RectResult decode(rdr::InStream& in, const RectHeader& h, DecodeTarget& t) override;

private:
    LzoBlock m_block;
    std::vector<uint32_t> m_colours;
};

class UltraZipDecoder : public RectDecoder {
public:
    RectResult decode(rdr::InStream& in, const RectHeader& h, DecodeTarget& t) override;

private:
    LzoBlock m_block;
    std::vector<uint32_t> m_colours;
};

} // namespace decode
