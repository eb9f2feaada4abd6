#include "Technician/decode/MaskedPixels.h"

#include "Technician/decode/Limits.h"

#include <cstdint>

namespace decode {

namespace {

size_t setBits(const uint8_t* mask, size_t pixels)
{
    size_t n = 0;
    for (size_t i = 0; i < pixels / 8; ++i)
        n += static_cast<size_t>(__builtin_popcount(mask[i]));
    for (size_t i = pixels / 8 * 8; i < pixels; ++i)
        n += mask[i / 8] >> (i % 8) & 1;
    return n;
}

} // namespace

size_t MaskedPixels::DataSize(MaskMode mode, const uint8_t* data, size_t available, int w, int h, size_t bytesPerPixel)
{
    const size_t maskBytes = MaskSize(w, h);
    if (available < maskBytes)
        return SIZE_MAX;
    const size_t pixels = static_cast<size_t>(w) * static_cast<size_t>(h);
    switch (mode) {
    case MaskMode::SetBitsOnly:
        return maskBytes + setBits(data, pixels) * bytesPerPixel;
    case MaskMode::OverBackground:
        return maskBytes + (1 + setBits(data, pixels)) * bytesPerPixel;
    default:
        return maskBytes + 2 * bytesPerPixel;
    }
}

void MaskedPixels::prepare(MaskMode mode, const rfb::Rect& r, const uint8_t* data, const PixelColours& colours)
{
    m_mode = mode;
    m_rect = r;
    m_mask = data;
    const size_t pixels = static_cast<size_t>(r.width()) * static_cast<size_t>(r.height());
    const uint8_t* p = data + MaskSize(r.width(), r.height());
    const size_t bpp = colours.bytesPerPixel();
    if (mode == MaskMode::SetBitsOnly) {
        m_colours.resize(setBits(data, pixels));
        colours.convert(p, m_colours.size(), m_colours.data());
        return;
    }
    const uint32_t clear = colours.read(p);
    uint32_t set = mode == MaskMode::TwoColours ? colours.read(p + bpp) : 0;
    p += bpp;
    m_colours.resize(pixels);
    for (size_t i = 0; i < pixels; ++i) {
        if (!(data[i / 8] >> (i % 8) & 1)) {
            m_colours[i] = clear;
            continue;
        }
        if (mode == MaskMode::OverBackground) {
            set = colours.read(p);
            p += bpp;
        }
        m_colours[i] = set;
    }
}

void MaskedPixels::draw(Framebuffer::Canvas& canvas) const
{
    if (m_mode == MaskMode::SetBitsOnly)
        canvas.putMasked(m_rect, m_mask, m_colours.data());
    else
        canvas.put(m_rect.left, m_rect.top, m_rect.width(), m_rect.height(), m_colours.data());
}

} // namespace decode
