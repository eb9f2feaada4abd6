// Tight's row filters: turn a rectangle's (inflated) data into colours.
// Pixels are either the client format's or, for 32-bit formats of depth 24
// with every maximum 255, three bytes red, green, blue.
#pragma once

#include "Technician/decode/PixelColours.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace decode {

struct TightPixels {
    const PixelColours& colours;
    bool rgb24;

    size_t bytes() const { return rgb24 ? 3 : colours.bytesPerPixel(); }
    uint32_t colour(const uint8_t* p) const
    {
        return rgb24 ? static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2] : colours.read(p);
    }
};

// Copy: each pixel its colour.
void TightCopy(const TightPixels& px, const uint8_t* data, size_t n, uint32_t* out);

// Palette: rows of one bit a pixel (two colours, most significant first,
// rows padded to bytes) or one byte a pixel. Throws DecodeError for an index
// at or above the palette's size.
void TightPalette(const std::vector<uint32_t>& palette, const uint8_t* data, int w, int h, uint32_t* out);

// Gradient: each channel is the difference from the prediction left + above
// - above-left (clamped to the channel's range), masked to the channel.
class TightGradient {
public:
    void run(const TightPixels& px, const uint8_t* data, int w, int h, uint32_t* out);

private:
    std::vector<uint16_t> m_above;
    std::vector<uint16_t> m_row;
};

} // namespace decode
