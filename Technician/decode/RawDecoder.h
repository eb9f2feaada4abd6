// Raw (encoding 0): w x h pixels, row after row. Rows are read a band at a
// time into a buffer bounded by the band, then drawn.
#pragma once

#include "Technician/decode/GrowingBuffer.h"
#include "Technician/decode/RectDecoder.h"

namespace decode {

class RawDecoder : public RectDecoder {
public:
    RectResult decode(rdr::InStream& in, const RectHeader& h, DecodeTarget& t) override;

private:
    GrowingBuffer m_bytes{GrowingBuffer::Kind::Decode};
    std::vector<uint32_t> m_colours;
};

} // namespace decode
