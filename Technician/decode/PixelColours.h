// Colours of the client pixel format's pixel values, worked out once per
// format: each channel ((p >> shift) & max) * 255 / max, packed 0x00RRGGBB.
// Only true-colour formats of 8, 16 or 32 bits can be decoded; any other is
// refused when the format is chosen, so no rectangle is ever half read.
#pragma once

#include "rfb/PixelFormat.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace decode {

class PixelColours {
public:
    // Throws DecodeError for a format that Supports refuses.
    explicit PixelColours(const rfb::PixelFormat& pf);

    static bool Supports(const rfb::PixelFormat& pf);

    const rfb::PixelFormat& format() const { return m_pf; }
    size_t bytesPerPixel() const { return m_bytes; }

    // A pixel as its bytes arrive, loaded least significant byte first (the
    // format's byte order is undone here).
    uint32_t colour(uint32_t wireValue) const
    {
        if (m_bytes < 4)
            return m_small[wireValue & m_smallMask];
        const uint32_t v = m_pf.bigEndian ? Swap32(wireValue) : wireValue;
        return m_red[(v >> m_pf.redShift) & m_pf.redMax] | m_green[(v >> m_pf.greenShift) & m_pf.greenMax] |
               m_blue[(v >> m_pf.blueShift) & m_pf.blueMax];
    }
    // The pixel value itself, the format's byte order undone.
    uint32_t value(uint32_t wireValue) const;
    // A pixel's bytes as they arrive, least significant first.
    uint32_t load(const uint8_t* p) const
    {
        switch (m_bytes) {
        case 1:
            return p[0];
        case 2:
            return static_cast<uint32_t>(p[0] | p[1] << 8);
        default:
            return p[0] | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
                   static_cast<uint32_t>(p[3]) << 24;
        }
    }
    uint32_t read(const uint8_t* p) const { return colour(load(p)); }
    // n pixels of the wire at src into colours.
    void convert(const uint8_t* src, size_t n, uint32_t* out) const;
    // The colour of a pixel value (byte order already undone), for filters
    // that rebuild values channel by channel.
    uint32_t colourOfValue(uint32_t v) const;

    static uint32_t Swap32(uint32_t v)
    {
        return v >> 24 | (v >> 8 & 0xFF00) | (v << 8 & 0xFF0000) | v << 24;
    }

private:
    rfb::PixelFormat m_pf;
    size_t m_bytes;
    // Little-endian 8-8-8 at 16, 8, 0: a pixel is its own colour.
    bool m_sameAsColour = false;
    uint32_t m_smallMask = 0;
    // 8 and 16 bits: every value's colour, byte order included.
    std::vector<uint32_t> m_small;
    // 32 bits: each channel's contribution, indexed by the channel value.
    std::vector<uint32_t> m_red, m_green, m_blue;
};

} // namespace decode
