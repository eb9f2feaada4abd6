// The RFB pixel format: how a pixel value of 8, 16 or 32 bits holds its
// colour, either as red/green/blue channels (true colour) or as an index into
// a colour map.
#pragma once

#include <cstdint>

namespace rfb {

struct PixelFormat {
    uint8_t bitsPerPixel = 0;
    uint8_t depth = 0;
    bool bigEndian = false;
    bool trueColour = false;
    uint16_t redMax = 0;
    uint16_t greenMax = 0;
    uint16_t blueMax = 0;
    uint8_t redShift = 0;
    uint8_t greenShift = 0;
    uint8_t blueShift = 0;

    int bytesPerPixel() const { return bitsPerPixel / 8; }

    // 8, 16 or 32 bits per pixel; a colour map only with 8 bits; in true
    // colour every channel maximum above 0 and every channel inside the pixel.
    // A peer's format is checked with this before any table is built from it.
    bool isValid() const;
    bool equals(const PixelFormat& other) const;
};

// The fixed 8-bit format used for viewers that ask for a colour map:
// blue in the top two bits, green in the middle three, red in the low three.
PixelFormat BGR233Format();

} // namespace rfb
