#include "Customer/encode/vncEncodeZRLE.h"

#include "rfb/RfbProto.h"

#include <cstring>

namespace {

constexpr int kTile = 64;

size_t runLengthBytes(size_t run)
{
    return (run - 1) / 255 + 1;
}

// Length of the run of equal pixels that starts at i.
template <class PIXEL>
size_t runAt(const PIXEL* tile, size_t i, size_t n)
{
    size_t run = 1;
    while (i + run < n && tile[i + run] == tile[i])
        ++run;
    return run;
}

// A run length as the standard writes it: run - 1 in bytes of 255, then the rest.
void writeRunLength(rdr::OutStream& out, size_t run)
{
    size_t left = run - 1;
    for (; left >= 255; left -= 255)
        out.writeU8(255);
    out.writeU8(static_cast<uint8_t>(left));
}

} // namespace

vncEncodeZRLE::vncEncodeZRLE() : m_mem(16384), m_zlib(&m_mem) {}

size_t vncEncodeZRLE::EncodeRect(const FrameView& src, rdr::OutStream& out, const rfb::Rect& r)
{
    const uint8_t* pixels = TranslateToWork(src, r);
    m_mem.clear();
    m_zlib.setUnderlying(&m_mem);
    switch (m_out.bitsPerPixel) {
    case 8:
        m_cpixelBytes = 1;
        WriteTiles<uint8_t>(pixels, r.width(), r.height());
        break;
    case 16:
        m_cpixelBytes = 2;
        WriteTiles<uint16_t>(pixels, r.width(), r.height());
        break;
    default:
        m_cpixel = ZrleCompactPixelRule(m_out);
        m_cpixelBytes = m_cpixel == ZrleCPixel::Full ? 4 : 3;
        WriteTiles<uint32_t>(pixels, r.width(), r.height());
        break;
    }
    m_zlib.flush();
    const size_t length = m_mem.length();
    WriteHeader(out, r, rfbproto::kEncZRLE);
    out.writeU32(static_cast<uint32_t>(length));
    out.writeBytes(m_mem.data(), length);
    Count(16 + length);
    return 16 + length;
}

void vncEncodeZRLE::WriteCPixel(uint32_t p)
{
    switch (m_cpixelBytes) {
    case 1:
        m_zlib.writeU8(static_cast<uint8_t>(p));
        break;
    case 2:
        m_zlib.writeOpaque16(static_cast<uint16_t>(p));
        break;
    case 3:
        if (m_cpixel == ZrleCPixel::Low3)
            m_zlib.writeOpaque24A(p);
        else
            m_zlib.writeOpaque24B(p);
        break;
    default:
        m_zlib.writeOpaque32(p);
        break;
    }
}

template <class PIXEL>
void vncEncodeZRLE::WriteTiles(const uint8_t* pixels, int width, int height)
{
    PIXEL tile[kTile * kTile];
    for (int ty = 0; ty < height; ty += kTile) {
        const int th = height - ty < kTile ? height - ty : kTile;
        for (int tx = 0; tx < width; tx += kTile) {
            const int tw = width - tx < kTile ? width - tx : kTile;
            for (int y = 0; y < th; ++y)
                std::memcpy(&tile[y * tw],
                            pixels + ((static_cast<size_t>(ty + y) * static_cast<size_t>(width)) +
                                      static_cast<size_t>(tx)) * sizeof(PIXEL),
                            static_cast<size_t>(tw) * sizeof(PIXEL));
            WriteTile<PIXEL>(tile, tw, th);
        }
    }
}

// Works out the exact size of each sub-encoding from the tile's runs and
// palette, then writes the smallest.
template <class PIXEL>
void vncEncodeZRLE::WriteTile(const PIXEL* tile, int w, int h)
{
    const size_t n = static_cast<size_t>(w) * static_cast<size_t>(h);
    const size_t cps = static_cast<size_t>(m_cpixelBytes);
    m_palette.reset();
    bool paletteOk = true;
    size_t plainRle = 0, paletteRuns = 0;
    for (size_t i = 0; i < n;) {
        const size_t run = runAt(tile, i, n);
        plainRle += cps + runLengthBytes(run);
        paletteRuns += run == 1 ? 1 : 1 + runLengthBytes(run);
        if (paletteOk)
            paletteOk = m_palette.insert(tile[i]);
        i += run;
    }

    const int colours = m_palette.size();
    if (paletteOk && colours == 1) {
        m_zlib.writeU8(1);
        WriteCPixel(tile[0]);
        return;
    }

    enum { Raw, Packed, PlainRle, PaletteRle } choice = Raw;
    size_t best = n * cps;
    int bits = 0;
    if (plainRle < best) {
        best = plainRle;
        choice = PlainRle;
    }
    if (paletteOk) {
        const size_t paletteBytes = static_cast<size_t>(colours) * cps;
        if (paletteBytes + paletteRuns < best) {
            best = paletteBytes + paletteRuns;
            choice = PaletteRle;
        }
        if (colours <= 16) {
            bits = colours == 2 ? 1 : colours <= 4 ? 2 : 4;
            const size_t packed = paletteBytes + static_cast<size_t>(h) * ((static_cast<size_t>(w) * bits + 7) / 8);
            if (packed <= best) {
                best = packed;
                choice = Packed;
            }
        }
    }

    switch (choice) {
    case Raw:
        m_zlib.writeU8(0);
        for (size_t i = 0; i < n; ++i)
            WriteCPixel(tile[i]);
        return;
    case PlainRle:
        m_zlib.writeU8(128);
        for (size_t i = 0; i < n;) {
            const size_t run = runAt(tile, i, n);
            WriteCPixel(tile[i]);
            writeRunLength(m_zlib, run);
            i += run;
        }
        return;
    case PaletteRle:
        m_zlib.writeU8(static_cast<uint8_t>(128 + colours));
        for (int c = 0; c < colours; ++c)
            WriteCPixel(m_palette.colour(c));
        for (size_t i = 0; i < n;) {
            const size_t run = runAt(tile, i, n);
            const uint8_t index = m_palette.lookup(tile[i]);
            if (run == 1) {
                m_zlib.writeU8(index);
            } else {
                m_zlib.writeU8(static_cast<uint8_t>(index | 128));
                writeRunLength(m_zlib, run);
            }
            i += run;
        }
        return;
    case Packed:
        m_zlib.writeU8(static_cast<uint8_t>(colours));
        for (int c = 0; c < colours; ++c)
            WriteCPixel(m_palette.colour(c));
        for (int y = 0; y < h; ++y) {
            unsigned acc = 0;
            int filled = 0;
            for (int x = 0; x < w; ++x) {
                acc = (acc << bits) | m_palette.lookup(tile[y * w + x]);
                filled += bits;
                if (filled == 8) {
                    m_zlib.writeU8(static_cast<uint8_t>(acc));
                    acc = 0;
                    filled = 0;
                }
            }
            if (filled > 0)
                m_zlib.writeU8(static_cast<uint8_t>(acc << (8 - filled)));
        }
        return;
    }
}
