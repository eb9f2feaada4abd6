// SolMonoZip (0xFFFF0008): one zlib block (uncompressed in one go, no session
// stream) of sub-rectangles that are solid (0xFFFF0005), two-colour masks
// (0xFFFF0003), masks over the picture (0xFFFF0002) or raw (0). A block that
// does not uncompress is abandoned; a sub-rectangle of another encoding ends
// the rectangle, as the rest cannot be found.
#pragma once

#include "Technician/decode/GrowingBuffer.h"
#include "Technician/decode/MaskedPixels.h"
#include "Technician/decode/RectDecoder.h"

namespace decode {

class SolMonoZipDecoder : public RectDecoder {
public:
    RectResult decode(rdr::InStream& in, const RectHeader& h, DecodeTarget& t) override;

private:
    GrowingBuffer m_compressed{GrowingBuffer::Kind::Decode};
    GrowingBuffer m_data{GrowingBuffer::Kind::Zip};
    std::vector<uint32_t> m_colours;
    MaskedPixels m_masked;
};

} // namespace decode
