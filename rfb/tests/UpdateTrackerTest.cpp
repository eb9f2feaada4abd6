// Update trackers: the copy rules, clipping, and a simulated viewer that must
// end up with the host's picture after every update.
#include "rfb/ClippedUpdateTracker.h"
#include "rfb/SimpleUpdateTracker.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using rfb::Point;
using rfb::Rect;
using rfb::Region;

std::vector<Rect> rectsOf(const Region& r)
{
    std::vector<Rect> v;
    r.get_rects(&v);
    return v;
}

rfb::SimpleUpdateTracker copyTracker()
{
    rfb::SimpleUpdateTracker t;
    t.enable_copyrect(true);
    return t;
}

// Records the calls a tracker receives, in order.
class RecordingTracker : public rfb::UpdateTracker {
public:
    void add_changed(const Region& r) override { calls.push_back("changed" + describe(r)); }
    void add_cached(const Region& r) override { calls.push_back("cached" + describe(r)); }
    void add_copied(const Region& r, const Point& d) override
    {
        calls.push_back("copied" + describe(r) + " by " + std::to_string(d.x) + "," + std::to_string(d.y));
    }
    std::vector<std::string> calls;

private:
    static std::string describe(const Region& r)
    {
        const Rect b = r.get_bounding_rect();
        return " " + std::to_string(b.left) + "," + std::to_string(b.top) + "," + std::to_string(b.right) + "," +
               std::to_string(b.bottom);
    }
};

TEST(SimpleUpdateTracker, CopyWithCopiesDisabledIsChanged)
{
    rfb::SimpleUpdateTracker t;
    t.add_copied(Region(Rect(10, 10, 20, 20)), Point(5, 0));
    EXPECT_TRUE(t.get_copied().is_empty());
    EXPECT_EQ(rectsOf(t.get_changed()), std::vector<Rect>{Rect(10, 10, 20, 20)});
}

TEST(SimpleUpdateTracker, SuccessiveCopiesOfOneWindowChain)
{
    auto t = copyTracker();
    t.add_copied(Region(Rect(10, 0, 110, 50)), Point(10, 0));
    t.add_copied(Region(Rect(15, 0, 115, 50)), Point(5, 0));
    EXPECT_EQ(rectsOf(t.get_copied()), std::vector<Rect>{Rect(15, 0, 115, 50)});
    EXPECT_TRUE(t.get_delta().equals(Point(15, 0)));
    // The strip the first copy uncovered and the second moved away from.
    EXPECT_EQ(rectsOf(t.get_changed()), std::vector<Rect>{Rect(10, 0, 15, 50)});
}

TEST(SimpleUpdateTracker, SmallerUnrelatedCopyBecomesChanged)
{
    auto t = copyTracker();
    t.add_copied(Region(Rect(0, 0, 100, 100)), Point(0, 10));
    t.add_copied(Region(Rect(500, 500, 510, 510)), Point(-20, 0));
    EXPECT_EQ(rectsOf(t.get_copied()), std::vector<Rect>{Rect(0, 0, 100, 100)});
    EXPECT_TRUE(t.get_delta().equals(Point(0, 10)));
    EXPECT_EQ(rectsOf(t.get_changed()), std::vector<Rect>{Rect(500, 500, 510, 510)});
}

TEST(SimpleUpdateTracker, LargerUnrelatedCopyReplacesThePendingOne)
{
    auto t = copyTracker();
    t.add_copied(Region(Rect(500, 500, 510, 510)), Point(-20, 0));
    t.add_changed(Region(Rect(0, 0, 10, 10)));
    t.add_copied(Region(Rect(0, 10, 100, 110)), Point(0, 10));
    EXPECT_TRUE(t.get_delta().equals(Point(0, 10)));
    // The changed source pixels (0,0)-(10,10) arrive stale at (0,10)-(10,20).
    EXPECT_EQ(rectsOf(t.get_copied()), (std::vector<Rect>{Rect(10, 10, 100, 20), Rect(0, 20, 100, 110)}));
    EXPECT_EQ(rectsOf(t.get_changed()),
              (std::vector<Rect>{Rect(0, 0, 10, 20), Rect(500, 500, 510, 510)}));
}

