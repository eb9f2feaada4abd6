#include "Technician/decode/ZrleDecoder.h"

#include "Technician/decode/DecodeError.h"
#include "Technician/decode/Limits.h"

#include <algorithm>
#include <cstdio>

namespace decode {

RectResult ZrleDecoder::decode(rdr::InStream& in, const RectHeader& h, DecodeTarget& t)
{
    try {
        decodeRect(in, h, t);
    } catch (const rdr::Exception& e) {
        // A GUI program has no standard error to speak of; the log has it too.
        std::fprintf(stderr, "ZRLE decoder exception: %s\n", e.str());
        t.log.write(LogLevel::DebugError, "ZRLE decoder exception: %s\n", e.str());
        throw;
    }
    t.noteChanged(h.rect());
    return RectResult::Drawn;
}

void ZrleDecoder::decodeRect(rdr::InStream& in, const RectHeader& h, DecodeTarget& t)
{
    const PixelColours& colours = t.colours;
    m_cpixel = ZrleCompactPixelRule(colours.format());
    m_cpixelBytes = colours.bytesPerPixel() == 4 && m_cpixel != ZrleCPixel::Full ? 3 : colours.bytesPerPixel();
    const size_t length = ReadCompressedLength(in, RawSize(h.w, h.h, colours.bytesPerPixel()), "ZRLE");
    m_zis.setUnderlying(&in, length);
    for (int ty = h.y; ty < h.y + h.h; ty += kTile) {
        const int th = std::min(kTile, h.y + h.h - ty);
        for (int tx = h.x; tx < h.x + h.w; tx += kTile)
            decodeTile(rfb::Rect(tx, ty, tx + std::min(kTile, h.x + h.w - tx), ty + th), t);
    }
    m_zis.reset();
}

void ZrleDecoder::decodeTile(const rfb::Rect& tile, DecodeTarget& t)
{
    const int tw = tile.width(), th = tile.height();
    const size_t pixels = static_cast<size_t>(tw) * static_cast<size_t>(th);
    const uint8_t subencoding = m_zis.readU8();
    const bool runs = subencoding & 128;
    const size_t paletteSize = subencoding & 127;
    readColours(paletteSize, t.colours, m_palette);
    if (paletteSize == 1) {
        t.fb.draw().fill(tile, m_palette[0]);
        return;
    }
    if (runs && paletteSize == 0)
        readPlainRuns(pixels, t.colours);
    else if (runs)
        readPaletteRuns(pixels, paletteSize);
    else if (paletteSize == 0)
        readColours(pixels, t.colours, m_tile);
    else
        readPacked(tw, th, paletteSize);
    t.fb.draw().put(tile.left, tile.top, tw, th, m_tile);
}

void ZrleDecoder::readColours(size_t n, const PixelColours& colours, uint32_t* out)
{
    m_zis.readBytes(m_bytes, n * m_cpixelBytes);
    if (m_cpixelBytes != 3) {
        colours.convert(m_bytes, n, out);
        return;
    }
    const unsigned shift = m_cpixel == ZrleCPixel::High3 ? 8 : 0;
    const uint8_t* p = m_bytes;
    for (size_t i = 0; i < n; ++i, p += 3)
        out[i] = colours.colour((p[0] | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16) << shift);
}

size_t ZrleDecoder::readRunLength(size_t left)
{
    size_t run = 1;
    for (;;) {
        const uint8_t b = m_zis.readU8();
        run += b;
        if (run > left)
            throw DecodeError("ZRLE: run longer than the pixels left in its tile");
        if (b != 255)
            return run;
    }
}

void ZrleDecoder::readPacked(int tw, int th, size_t paletteSize)
{
    const unsigned bits = paletteSize == 2 ? 1 : paletteSize <= 4 ? 2 : paletteSize <= 16 ? 4 : 8;
    const size_t rowBytes = (static_cast<size_t>(tw) * bits + 7) / 8;
    const unsigned mask = (1u << bits) - 1;
    uint32_t* out = m_tile;
    for (int y = 0; y < th; ++y) {
        m_zis.readBytes(m_bytes, rowBytes);
        for (int x = 0; x < tw; ++x) {
            const size_t bit = static_cast<size_t>(x) * bits;
            const unsigned index = (m_bytes[bit / 8] >> (8 - bits - bit % 8) & mask) & 127;
            if (index >= paletteSize)
                throw DecodeError("ZRLE: palette index beyond the tile's palette");
            *out++ = m_palette[index];
        }
    }
}

void ZrleDecoder::readPaletteRuns(size_t pixels, size_t paletteSize)
{
    for (size_t p = 0; p < pixels;) {
        const uint8_t index = m_zis.readU8();
        if ((index & 127u) >= paletteSize)
            throw DecodeError("ZRLE: palette index beyond the tile's palette");
        const size_t run = index & 128 ? readRunLength(pixels - p) : 1;
        std::fill(m_tile + p, m_tile + p + run, m_palette[index & 127]);
        p += run;
    }
}

void ZrleDecoder::readPlainRuns(size_t pixels, const PixelColours& colours)
{
    for (size_t p = 0; p < pixels;) {
        uint32_t colour;
        readColours(1, colours, &colour);
        const size_t run = readRunLength(pixels - p);
        std::fill(m_tile + p, m_tile + p + run, colour);
        p += run;
    }
}

} // namespace decode
