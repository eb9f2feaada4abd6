// The canvas's rules without a window: toolbar limits, scrolling, the box of
// a dragged shape and the passes over layer pixels.
#include "meeting/CanvasRules.h"
#include "meeting/CanvasMessages.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

TEST(CanvasRules, ToolbarLimits)
{
    EXPECT_EQ(ClampToolWidth(0), 1);
    EXPECT_EQ(ClampToolWidth(250), 100);
    EXPECT_EQ(ClampToolWidth(37), 37);
    EXPECT_EQ(ClampFontSize(4), 8);
    EXPECT_EQ(ClampFontSize(97), 96);
    EXPECT_EQ(ClampFontSize(96), 96);
    EXPECT_EQ(AlphaFromPercent(100), 255);
    EXPECT_EQ(AlphaFromPercent(50), 128);
    EXPECT_EQ(AlphaFromPercent(0), 1);
    EXPECT_EQ(AlphaFromPercent(999), 255);
    EXPECT_EQ(AlphaFromPercent(INT_MIN), 1);
    EXPECT_EQ(StoredColour(0x010101), 0);
    EXPECT_EQ(StoredColour(0x010102), 0x010102);
    EXPECT_TRUE(CanvasSizeValid(2048, 1536));
    for (auto size : {std::pair<int, int>{0, 10}, {-5, 10}, {100000, 10}, {10, 8193}})
        EXPECT_FALSE(CanvasSizeValid(size.first, size.second)) << size.first << "x" << size.second;
}

TEST(CanvasRules, ScrollStopsAtTheLastPage)
{
    EXPECT_EQ(ClampScroll(-10, 2048, 684), 0);
    EXPECT_EQ(ClampScroll(5000, 2048, 684), 2048 - 684) << "never one pixel past the end";
    EXPECT_EQ(ClampScroll(100, 2048, 684), 100);
    EXPECT_EQ(ClampScroll(100, 500, 684), 0) << "a window larger than the canvas does not scroll";
}

TEST(CanvasRules, BoxRunsFromTheSmallerToTheLargerPoint)
{
    const CanvasBox b = BoxBetween(50, 80, 10, 20);
    EXPECT_EQ(b.left, 10);
    EXPECT_EQ(b.top, 20);
    EXPECT_EQ(b.right - b.left, 40);
    EXPECT_EQ(b.bottom - b.top, 60);
}

TEST(CanvasRules, LayerPasses)
{
    std::vector<uint32_t> px = {0x00010101, 0xFF010101, 0x80FF0000, 0x01010102, 0};
    ClearEraserMarks(px.data(), px.size());
    EXPECT_EQ(px, (std::vector<uint32_t>{0, 0, 0x80FF0000, 0x01010102, 0}));
}
