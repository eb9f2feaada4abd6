// ZRLE encoder (RFC 6143, encoding 16). One zlib stream spans every rectangle
// of the session, so the encoder object is kept once made.
#pragma once

#include "Customer/encode/ZrlePalette.h"
#include "Customer/encode/vncEncoder.h"
#include "rfb/MemOutStream.h"
#include "rfb/ZlibOutStream.h"
#include "rfb/ZrleCompactPixel.h"

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