TEST(SimpleUpdateTracker, GetUpdateListsOverlapOnlyAsChanged)
{
    auto t = copyTracker();
    t.add_copied(Region(Rect(0, 0, 50, 50)), Point(-10, 0));
    t.add_changed(Region(Rect(40, 0, 60, 50)));
    rfb::UpdateInfo info;
    info.changed.push_back(Rect(1, 1, 2, 2));
    t.get_update(info);
    EXPECT_EQ(info.copied, std::vector<Rect>{Rect(0, 0, 40, 50)});
    EXPECT_EQ(info.changed, std::vector<Rect>{Rect(40, 0, 60, 50)});
    EXPECT_TRUE(info.copy_delta.equals(Point(-10, 0)));
    EXPECT_FALSE(t.is_empty()) << "get_update leaves the tracker as it was";
}

TEST(SimpleUpdateTracker, CopiedRectanglesComeInCopySafeOrder)
{
    auto t = copyTracker();
    Region dest(Rect(0, 0, 10, 10));
    dest.assign_union(Region(Rect(20, 0, 30, 10)));
    dest.assign_union(Region(Rect(0, 20, 10, 30)));
    t.add_copied(dest, Point(5, 5));
    rfb::UpdateInfo info;
    t.get_update(info);
    EXPECT_EQ(info.copied, (std::vector<Rect>{Rect(0, 20, 10, 30), Rect(20, 0, 30, 10), Rect(0, 0, 10, 10)}));
}

TEST(SimpleUpdateTracker, ClippedUpdateTakesOnlyThePartInside)
{
    auto t = copyTracker();
    t.add_changed(Region(Rect(0, 0, 100, 10)));
    t.add_cached(Region(Rect(0, 50, 100, 60)));
    t.add_copied(Region(Rect(0, 20, 100, 40)), Point(0, -5));
    rfb::UpdateInfo info;
    t.get_update_clipped(info, Region(Rect(0, 0, 50, 100)));
    EXPECT_EQ(info.changed, std::vector<Rect>{Rect(0, 0, 50, 10)});
    EXPECT_EQ(info.copied, std::vector<Rect>{Rect(0, 20, 50, 40)});
    EXPECT_EQ(info.cached, std::vector<Rect>{Rect(0, 50, 50, 60)});
    EXPECT_EQ(rectsOf(t.get_changed()), std::vector<Rect>{Rect(50, 0, 100, 10)});
    EXPECT_EQ(rectsOf(t.get_copied()), std::vector<Rect>{Rect(50, 20, 100, 40)});
    EXPECT_EQ(rectsOf(t.get_cached()), std::vector<Rect>{Rect(50, 50, 100, 60)});
}

TEST(SimpleUpdateTracker, FlushesInTheOrderCopiedChangedCached)
{
    auto t = copyTracker();
    t.add_cached(Region(Rect(0, 50, 10, 60)));
    t.add_changed(Region(Rect(0, 0, 10, 10)));
    t.add_copied(Region(Rect(0, 20, 10, 30)), Point(3, 0));
    RecordingTracker all;
    t.flush_to(all);
    EXPECT_EQ(all.calls, (std::vector<std::string>{"copied 0,20,10,30 by 3,0", "changed 0,0,10,10",
                                                   "cached 0,50,10,60"}));
    EXPECT_FALSE(t.is_empty());

    RecordingTracker clipped;
    t.flush_to_clipped(clipped, Region(Rect(0, 0, 5, 25)));
    EXPECT_EQ(clipped.calls, (std::vector<std::string>{"copied 0,20,5,25 by 3,0", "changed 0,0,5,10"}));
    EXPECT_EQ(rectsOf(t.get_changed()), std::vector<Rect>{Rect(5, 0, 10, 10)});
    t.clear();
    EXPECT_TRUE(t.is_empty());
}

