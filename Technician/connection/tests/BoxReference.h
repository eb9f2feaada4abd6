// A box filter worked out in floating point, for checking scaled pictures:
// a scaled pixel is the area-weighted mean of the source pixels it covers.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace viewer::testing {

// Pixel (x, y) of the sw x sh picture `src` (0x00RRGGBB) scaled to dw x dh.
inline uint32_t BoxReference(const std::vector<uint32_t>& src, int sw, int sh, int dw, int dh, int x, int y)
{
    const double kx = static_cast<double>(sw) / dw, ky = static_cast<double>(sh) / dh;
    const double x0 = x * kx, x1 = (x + 1) * kx, y0 = y * ky, y1 = (y + 1) * ky;
    double sum[3] = {0, 0, 0}, area = 0;
    for (int sy = static_cast<int>(y0); sy < sh && sy < y1; ++sy)
        for (int sx = static_cast<int>(x0); sx < sw && sx < x1; ++sx) {
            const double a = (std::min<double>(sx + 1, x1) - std::max<double>(sx, x0)) *
                             (std::min<double>(sy + 1, y1) - std::max<double>(sy, y0));
            const uint32_t p = src[static_cast<size_t>(sy) * sw + sx];
            for (int c = 0; c < 3; ++c)
                sum[c] += a * (p >> (16 - 8 * c) & 0xFF);
            area += a;
        }
    uint32_t out = 0;
    for (int c = 0; c < 3; ++c)
        out = out << 8 | static_cast<uint32_t>(std::lround(sum[c] / area));
    return out;
}

// The largest difference of the two colours on one channel.
inline int ChannelDiff(uint32_t a, uint32_t b)
{
    int d = 0;
    for (int s : {16, 8, 0})
        d = std::max(d, std::abs(static_cast<int>(a >> s & 0xFF) - static_cast<int>(b >> s & 0xFF)));
    return d;
}

} // namespace viewer::testing
