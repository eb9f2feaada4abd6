#include "Technician/decode/PixelColours.h"

#include "Technician/decode/DecodeError.h"

#include <cstring>

namespace decode {

namespace {

uint32_t channel(uint32_t v, unsigned shift, unsigned max)
{
    return ((v >> shift) & max) * 255 / max;
}

std::vector<uint32_t> channelTable(unsigned max, unsigned outShift)
{
    std::vector<uint32_t> t(static_cast<size_t>(max) + 1);
    for (unsigned i = 0; i <= max; ++i)
        t[i] = i * 255 / max << outShift;
    return t;
}

} // namespace

bool PixelColours::Supports(const rfb::PixelFormat& pf)
{
    return pf.isValid() && pf.trueColour;
}

PixelColours::PixelColours(const rfb::PixelFormat& pf) : m_pf(pf), m_bytes(static_cast<size_t>(pf.bitsPerPixel / 8))
{
    if (!Supports(pf))
        throw DecodeError("the viewer decodes only true-colour pixels of 8, 16 or 32 bits");
    if (m_bytes == 4) {
        m_sameAsColour = !pf.bigEndian && pf.redMax == 255 && pf.greenMax == 255 && pf.blueMax == 255 &&
                         pf.redShift == 16 && pf.greenShift == 8 && pf.blueShift == 0;
        m_red = channelTable(pf.redMax, 16);
        m_green = channelTable(pf.greenMax, 8);
        m_blue = channelTable(pf.blueMax, 0);
        return;
    }
    m_smallMask = m_bytes == 1 ? 0xFF : 0xFFFF;
    m_small.resize(static_cast<size_t>(m_smallMask) + 1);
    for (uint32_t wire = 0; wire <= m_smallMask; ++wire)
        m_small[wire] = colourOfValue(value(wire));
}

uint32_t PixelColours::value(uint32_t wireValue) const
{
    if (!m_pf.bigEndian || m_bytes == 1)
        return wireValue;
    if (m_bytes == 2)
        return (wireValue >> 8 & 0xFF) | (wireValue & 0xFF) << 8;
    return Swap32(wireValue);
}

uint32_t PixelColours::colourOfValue(uint32_t v) const
{
    return channel(v, m_pf.redShift, m_pf.redMax) << 16 | channel(v, m_pf.greenShift, m_pf.greenMax) << 8 |
           channel(v, m_pf.blueShift, m_pf.blueMax);
}

void PixelColours::convert(const uint8_t* src, size_t n, uint32_t* out) const
{
    switch (m_bytes) {
    case 1:
        for (size_t i = 0; i < n; ++i)
            out[i] = m_small[src[i]];
        break;
    case 2:
        for (size_t i = 0; i < n; ++i, src += 2)
            out[i] = m_small[static_cast<uint32_t>(src[0] | src[1] << 8)];
        break;
    default:
        if (m_sameAsColour) {
            std::memcpy(out, src, n * 4);
            for (size_t i = 0; i < n; ++i)
                out[i] &= 0xFFFFFF;
            break;
        }
        for (size_t i = 0; i < n; ++i, src += 4)
            out[i] = colour(load(src));
        break;
    }
}

} // namespace decode
