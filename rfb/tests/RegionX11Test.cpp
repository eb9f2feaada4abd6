// Our banded regions against libX11's region functions: the same rectangle
// lists, in the same order, for many random rectangle sets.
#include "rfb/Region.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/Xregion.h>

#include <random>
#include <string>
#include <vector>

namespace {

using rfb::Rect;

// Owner of one X region.
class XRegionOwner {
public:
    XRegionOwner() : m_r(XCreateRegion()) {}
    ~XRegionOwner() { XDestroyRegion(m_r); }
    XRegionOwner(const XRegionOwner&) = delete;
    XRegionOwner& operator=(const XRegionOwner&) = delete;
    ::Region get() const { return m_r; }

private:
    ::Region m_r;
};

std::vector<Rect> boxesOf(::Region r)
{
    std::vector<Rect> v;
    for (long i = 0; i < r->numRects; ++i)
        v.push_back(Rect(r->rects[i].x1, r->rects[i].y1, r->rects[i].x2, r->rects[i].y2));
    return v;
}

std::vector<Rect> rectsOf(const rfb::Region& r)
{
    std::vector<Rect> v;
    r.get_rects(&v);
    return v;
}

std::string show(const std::vector<Rect>& v)
{
    std::string s;
    for (const Rect& r : v)
        s += "(" + std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
             std::to_string(r.bottom) + ")";
    return s;
}

void expectSame(const rfb::Region& ours, ::Region theirs, const char* what, int round)
{
    const std::vector<Rect> a = rectsOf(ours), b = boxesOf(theirs);
    ASSERT_EQ(a, b) << what << " round " << round << "\nours:   " << show(a) << "\nlibX11: " << show(b);
    EXPECT_EQ(ours.is_empty(), XEmptyRegion(theirs) != 0) << what << " round " << round;
    if (!ours.is_empty()) {
        XRectangle box;
        XClipBox(theirs, &box);
        EXPECT_EQ(ours.get_bounding_rect(), Rect(box.x, box.y, box.x + box.width, box.y + box.height))
            << what << " round " << round;
    }
}

struct RandomSet {
    std::vector<Rect> rects;
    rfb::Region ours;
    XRegionOwner theirs;
};

// Rectangles on a coarse grid (many shared edges, so bands merge and
// touching boxes coalesce) or anywhere (many splits), some of them empty.
void fill(RandomSet& s, std::mt19937& rng, bool grid)
{
    const int n = static_cast<int>(rng() % 40);
    for (int i = 0; i < n; ++i) {
        int x, y, w, h;
        if (grid) {
            x = static_cast<int>(rng() % 12) * 16 - 32;
            y = static_cast<int>(rng() % 12) * 16 - 32;
            w = static_cast<int>(rng() % 5) * 16;
            h = static_cast<int>(rng() % 5) * 16;
        } else {
            x = static_cast<int>(rng() % 1200) - 100;
            y = static_cast<int>(rng() % 900) - 100;
            w = static_cast<int>(rng() % 300);
            h = static_cast<int>(rng() % 200);
        }
        const Rect r(x, y, x + w, y + h);
        s.rects.push_back(r);
        s.ours.assign_union(rfb::Region(r));
        XRectangle xr{static_cast<short>(x), static_cast<short>(y), static_cast<unsigned short>(w),
                      static_cast<unsigned short>(h)};
        XUnionRectWithRegion(&xr, s.theirs.get(), s.theirs.get());
    }
}

TEST(RegionVsX11, RandomSetsGiveTheSameRectangles)
{
    std::mt19937 rng(20261210);
    for (int round = 0; round < 4000; ++round) {
        const bool grid = round % 2 == 0;
        RandomSet a, b;
        fill(a, rng, grid);
        fill(b, rng, grid);
        expectSame(a.ours, a.theirs.get(), "built", round);

        XRegionOwner u, i, d, d2;
        XUnionRegion(a.theirs.get(), b.theirs.get(), u.get());
        XIntersectRegion(a.theirs.get(), b.theirs.get(), i.get());
        XSubtractRegion(a.theirs.get(), b.theirs.get(), d.get());
        XSubtractRegion(b.theirs.get(), a.theirs.get(), d2.get());
        expectSame(a.ours.union_(b.ours), u.get(), "union", round);
        expectSame(a.ours.intersect(b.ours), i.get(), "intersect", round);
        expectSame(a.ours.subtract(b.ours), d.get(), "subtract", round);
        expectSame(b.ours.subtract(a.ours), d2.get(), "subtract reversed", round);

        const int dx = static_cast<int>(rng() % 200) - 100, dy = static_cast<int>(rng() % 200) - 100;
        rfb::Region moved = a.ours;
        moved.translate(rfb::Point(dx, dy));
        XOffsetRegion(a.theirs.get(), dx, dy);
        expectSame(moved, a.theirs.get(), "offset", round);
        if (HasFatalFailure())
            return;
    }
}

} // namespace
