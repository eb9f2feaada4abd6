// Regions: banded form, the operations, the copy-safe rectangle orders.
#include "rfb/Region.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using rfb::Point;
using rfb::Rect;
using rfb::Region;

std::vector<Rect> rectsOf(const Region& r, bool left2right = true, bool topdown = true)
{
    std::vector<Rect> v;
    r.get_rects(&v, left2right, topdown);
    return v;
}

Region regionOf(std::initializer_list<Rect> rects)
{
    Region r;
    for (const Rect& x : rects)
        r.assign_union(Region(x));
    return r;
}

TEST(Rect, EmptinessIntersectionAndTranslation)
{
    EXPECT_TRUE(Rect(5, 5, 5, 10).is_empty());
    EXPECT_TRUE(Rect(5, 10, 8, 2).is_empty());
    EXPECT_FALSE(Rect(0, 0, 1, 1).is_empty());
    EXPECT_EQ(Rect(0, 0, 10, 10).intersect(Rect(5, -5, 20, 5)), Rect(5, 0, 10, 5));
    EXPECT_TRUE(Rect(0, 0, 10, 10).intersect(Rect(10, 0, 20, 10)).is_empty());
    EXPECT_EQ(Rect(1, 2, 3, 4).translate(Point(10, -2)), Rect(11, 0, 13, 2));
    EXPECT_TRUE(Rect(2, 2, 4, 4).enclosed_by(Rect(0, 0, 4, 4)));
    EXPECT_EQ(Rect(0, 0, 70000, 70000).area(), 4900000000u);
    EXPECT_EQ(Rect(3, 3, 1, 1).area(), 0u);
}

TEST(Region, EmptyRectangleGivesEmptyRegion)
{
    const Region r(Rect(10, 10, 10, 20));
    EXPECT_TRUE(r.is_empty());
    std::vector<Rect> v;
    EXPECT_FALSE(r.get_rects(&v));
    EXPECT_TRUE(v.empty());
    EXPECT_EQ(r.get_bounding_rect(), Rect(0, 0, 0, 0));
    EXPECT_EQ(Region().get_bounding_rect(), Rect(0, 0, 0, 0));
}

TEST(Region, TouchingRectanglesSideBySideCoalesce)
{
    EXPECT_EQ(rectsOf(regionOf({Rect(0, 0, 10, 10), Rect(10, 0, 20, 10)})), std::vector<Rect>{Rect(0, 0, 20, 10)});
    EXPECT_EQ(rectsOf(regionOf({Rect(0, 0, 10, 10), Rect(0, 10, 10, 20)})), std::vector<Rect>{Rect(0, 0, 10, 20)});
}

TEST(Region, OperationsGiveBandedResults)
{
    const Region a(Rect(0, 0, 10, 10));
    const Region b(Rect(5, 5, 15, 15));
    EXPECT_EQ(rectsOf(a.union_(b)),
              (std::vector<Rect>{Rect(0, 0, 10, 5), Rect(0, 5, 15, 10), Rect(5, 10, 15, 15)}));
    EXPECT_EQ(rectsOf(a.intersect(b)), std::vector<Rect>{Rect(5, 5, 10, 10)});
    EXPECT_EQ(rectsOf(a.subtract(b)), (std::vector<Rect>{Rect(0, 0, 10, 5), Rect(0, 5, 5, 10)}));
    EXPECT_EQ(rectsOf(Region(Rect(0, 0, 30, 10)).subtract(Region(Rect(10, 0, 20, 10)))),
              (std::vector<Rect>{Rect(0, 0, 10, 10), Rect(20, 0, 30, 10)}));
    EXPECT_TRUE(a.subtract(a).is_empty());
    EXPECT_TRUE(a.intersect(Region(Rect(20, 20, 30, 30))).is_empty());
    EXPECT_EQ(a.union_(b).get_bounding_rect(), Rect(0, 0, 15, 15));
    // The receiver is unchanged.
    EXPECT_EQ(rectsOf(a), std::vector<Rect>{Rect(0, 0, 10, 10)});
}

TEST(Region, ResetAndTranslate)
{
    Region r = regionOf({Rect(0, 0, 5, 5), Rect(10, 10, 20, 20)});
    r.translate(Point(-3, 4));
    EXPECT_EQ(rectsOf(r), (std::vector<Rect>{Rect(-3, 4, 2, 9), Rect(7, 14, 17, 24)}));
    r.reset(Rect(1, 1, 2, 2));
    EXPECT_EQ(rectsOf(r), std::vector<Rect>{Rect(1, 1, 2, 2)});
    r.reset(Rect());
    EXPECT_TRUE(r.is_empty());
}

// Two bands: the top one has two boxes, the bottom one one.
TEST(Region, GetRectsOrders)
{
    const Region r = regionOf({Rect(0, 0, 10, 10), Rect(20, 0, 30, 10), Rect(0, 20, 5, 30)});
    const Rect a(0, 0, 10, 10), b(20, 0, 30, 10), c(0, 20, 5, 30);
    EXPECT_EQ(rectsOf(r, true, true), (std::vector<Rect>{a, b, c}));
    EXPECT_EQ(rectsOf(r, false, true), (std::vector<Rect>{b, a, c}));
    EXPECT_EQ(rectsOf(r, true, false), (std::vector<Rect>{c, a, b}));
    EXPECT_EQ(rectsOf(r, false, false), (std::vector<Rect>{c, b, a}));
}

TEST(Region, GetRectsAppends)
{
    std::vector<Rect> v{Rect(1, 1, 2, 2)};
    EXPECT_TRUE(Region().get_rects(&v));
    EXPECT_EQ(v.size(), 1u);
}

// Coordinates beyond 16 bits (a request scaled by 9 reaches about 590000)
// stay exact instead of wrapping into a wrong region.
TEST(Region, CoordinatesBeyondSixteenBitsStayExact)
{
    const Region big(Rect(0, 0, 590000, 590000));
    const Region hole(Rect(40000, 40000, 50000, 50000));
    const Region r = big.subtract(hole);
    EXPECT_EQ(r.get_bounding_rect(), Rect(0, 0, 590000, 590000));
    EXPECT_EQ(rectsOf(r.intersect(hole)), std::vector<Rect>{});
    EXPECT_EQ(rectsOf(r).size(), 4u);
}

} // namespace