TEST(ClippedUpdateTracker, CopiesNeedTheirSourceInsideTheClip)
{
    const Region clip(Rect(0, 0, 100, 100));
    struct Case {
        Rect dest;
        Point delta;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {Rect(200, 200, 210, 210), Point(50, 50), {}},
        {Rect(10, 10, 20, 20), Point(50, 0), {"changed 10,10,20,20"}},
        {Rect(10, 10, 20, 20), Point(5, 0), {"copied 10,10,20,20 by 5,0"}},
        {Rect(90, 0, 110, 10), Point(-5, 0), {"copied 90,0,95,10 by -5,0", "changed 95,0,100,10"}},
    };
    for (const Case& c : cases) {
        RecordingTracker child;
        rfb::ClippedUpdateTracker t(child, clip);
        t.add_copied(Region(c.dest), c.delta);
        EXPECT_EQ(child.calls, c.calls) << c.dest.left << "," << c.dest.top;
    }
}

TEST(ClippedUpdateTracker, ChangesAreClippedAndTheClipCanBeReplaced)
{
    RecordingTracker child;
    rfb::ClippedUpdateTracker t(child, Region(Rect(0, 0, 10, 10)));
    t.add_changed(Region(Rect(5, 5, 20, 20)));
    t.set_clip_region(Region(Rect(0, 0, 100, 100)));
    t.add_cached(Region(Rect(5, 5, 20, 20)));
    EXPECT_EQ(child.calls, (std::vector<std::string>{"changed 5,5,10,10", "cached 5,5,20,20"}));
}

// A host screen that draws and scrolls, and a viewer that applies each update
// (copies in the listed order, then the changed pixels): after every update
// the viewer shows exactly what the host shows.
class Screen {
public:
    static constexpr int W = 48, H = 40;
    std::vector<int> px = std::vector<int>(W * H, 0);
    int& at(int x, int y) { return px[static_cast<size_t>(y * W + x)]; }

    void copy(const Rect& dest, const Point& d)
    {
        std::vector<int> before = px;
        for (int y = dest.top; y < dest.bottom; ++y)
            for (int x = dest.left; x < dest.right; ++x)
                at(x, y) = before[static_cast<size_t>((y - d.y) * W + (x - d.x))];
    }
};

TEST(SimpleUpdateTracker, SimulatedViewerAlwaysMatchesTheHost)
{
    std::mt19937 rng(7);
    Screen host, viewer;
    auto t = copyTracker();
    int colour = 1;
    for (int step = 0; step < 20000; ++step) {
        const int kind = static_cast<int>(rng() % 10);
        const int w = 1 + static_cast<int>(rng() % 20), h = 1 + static_cast<int>(rng() % 20);
        const int x = static_cast<int>(rng() % (Screen::W - w + 1)), y = static_cast<int>(rng() % (Screen::H - h + 1));
        const Rect r(x, y, x + w, y + h);
        if (kind < 4) {
            for (int yy = r.top; yy < r.bottom; ++yy)
                for (int xx = r.left; xx < r.right; ++xx)
                    host.at(xx, yy) = colour;
            ++colour;
            t.add_changed(Region(r));
        } else if (kind < 8) {
            const int dx = static_cast<int>(rng() % 11) - 5, dy = static_cast<int>(rng() % 11) - 5;
            const Rect dest = r.intersect(Rect(0, 0, Screen::W, Screen::H).translate(Point(dx, dy)));
            if (dest.is_empty())
                continue;
            host.copy(dest, Point(dx, dy));
            t.add_copied(Region(dest), Point(dx, dy));
        } else {
            rfb::UpdateInfo info;
            t.get_update(info);
            t.clear();
            for (const Rect& c : info.copied)
                viewer.copy(c, info.copy_delta);
            for (const Rect& c : info.changed)
                for (int yy = c.top; yy < c.bottom; ++yy)
                    for (int xx = c.left; xx < c.right; ++xx)
                        viewer.at(xx, yy) = host.at(xx, yy);
            ASSERT_EQ(viewer.px, host.px) << "after step " << step;
        }
    }
}

} // namespace
