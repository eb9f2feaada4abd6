#include "Technician/decode/HextileTile.h"

#include "Technician/decode/PixelReading.h"

#include <algorithm>

namespace decode {

void HextileTile::start(int x, int y, int tw, int th)
{
    m_x = x;
    m_y = y;
    m_w = tw;
    m_h = th;
    m_raw = false;
    m_subrects = 0;
}

void HextileTile::readRaw(rdr::InStream& in, const PixelColours& colours)
{
    uint8_t bytes[hextile::kTileSize * hextile::kTileSize * 4];
    const size_t n = static_cast<size_t>(m_w) * static_cast<size_t>(m_h);
    in.readBytes(bytes, n * colours.bytesPerPixel());
    colours.convert(bytes, n, m_pixels);
    m_raw = true;
}

void HextileTile::readBody(rdr::InStream& in, uint8_t subencoding, const PixelColours& colours, HextileColours& state)
{
    if (subencoding & hextile::kBackgroundSpecified)
        state.background = ReadColour(in, colours);
    if (subencoding & hextile::kForegroundSpecified)
        state.foreground = ReadColour(in, colours);
    m_background = state.background;
    if (!(subencoding & hextile::kAnySubrects))
        return;
    m_subrects = in.readU8();
    const rfb::Rect tile(0, 0, m_w, m_h);
    for (int i = 0; i < m_subrects; ++i) {
        if (subencoding & hextile::kSubrectsColoured)
            state.foreground = ReadColour(in, colours);
        const uint8_t xy = in.readU8();
        const uint8_t wh = in.readU8();
        const int sx = xy >> 4, sy = xy & 15;
        m_sub[i] = Subrect{state.foreground, rfb::Rect(sx, sy, sx + (wh >> 4) + 1, sy + (wh & 15) + 1).intersect(tile)};
    }
}

void HextileTile::draw(Framebuffer::Canvas& canvas) const
{
    if (m_raw) {
        canvas.put(m_x, m_y, m_w, m_h, m_pixels);
        return;
    }
    canvas.fill(rfb::Rect(m_x, m_y, m_x + m_w, m_y + m_h), m_background);
    for (int i = 0; i < m_subrects; ++i)
        canvas.fill(m_sub[i].area.translate(rfb::Point(m_x, m_y)), m_sub[i].colour);
}

} // namespace decode
