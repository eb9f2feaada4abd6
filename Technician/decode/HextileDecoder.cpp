#include "Technician/decode/HextileDecoder.h"

namespace decode {

RectResult HextileDecoder::decode(rdr::InStream& in, const RectHeader& h, DecodeTarget& t)
{
    HextileColours colours;
    hextile::ForEachTile(h.x, h.y, h.w, h.h, [&](int tx, int ty, int tw, int th) {
        m_tile.start(tx, ty, tw, th);
        const uint8_t subencoding = in.readU8();
        if (subencoding & hextile::kRaw)
            m_tile.readRaw(in, t.colours);
        else
            m_tile.readBody(in, subencoding, t.colours, colours);
        Framebuffer::Canvas canvas = t.fb.draw();
        m_tile.draw(canvas);
    });
    t.noteChanged(h.rect());
    return RectResult::Drawn;
}

} // namespace decode
