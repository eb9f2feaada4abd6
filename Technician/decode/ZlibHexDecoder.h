// ZlibHex (encoding 8): Hextile whose tiles may come zlib-compressed, either
// as raw pixels (bit 0x20, its own stream) or as the rest of a Hextile tile
// (bit 0x40, a second stream). Each compressed tile is read whole, inflated
// and parsed with bounds: it must hold exactly what its tile needs.
#pragma once

#include "Technician/decode/HextileTile.h"
#include "Technician/decode/Inflater.h"
#include "Technician/decode/RectDecoder.h"

namespace decode {

class ZlibHexDecoder : public RectDecoder {
public:
    ZlibHexDecoder() : m_rawStream("ZlibHex raw tiles"), m_tileStream("ZlibHex Hextile tiles") {}
    RectResult decode(rdr::InStream& in, const RectHeader& h, DecodeTarget& t) override;

private:
    // Reads a 16-bit length and that many bytes, inflates them into m_inflated.
    size_t inflateTile(rdr::InStream& in, Inflater& stream, size_t capacity);

    HextileTile m_tile;
    Inflater m_rawStream;
    Inflater m_tileStream;
    std::vector<uint8_t> m_compressed;
    std::vector<uint8_t> m_inflated;
};

} // namespace decode
