// Rectangles carried as a mask (one bit a pixel, row by row with no padding,
// least significant bit first) followed by pixels, as the XOR encodings and
// SolMonoZip's sub-rectangles send them:
//  - SetBitsOnly: one pixel per set bit; clear bits keep the picture;
//  - OverBackground: a background pixel, then one pixel per set bit;
//  - TwoColours: a pixel for the clear bits, then one for the set bits.
#pragma once

#include "Technician/decode/Framebuffer.h"
#include "Technician/decode/PixelColours.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace decode {

enum class MaskMode { SetBitsOnly, OverBackground, TwoColours };

class MaskedPixels {
public:
    // Bytes the data of a w x h rectangle takes, mask included, or SIZE_MAX
    // when fewer than the mask's bytes are available to count its bits.
    static size_t DataSize(MaskMode mode, const uint8_t* data, size_t available, int w, int h, size_t bytesPerPixel);

    // Works out the colours of data (of DataSize bytes) ready to draw at r.
    void prepare(MaskMode mode, const rfb::Rect& r, const uint8_t* data, const PixelColours& colours);
    void draw(Framebuffer::Canvas& canvas) const;

private:
    MaskMode m_mode = MaskMode::SetBitsOnly;
    rfb::Rect m_rect;
    const uint8_t* m_mask = nullptr;
    std::vector<uint32_t> m_colours;
};

} // namespace decode
