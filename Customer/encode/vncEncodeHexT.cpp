#include "Customer/encode/vncEncodeHexT.h"

#include "rfb/RfbProto.h"

#include <cstring>

namespace {

constexpr int kTile = 16;

template <class PIXEL>
PIXEL pixelAt(const uint8_t* pixels, int width, int x, int y)
{
    PIXEL p;
    std::memcpy(&p, pixels + (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * sizeof p,
                sizeof p);
    return p;
}

template <class PIXEL>
void putPixel(std::vector<uint8_t>& buf, PIXEL p)
{
    uint8_t bytes[sizeof p];
    std::memcpy(bytes, &p, sizeof p);
    buf.insert(buf.end(), bytes, bytes + sizeof p);
}

} // namespace

size_t vncEncodeHexT::EncodeRect(const FrameView& src, rdr::OutStream& out, const rfb::Rect& r)
{
    const size_t before = out.length();
    const uint8_t* pixels = TranslateToWork(src, r);
    WriteHeader(out, r, rfbproto::kEncHextile);
    switch (m_out.bitsPerPixel) {
    case 8:
        EncodeTiles<uint8_t>(pixels, r.width(), r.height(), out);
        break;
    case 16:
        EncodeTiles<uint16_t>(pixels, r.width(), r.height(), out);
        break;
    default:
        EncodeTiles<uint32_t>(pixels, r.width(), r.height(), out);
        break;
    }
    const size_t bytes = out.length() - before;
    Count(bytes);
    return bytes;
}

// Background = the tile's most common colour; the other pixels are covered by
// sub-rectangles grown right and then down over pixels of one colour. A tile
// whose encoding would be as large as its raw form goes raw.
template <class PIXEL>
void vncEncodeHexT::EncodeTiles(const uint8_t* pixels, int width, int height, rdr::OutStream& out)
{
    bool bgValid = false, fgValid = false;
    PIXEL bg = 0, fg = 0;
    PIXEL tile[kTile * kTile];
    bool done[kTile * kTile];

    for (int ty = 0; ty < height; ty += kTile) {
        const int th = height - ty < kTile ? height - ty : kTile;
        for (int tx = 0; tx < width; tx += kTile) {
            const int tw = width - tx < kTile ? width - tx : kTile;
            const int n = tw * th;
            for (int y = 0; y < th; ++y)
                for (int x = 0; x < tw; ++x)
                    tile[y * tw + x] = pixelAt<PIXEL>(pixels, width, tx + x, ty + y);

            // Up to two colours are counted; a third makes the tile coloured.
            PIXEL c1 = tile[0], c2 = 0;
            int n1 = 0, n2 = 0;
            bool many = false;
            for (int i = 0; i < n; ++i) {
                if (tile[i] == c1) {
                    ++n1;
                } else if (n2 == 0 || tile[i] == c2) {
                    c2 = tile[i];
                    ++n2;
                } else {
                    many = true;
                }
            }
            const PIXEL tileBg = (n2 > n1) ? c2 : c1;
            const size_t bpp = sizeof(PIXEL);
            const size_t rawSize = 1 + static_cast<size_t>(n) * bpp;

            if (n2 == 0) {
                uint8_t sub = 0;
                if (!bgValid || bg != tileBg)
                    sub |= rfbproto::kHextileBackground;
                out.writeU8(sub);
                if (sub & rfbproto::kHextileBackground)
                    out.writeBytes(&tileBg, bpp);
                bg = tileBg;
                bgValid = true;
                continue;
            }

            const PIXEL tileFg = (tileBg == c1) ? c2 : c1;
            m_tile.clear();
            int count = 0;
            std::memset(done, 0, sizeof done);
            bool tooBig = false;
            for (int y = 0; y < th && !tooBig; ++y) {
                for (int x = 0; x < tw; ++x) {
                    const PIXEL c = tile[y * tw + x];
                    if (done[y * tw + x] || c == tileBg)
                        continue;
                    int w = 1;
                    while (x + w < tw && !done[y * tw + x + w] && tile[y * tw + x + w] == c)
                        ++w;
                    int h = 1;
                    for (; y + h < th; ++h) {
                        bool rowOk = true;
                        for (int i = 0; i < w && rowOk; ++i)
                            rowOk = !done[(y + h) * tw + x + i] && tile[(y + h) * tw + x + i] == c;
                        if (!rowOk)
                            break;
                    }
                    for (int j = 0; j < h; ++j)
                        for (int i = 0; i < w; ++i)
                            done[(y + j) * tw + x + i] = true;
                    if (many)
                        putPixel(m_tile, c);
                    m_tile.push_back(static_cast<uint8_t>(x << 4 | y));
                    m_tile.push_back(static_cast<uint8_t>((w - 1) << 4 | (h - 1)));
                    ++count;
                    if (count > 255 || m_tile.size() >= rawSize) {
                        tooBig = true;
                        break;
                    }
                }
            }

            uint8_t sub = rfbproto::kHextileAnySubrects;
            if (!bgValid || bg != tileBg)
                sub |= rfbproto::kHextileBackground;
            if (many)
                sub |= rfbproto::kHextileSubrectsColoured;
            else if (!fgValid || fg != tileFg)
                sub |= rfbproto::kHextileForeground;
            const size_t encodedSize = 1 + ((sub & rfbproto::kHextileBackground) ? bpp : 0) +
                                       ((sub & rfbproto::kHextileForeground) ? bpp : 0) + 1 + m_tile.size();
            if (tooBig || encodedSize >= rawSize) {
                out.writeU8(rfbproto::kHextileRaw);
                for (int y = 0; y < th; ++y)
                    out.writeBytes(&tile[y * tw], static_cast<size_t>(tw) * bpp);
                bgValid = false;
                fgValid = false;
                continue;
            }
            out.writeU8(sub);
            if (sub & rfbproto::kHextileBackground)
                out.writeBytes(&tileBg, bpp);
            if (sub & rfbproto::kHextileForeground)
                out.writeBytes(&tileFg, bpp);
            out.writeU8(static_cast<uint8_t>(count));
            out.writeBytes(m_tile.data(), m_tile.size());
            bg = tileBg;
            bgValid = true;
            if (many) {
                fgValid = false;
            } else {
                fg = tileFg;
                fgValid = true;
            }
        }
    }
}
