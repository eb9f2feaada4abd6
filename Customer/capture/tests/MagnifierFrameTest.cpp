// The magnifier capture's frame copy and exclusion list.
#include "Customer/capture/MagnifierFrame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

namespace {

using magnifier::CopyRowsBottomUp;
using magnifier::ExclusionList;

// A top-down frame whose byte at (row, column) is row * 16 + column % 16.
std::vector<uint8_t> Frame(size_t stride, int height)
{
    std::vector<uint8_t> f(stride * static_cast<size_t>(height));
    for (int y = 0; y < height; ++y)
        for (size_t x = 0; x < stride; ++x)
            f[y * stride + x] = static_cast<uint8_t>(y * 16 + x % 16);
    return f;
}

TEST(MagnifierFrame, RowsLandUpright)
{
    const size_t stride = 16;
    const int h = 4;
    const std::vector<uint8_t> src = Frame(stride, h);
    std::vector<uint8_t> dst(stride * h, 0);
    CopyRowsBottomUp(dst.data(), stride, h, src.data(), stride, h);
    // The bitmap's memory holds the bottom row first: reading it from its
    // last row back shows the source from the top.
    for (int i = 0; i < h; ++i)
        for (size_t x = 0; x < stride; ++x)
            EXPECT_EQ(dst[(h - 1 - i) * stride + x], src[i * stride + x]);
}

// The buffers are exactly sized heap blocks: the sanitizers catch any byte
// read or written past them.
TEST(MagnifierFrame, LargerFramesAndWiderStridesStayInBounds)
{
    struct Case {
        const char* name;
        size_t dstStride;
        int dstH;
        size_t srcStride;
        int srcH;
    } cases[] = {
        {"a larger second frame", 64, 10, 128, 20},
        {"a smaller frame", 128, 20, 64, 10},
        {"a stride wider than the row", 64, 10, 96, 10},
        {"a bitmap stride wider than the frame's", 96, 10, 64, 10},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> src = Frame(c.srcStride, c.srcH);
        std::vector<uint8_t> dst(c.dstStride * c.dstH, 0xEE);
        CopyRowsBottomUp(dst.data(), c.dstStride, c.dstH, src.data(), c.srcStride, c.srcH);
        const int rows = std::min(c.dstH, c.srcH);
        const size_t bytes = std::min(c.dstStride, c.srcStride);
        // The frame's bottom rows line up with the bitmap's bottom rows.
        for (int i = 0; i < rows; ++i) {
            const uint8_t* to = &dst[i * c.dstStride];
            const uint8_t* from = &src[(c.srcH - 1 - i) * c.srcStride];
            for (size_t x = 0; x < bytes; ++x)
                ASSERT_EQ(to[x], from[x]) << c.name;
            for (size_t x = bytes; x < c.dstStride; ++x)
                ASSERT_EQ(to[x], 0xEE) << c.name << ": past the copied bytes";
        }
    }
    CopyRowsBottomUp(nullptr, 4, 1, nullptr, 4, 1);  // nothing to do, no crash
}

TEST(ExclusionList, EachWindowOnceAndGrowthBy50)
{
    ExclusionList list;
    EXPECT_TRUE(list.Add(7));
    EXPECT_FALSE(list.Add(7));
    EXPECT_EQ(list.Count(), 1u);
    EXPECT_EQ(list.Capacity(), 50u);
    for (uintptr_t w = 100; w < 150; ++w)
        list.Add(w);
    EXPECT_EQ(list.Count(), 51u);
    EXPECT_EQ(list.Capacity(), 100u);
    ASSERT_EQ(list.Array().size(), 51u);
    EXPECT_EQ(list.Array().front(), 7u);
    EXPECT_EQ(list.Array().back(), 149u);
    list.Clear();
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(list.Capacity(), 50u);
}

TEST(ExclusionList, HandedOverOnChangeAndSweptEverySecond)
{
    ExclusionList list;
    std::set<uintptr_t> alive{1, 2, 3};
    auto isAlive = [&](uintptr_t w) { return alive.count(w) != 0; };
    list.Add(1);
    list.Add(2);
    list.Add(3);
    EXPECT_TRUE(list.Tick(20, isAlive)) << "a changed list goes at once";
    alive.erase(2);
    int ticks = 1;
    while (!list.Tick(20, isAlive))
        ++ticks;
    EXPECT_EQ(ticks, 1000 / 20) << "the sweep falls due after 1000 ms";
    EXPECT_EQ(list.Array(), (std::vector<uintptr_t>{1, 3})) << "order kept, the destroyed one gone";
}

} // namespace
