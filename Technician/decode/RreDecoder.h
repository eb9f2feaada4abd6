// RRE (encoding 2) and CoRRE (encoding 4): a background colour and a count of
// solid sub-rectangles, each a pixel and its place relative to the rectangle
// (16-bit fields for RRE, one byte each for CoRRE). The count may not exceed
// the rectangle's pixels; sub-rectangles are read a bounded batch at a time
// and clipped to their rectangle.
#pragma once

#include "Technician/decode/GrowingBuffer.h"
#include "Technician/decode/RectDecoder.h"

namespace decode {

class RreDecoder : public RectDecoder {
public:
    explicit RreDecoder(bool compact) : m_compact(compact) {}
    RectResult decode(rdr::InStream& in, const RectHeader& h, DecodeTarget& t) override;

private:
    bool m_compact;
    GrowingBuffer m_batch{GrowingBuffer::Kind::Decode};
};

} // namespace decode
