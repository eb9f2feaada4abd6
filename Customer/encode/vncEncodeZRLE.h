// ZRLE encoder (RFC 6143, encoding 16). One zlib stream spans every rectangle
// of the session, so the encoder object is kept once made.
#pragma once

#include "Customer/encode/ZrlePalette.h"
#include "Customer/encode/vncEncoder.h"
#include "rfb/MemOutStream.h"
#include "rfb/ZlibOutStream.h"

// How 32-bit pixels travel: whole, or as their low or high three bytes. The
// viewer's decoder applies the same rule to the same pixel format.
enum class ZrleCPixel { Full, Low3, High3 };
ZrleCPixel ZrleCompactPixelRule(const rfb::PixelFormat& pf);

class vncEncodeZRLE : public vncEncoder {
public:
    vncEncodeZRLE();

    size_t EncodeRect(const FrameView& src, rdr::OutStream& out, const rfb::Rect& r) override;

private:
    template <class PIXEL>
    void WriteTiles(const uint8_t* pixels, int width, int height);
    template <class PIXEL>
    void WriteTile(const PIXEL* tile, int w, int h);
    void WriteCPixel(uint32_t p);

    rdr::MemOutStream m_mem;
    rdr::ZlibOutStream m_zlib;
    ZrlePalette m_palette;
    ZrleCPixel m_cpixel = ZrleCPixel::Full;
    int m_cpixelBytes = 4;
};
