#include "Technician/decode/RreDecoder.h"

#include "Technician/decode/DecodeError.h"
#include "Technician/decode/PixelReading.h"

#include <algorithm>

namespace decode {

namespace {

constexpr size_t kBatch = 1024;

} // namespace

RectResult RreDecoder::decode(rdr::InStream& in, const RectHeader& h, DecodeTarget& t)
{
    const size_t count = in.readU32();
    const uint32_t background = ReadColour(in, t.colours);
    if (count > static_cast<size_t>(h.w) * static_cast<size_t>(h.h))
        throw DecodeError(m_compact ? "CoRRE: more sub-rectangles than pixels" : "RRE: more sub-rectangles than pixels");
    const rfb::Rect rect = h.rect();
    t.fb.draw().fill(rect, background);
    const size_t bpp = t.colours.bytesPerPixel();
    const size_t item = bpp + (m_compact ? 4 : 8);
    m_batch.reserve(item * std::min(count, kBatch), t.log);
    for (size_t done = 0; done < count;) {
        const size_t n = std::min(count - done, kBatch);
        in.readBytes(m_batch.data(), n * item);
        Framebuffer::Canvas canvas = t.fb.draw();
        for (const uint8_t* p = m_batch.data(); p < m_batch.data() + n * item; p += item) {
            const uint32_t colour = t.colours.read(p);
            const uint8_t* g = p + bpp;
            int sx, sy, sw, sh;
            if (m_compact) {
                sx = g[0], sy = g[1], sw = g[2], sh = g[3];
            } else {
                sx = g[0] << 8 | g[1], sy = g[2] << 8 | g[3], sw = g[4] << 8 | g[5], sh = g[6] << 8 | g[7];
            }
            canvas.fill(rfb::Rect(h.x + sx, h.y + sy, h.x + sx + sw, h.y + sy + sh).intersect(rect), colour);
        }
        done += n;
    }
    t.noteChanged(rect);
    return RectResult::Drawn;
}

} // namespace decode
