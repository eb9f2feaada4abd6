// Source frames for the encoder tests and benchmarks: a desktop-like picture
// (flat areas, window frames, text strokes, a gradient) and a photo-like one
// (smooth colour with noise), in the host's 32-bit or 16-bit format.
#pragma once

#include "Customer/encode/FrameView.h"
#include "rfb/PixelFormat.h"
#include "rfb/tests/TestFormats.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace testframes {

rfb::PixelFormat Host32(); // 32 bpp, depth 24, little-endian, 8-8-8 at 16, 8, 0
rfb::PixelFormat Host16(); // 16 bpp, 5-6-5, little-endian
using testformats::Palette8; // 8 bpp with a colour map

struct Frame {
    rfb::PixelFormat format;
    int width = 0;
    int height = 0;
    size_t stride = 0;
    std::vector<uint8_t> bytes;

    uint32_t pixel(int x, int y) const;
    void setPixel(int x, int y, uint32_t v);
};

// r, g, b in 0..255 packed into the frame's format.
uint32_t Pack(const rfb::PixelFormat& pf, unsigned r, unsigned g, unsigned b);

Frame MakeFrame(const rfb::PixelFormat& pf, int width, int height);
Frame Desktop(const rfb::PixelFormat& pf, int width, int height, unsigned seed = 1);
Frame Photo(const rfb::PixelFormat& pf, int width, int height, unsigned seed = 1);

// The whole frame as the encoders read it.
FrameView View(const Frame& f);

} // namespace testframes
