// ZlibHex (encoding 8): Hextile whose tiles may come zlib-compressed, either
// as raw pixels (bit 0x20, its own stream) or as the rest of a Hextile tile
// (bit 0x40, a second stream). Each compressed tile is read whole, inflated
// and parsed with bounds: it must hold exactly what its tile needs.
#pragma once

#include "Technician/decode/HextileTile.h"
#include "Technician/decode/GrowingBuffer.h"
#include "Technician/decode/Inflater.h"
#include "Technician/decode/RectDecoder.h"

namespace decode {

class ZlibHexDecoder : public RectDecoder {
public:
    ZlibHexDecoder()
        : m_rawStream("ZlibHex raw tiles", Inflater::Wording::ReturnCode),
          m_tileStream("ZlibHex Hextile tiles", Inflater::Wording::ReturnCode)
    {
    }
    RectResult decode(rdr::InStream& in, const RectHeader& h, DecodeTarget& t) override;

private:
    // Reads a 16-bit length and that many bytes, inflates them into m_inflated.
    size_t inflateTile(rdr::InStream& in, Inflater& stream, size_t capacity, const DecodeLog& log);

    HextileTile m_tile;
    Inflater m_rawStream;
    Inflater m_tileStream;
    GrowingBuffer m_compressed{GrowingBuffer::Kind::Decode};
    GrowingBuffer m_inflated{GrowingBuffer::Kind::Second};
};

} // namespace decode
