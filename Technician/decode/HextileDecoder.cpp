#include "Technician/decode/HextileDecoder.h"

#include <algorithm>

namespace decode {

RectResult HextileDecoder::decode(rdr::InStream& in, const RectHeader& h, DecodeTarget& t)
{
    HextileColours colours;
    for (int ty = h.y; ty < h.y + h.h; ty += hextile::kTileSize) {
        const int th = std::min(hextile::kTileSize, h.y + h.h - ty);
        for (int tx = h.x; tx < h.x + h.w; tx += hextile::kTileSize) {
            const int tw = std::min(hextile::kTileSize, h.x + h.w - tx);
            m_tile.start(tx, ty, tw, th);
            const uint8_t subencoding = in.readU8();
            if (subencoding & hextile::kRaw)
                m_tile.readRaw(in, t.colours);
            else
                m_tile.readBody(in, subencoding, t.colours, colours);
            Framebuffer::Canvas canvas = t.fb.draw();
            m_tile.draw(canvas);
        }
    }
    t.noteChanged(h.rect());
    return RectResult::Drawn;
}

} // namespace decode
