// Hextile encoder (RFC 6143, encoding 5): 16 x 16 tiles, each solid, with
// sub-rectangles of one or many colours, or raw when that is no smaller.
#pragma once

#include "Customer/encode/vncEncoder.h"

class vncEncodeHexT : public vncEncoder {
public:
    // One tile never takes more than 1 byte plus its raw pixels.
    size_t EncodeRect(const FrameView& src, rdr::OutStream& out, const rfb::Rect& r) override;

private:
    template <class PIXEL>
    void EncodeTiles(const uint8_t* pixels, int width, int height, rdr::OutStream& out);

    std::vector<uint8_t> m_tile;
};
