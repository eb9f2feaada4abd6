// ZRLE (encoding 16): a compressed length, then 64 x 64 tiles inflated from
// the session's one zlib stream (the host keeps one deflate stream for the
// whole session). Each tile is read and inflated without the framebuffer
// lock and drawn under it. 32-bit pixels travel whole or as three bytes, by
// the rule the host's encoder follows. Any failure is logged and ends the
// session: the stream cannot be resumed once out of step.
#pragma once

#include "Technician/decode/RectDecoder.h"
#include "rfb/ZlibInStream.h"
#include "rfb/ZrleCompactPixel.h"

namespace decode {

class ZrleDecoder : public RectDecoder {
public:
    RectResult decode(rdr::InStream& in, const RectHeader& h, DecodeTarget& t) override;

private:
    static constexpr int kTile = 64;

    void decodeRect(rdr::InStream& in, const RectHeader& h, DecodeTarget& t);
    void decodeTile(const rfb::Rect& tile, DecodeTarget& t);
    // n compact pixels from the stream as colours.
    void readColours(size_t n, const PixelColours& colours, uint32_t* out);
    size_t readRunLength(size_t left);
    void readPacked(int tw, int th, size_t paletteSize);
    void readPaletteRuns(size_t pixels, size_t paletteSize);
    void readPlainRuns(size_t pixels, const PixelColours& colours);

    rdr::ZlibInStream m_zis;
    size_t m_cpixelBytes = 4;
    ZrleCPixel m_cpixel = ZrleCPixel::Full;
    uint32_t m_palette[128];
    uint32_t m_tile[kTile * kTile];
    uint8_t m_bytes[kTile * kTile * 4];
};

} // namespace decode
