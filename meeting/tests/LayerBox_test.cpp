// The boxes that bound what a drawing step changed on a layer.
#include "meeting/LayerBox.h"

#include <gtest/gtest.h>

namespace {

void ExpectBox(const LayerBox& b, int left, int top, int right, int bottom)
{
    EXPECT_EQ(b.left, left);
    EXPECT_EQ(b.top, top);
    EXPECT_EQ(b.right, right);
    EXPECT_EQ(b.bottom, bottom);
}

} // namespace

TEST(LayerBox, AStrokeReachesHalfItsWidthAndTheSmoothingPastItsPoints)
{
    // Points in any order; right and bottom are one past the last pixel.
    ExpectBox(StrokeBox(50, 80, 10, 20, 5), 10 - 6, 20 - 6, 50 + 7, 80 + 7);
    ExpectBox(StrokeBox(10, 20, 50, 80, 100), 10 - 53, 20 - 53, 50 + 54, 80 + 54);
    // A pen of width 0 still draws one pixel wide.
    ExpectBox(StrokeBox(5, 5, 5, 5, 0), 1, 1, 10, 10);
    // The network's farthest points and widths stay within int.
    ExpectBox(StrokeBox(-100000, -100000, 100000, 100000, 100), -100053, -100053, 100054, 100054);
}

TEST(LayerBox, UnionIgnoresEmptyBoxes)
{
    const LayerBox a = {10, 20, 30, 40}, b = {25, 5, 60, 35}, empty = {};
    ExpectBox(UnionBox(a, b), 10, 5, 60, 40);
    ExpectBox(UnionBox(a, empty), 10, 20, 30, 40);
    ExpectBox(UnionBox(empty, b), 25, 5, 60, 35);
    EXPECT_TRUE(UnionBox(empty, LayerBox{7, 7, 7, 9}).Empty()) << "a box of no width adds nothing";
    EXPECT_TRUE(UnionBox(empty, empty).Empty());
}

TEST(LayerBox, ClipKeepsTheBoxInsideTheLayer)
{
    ExpectBox(ClipBox({-5, -6, 3000, 2000}, 2048, 1536), 0, 0, 2048, 1536);
    ExpectBox(ClipBox({100, 200, 300, 400}, 2048, 1536), 100, 200, 300, 400);
    EXPECT_TRUE(ClipBox({2048, 0, 2100, 10}, 2048, 1536).Empty()) << "wholly right of the layer";
    EXPECT_TRUE(ClipBox({-50, -50, 0, 0}, 2048, 1536).Empty()) << "wholly above and left";
    EXPECT_EQ(ClipBox({-50, -50, 10, 20}, 2048, 1536).Width(), 10);
    EXPECT_EQ(ClipBox({-50, -50, 10, 20}, 2048, 1536).Height(), 20);
    ExpectBox(WholeLayer(700, 480), 0, 0, 700, 480);
    EXPECT_TRUE(WholeLayer(0, 0).Empty());
}
