// The painting scaler against an area-weighted mean worked out in floating
// point, and any cut of the window equal to the same part of the whole.
#include "Technician/connection/BoxScale.h"
#include "Technician/connection/tests/BoxReference.h"

#include <gtest/gtest.h>

#include <random>

namespace viewer {
namespace {

std::vector<uint32_t> Noise(int w, int h, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<uint32_t> p(static_cast<size_t>(w) * h);
    for (uint32_t& v : p)
        v = rng() & 0xFFFFFF;
    return p;
}

TEST(BoxScale, AreaWeightedMeanAtEveryScale)
{
    const struct {
        int sw, sh, dw, dh;
    } cases[] = {
        {40, 30, 20, 15},    // 50 %
        {40, 30, 80, 60},    // 200 %
        {37, 23, 31, 19},    // an odd fit
        {16, 16, 80, 80},    // 500 %
        {100, 60, 10, 6},    // 10 %
        {40, 30, 40, 30},    // 100 %
        {5, 3, 1, 1},        // everything into one pixel
    };
    for (const auto& c : cases) {
        const std::vector<uint32_t> src = Noise(c.sw, c.sh, static_cast<unsigned>(c.sw * 131 + c.dw));
        std::vector<uint32_t> out;
        BoxScale(src.data(), c.sw, c.sh, c.dw, c.dh, 0, 0, c.dw, c.dh, out);
        int worst = 0;
        for (int y = 0; y < c.dh; ++y)
            for (int x = 0; x < c.dw; ++x)
                worst = std::max(worst, testing::ChannelDiff(out[static_cast<size_t>(y) * c.dw + x],
                                                             testing::BoxReference(src, c.sw, c.sh, c.dw, c.dh, x, y)));
        EXPECT_LE(worst, 1) << c.sw << "x" << c.sh << " to " << c.dw << "x" << c.dh;
        if (c.sw == c.dw && c.sh == c.dh) {
            EXPECT_EQ(out, src) << "100 % is the picture itself";
        }
    }
}

// A cut anywhere equals that part of the whole (no seams between painted
// strips), with black beyond the scaled picture.
TEST(BoxScale, CutsMatchTheWholeAndBlackBeyond)
{
    const int sw = 33, sh = 21, dw = 50, dh = 29;
    const std::vector<uint32_t> src = Noise(sw, sh, 5);
    std::vector<uint32_t> whole, cut;
    BoxScale(src.data(), sw, sh, dw, dh, 0, 0, dw, dh, whole);
    const struct {
        int x, y, w, h;
    } cuts[] = {{0, 0, 7, 3}, {13, 9, 20, 11}, {45, 25, 20, 20}, {-5, -4, 10, 9}, {49, 28, 1, 1}, {60, 40, 5, 5}};
    for (const auto& c : cuts) {
        BoxScale(src.data(), sw, sh, dw, dh, c.x, c.y, c.w, c.h, cut);
        ASSERT_EQ(cut.size(), static_cast<size_t>(c.w) * c.h);
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x) {
                const int sx = c.x + x, sy = c.y + y;
                const bool inside = sx >= 0 && sy >= 0 && sx < dw && sy < dh;
                const uint32_t want = inside ? whole[static_cast<size_t>(sy) * dw + sx] : 0;
                ASSERT_EQ(cut[static_cast<size_t>(y) * c.w + x], want) << c.x << "," << c.y << " at " << x << "," << y;
            }
    }
}

TEST(BoxScale, NothingToScaleGivesBlack)
{
    const std::vector<uint32_t> src(4, 0xFFFFFF);
    std::vector<uint32_t> out;
    BoxScale(src.data(), 2, 2, 0, 0, 0, 0, 3, 2, out);
    EXPECT_EQ(out, std::vector<uint32_t>(6, 0));
    BoxScale(nullptr, 2, 2, 4, 4, 0, 0, 2, 2, out);
    EXPECT_EQ(out, std::vector<uint32_t>(4, 0));
    BoxScale(src.data(), 2, 2, 4, 4, 0, 0, 0, 5, out);
    EXPECT_TRUE(out.empty());
}

} // namespace
} // namespace viewer
