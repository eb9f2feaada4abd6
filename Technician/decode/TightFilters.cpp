#include "Technician/decode/TightFilters.h"

#include "Technician/decode/DecodeError.h"

#include <algorithm>

namespace decode {

void TightCopy(const TightPixels& px, const uint8_t* data, size_t n, uint32_t* out)
{
    if (!px.rgb24) {
        px.colours.convert(data, n, out);
        return;
    }
    for (size_t i = 0; i < n; ++i, data += 3)
        out[i] = px.colour(data);
}

void TightPalette(const std::vector<uint32_t>& palette, const uint8_t* data, int w, int h, uint32_t* out)
{
    if (palette.size() == 2) {
        const size_t rowBytes = (static_cast<size_t>(w) + 7) / 8;
        for (int y = 0; y < h; ++y, data += rowBytes)
            for (int x = 0; x < w; ++x)
                *out++ = palette[data[x / 8] >> (7 - x % 8) & 1];
        return;
    }
    const size_t n = static_cast<size_t>(w) * static_cast<size_t>(h);
    for (size_t i = 0; i < n; ++i) {
        if (data[i] >= palette.size())
            throw DecodeError("Tight encoding: palette index beyond the palette");
        out[i] = palette[data[i]];
    }
}

void TightGradient::run(const TightPixels& px, const uint8_t* data, int w, int h, uint32_t* out)
{
    const rfb::PixelFormat& pf = px.colours.format();
    const unsigned max[3] = {px.rgb24 ? 255u : pf.redMax, px.rgb24 ? 255u : pf.greenMax,
                             px.rgb24 ? 255u : pf.blueMax};
    const unsigned shift[3] = {pf.redShift, pf.greenShift, pf.blueShift};
    const size_t rowValues = static_cast<size_t>(w) * 3;
    m_above.assign(rowValues, 0);
    m_row.resize(rowValues);
    const size_t bytes = px.bytes();
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x, data += bytes) {
            unsigned diff[3];
            uint32_t value = 0;
            if (px.rgb24) {
                diff[0] = data[0], diff[1] = data[1], diff[2] = data[2];
            } else {
                value = px.colours.value(px.colours.load(data));
                for (int c = 0; c < 3; ++c)
                    diff[c] = value >> shift[c] & max[c];
            }
            value = 0;
            for (int c = 0; c < 3; ++c) {
                const size_t at = static_cast<size_t>(x) * 3 + static_cast<size_t>(c);
                const int left = x > 0 ? m_row[at - 3] : 0;
                const int above = m_above[at];
                const int aboveLeft = x > 0 ? m_above[at - 3] : 0;
                const int predicted = std::clamp(left + above - aboveLeft, 0, static_cast<int>(max[c]));
                m_row[at] = static_cast<uint16_t>((static_cast<unsigned>(predicted) + diff[c]) & max[c]);
                value |= static_cast<uint32_t>(m_row[at]) << (px.rgb24 ? 16 - 8 * c : static_cast<int>(shift[c]));
            }
            *out++ = px.rgb24 ? value : px.colours.colourOfValue(value);
        }
        m_above.swap(m_row);
    }
}

} // namespace decode
