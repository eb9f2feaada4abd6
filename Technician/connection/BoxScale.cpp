#include "Technician/connection/BoxScale.h"

#include <algorithm>

namespace viewer {
namespace {

struct Tap {
    int index;
    uint32_t weight;
};

// The source pixels under scaled pixel d along one axis and how much of each
// it covers: in units where a source pixel spans `scaled` and a scaled pixel
// spans `source`, so the weights of one scaled pixel add up to `source`.
void TapsOf(int d, int source, int scaled, std::vector<Tap>& taps)
{
    taps.clear();
    const int64_t lo = static_cast<int64_t>(d) * source;
    const int64_t hi = lo + source;
    for (int64_t s = lo / scaled; s < source && s * scaled < hi; ++s) {
        const int64_t a = std::max(lo, s * scaled);
        const int64_t b = std::min(hi, (s + 1) * scaled);
        if (b > a)
            taps.push_back({static_cast<int>(s), static_cast<uint32_t>(b - a)});
    }
}

} // namespace

void BoxScale(const uint32_t* src, int srcW, int srcH, int scaledW, int scaledH, int x0, int y0, int w, int h,
              std::vector<uint32_t>& out)
{
    out.assign(static_cast<size_t>(std::max(0, w)) * static_cast<size_t>(std::max(0, h)), 0);
    if (!src || srcW <= 0 || srcH <= 0 || scaledW <= 0 || scaledH <= 0 || w <= 0 || h <= 0)
        return;
    // The columns and rows of the cut that show the picture.
    const int cx0 = std::max(0, x0), cx1 = std::min(scaledW, x0 + w);
    const int cy0 = std::max(0, y0), cy1 = std::min(scaledH, y0 + h);
    if (cx0 >= cx1 || cy0 >= cy1)
        return;
    const int cols = cx1 - cx0;
    std::vector<std::vector<Tap>> colTaps(static_cast<size_t>(cols));
    for (int x = cx0; x < cx1; ++x)
        TapsOf(x, srcW, scaledW, colTaps[static_cast<size_t>(x - cx0)]);

    // Per scaled row: each source row under it filtered across, weighted by
    // its cover, added up; the sum of all weights is srcW x srcH.
    std::vector<uint64_t> acc(static_cast<size_t>(cols) * 3);
    std::vector<Tap> rowTaps;
    const uint64_t total = static_cast<uint64_t>(srcW) * static_cast<uint64_t>(srcH);
    for (int y = cy0; y < cy1; ++y) {
        std::fill(acc.begin(), acc.end(), 0);
        TapsOf(y, srcH, scaledH, rowTaps);
        for (const Tap& r : rowTaps) {
            const uint32_t* row = src + static_cast<size_t>(r.index) * static_cast<size_t>(srcW);
            for (int c = 0; c < cols; ++c) {
                uint32_t red = 0, green = 0, blue = 0;
                for (const Tap& t : colTaps[static_cast<size_t>(c)]) {
                    const uint32_t p = row[t.index];
                    red += t.weight * (p >> 16 & 0xFF);
                    green += t.weight * (p >> 8 & 0xFF);
                    blue += t.weight * (p & 0xFF);
                }
                uint64_t* a = &acc[static_cast<size_t>(c) * 3];
                a[0] += static_cast<uint64_t>(r.weight) * red;
                a[1] += static_cast<uint64_t>(r.weight) * green;
                a[2] += static_cast<uint64_t>(r.weight) * blue;
            }
        }
        uint32_t* line = &out[static_cast<size_t>(y - y0) * static_cast<size_t>(w) + static_cast<size_t>(cx0 - x0)];
        for (int c = 0; c < cols; ++c) {
            const uint64_t* a = &acc[static_cast<size_t>(c) * 3];
            const auto mean = [total](uint64_t v) { return static_cast<uint32_t>((v + total / 2) / total); };
            line[c] = mean(a[0]) << 16 | mean(a[1]) << 8 | mean(a[2]);
        }
    }
}

} // namespace viewer
