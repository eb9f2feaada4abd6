// Hextile (encoding 5): 16 x 16 tiles, row by row, each read whole and then
// drawn under the framebuffer lock.
#pragma once

#include "Technician/decode/HextileTile.h"
#include "Technician/decode/RectDecoder.h"

namespace decode {

class HextileDecoder : public RectDecoder {
public:
    RectResult decode(rdr::InStream& in, const RectHeader& h, DecodeTarget& t) override;

private:
    HextileTile m_tile;
};

} // namespace decode
