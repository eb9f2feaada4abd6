// The poll grid, changed-window marking and window-move copies, on frames and
// windows in memory.
#include "Customer/capture/PollGrid.h"
#include "Customer/capture/WindowMoveDetector.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <utility>
#include <vector>

namespace {

// A screen of pixel values; unset pixels read 0.
struct Pixels {
    std::map<std::pair<int, int>, uint32_t> values;
    std::vector<std::pair<int, int>> reads;
    uint32_t read(int x, int y)
    {
        reads.emplace_back(x, y);
        return at(x, y);
    }
    uint32_t at(int x, int y) const
    {
        auto it = values.find({x, y});
        return it == values.end() ? 0 : it->second;
    }
};

// One poll of the screen px; the viewer was sent the picture in sent, or
// the screen as it is when none is given.
std::vector<std::pair<int, int>> PollOnce(PollGrid& grid, const rfb::Rect& rect, Pixels& px,
                                          const Pixels* sent = nullptr)
{
    std::vector<std::pair<int, int>> changed;
    const Pixels& picture = sent ? *sent : px;
    grid.Poll(
        rect, [&](int x, int y) { return px.read(x, y); }, [&](int x, int y) { return picture.at(x, y); },
        [&](int x, int y) { changed.emplace_back(x, y); });
    return changed;
}

TEST(PollGrid, SamplePositionsAndPhases)
{
    const rfb::Rect screen(0, 0, 1024, 768);
    struct Case {
        rfb::Rect rect;
        int tileLeft, tileTop, phase;
        rfb::Point want;
    } cases[] = {
        {screen, 0, 0, 0, {0, 0}},
        {screen, 0, 0, 7, {28, 28}},
        {screen, 32, 64, 3, {44, 76}},
        // The last whole band at the right and bottom is sampled.
        {screen, 992, 736, 7, {1020, 764}},
        // Partial tiles: the point is clamped inside what the rect leaves.
        {rfb::Rect(0, 0, 1000, 700), 992, 672, 7, {999, 699}},
        {rfb::Rect(0, 0, 1000, 700), 992, 672, 1, {996, 676}},
        {rfb::Rect(10, 20, 50, 60), 42, 52, 5, {49, 59}},
    };
    for (const Case& c : cases) {
        const rfb::Point p = PollGrid::SamplePoint(c.rect, c.tileLeft, c.tileTop, c.phase);
        EXPECT_TRUE(p.equals(c.want)) << c.tileLeft << "," << c.tileTop << " phase " << c.phase << ": " << p.x << ","
                                      << p.y;
    }
}

TEST(PollGrid, OnePollReadsOneSamplePerTileFromZeroInStepsOf32)
{
    PollGrid grid;
    Pixels px;
    PollOnce(grid, rfb::Rect(0, 0, 1024, 768), px);
    ASSERT_EQ(px.reads.size(), 32u * 24u);
    std::set<int> xs, ys;
    for (auto& r : px.reads) {
        xs.insert(r.first);
        ys.insert(r.second);
    }
    EXPECT_EQ(*xs.begin(), 0);
    EXPECT_EQ(*xs.rbegin(), 992);
    EXPECT_EQ(*ys.rbegin(), 736);
    EXPECT_EQ(grid.Phase(), 1);
    px.reads.clear();
    PollOnce(grid, rfb::Rect(0, 0, 1024, 768), px);
    EXPECT_EQ(px.reads.front(), std::make_pair(4, 4));
}

// The rows a capture brings before a poll hold every point that poll reads,
// partial tiles and an offset rectangle included, and nothing more.
TEST(PollGrid, NextSampleRowsHoldEveryPointThePollReads)
{
    for (const rfb::Rect& rect : {rfb::Rect(0, 0, 1920, 1080), rfb::Rect(10, 20, 1000, 701)}) {
        PollGrid grid;
        for (int phase = 0; phase < PollGrid::kPhases; ++phase) {
            const rfb::Region rows = grid.NextSampleRows(rect);
            Pixels px;
            PollOnce(grid, rect, px);
            std::set<int> ys;
            for (auto& r : px.reads) {
                ys.insert(r.second);
                EXPECT_FALSE(rows.intersect(rfb::Region(rfb::Rect(r.first, r.second, r.first + 1, r.second + 1))).is_empty()) << phase << ": " << r.first << "," << r.second;
            }
            std::vector<rfb::Rect> rects;
            rows.get_rects(&rects);
            ASSERT_EQ(rects.size(), ys.size()) << phase;
            for (const rfb::Rect& r : rects)
                EXPECT_TRUE(r.height() == 1 && r.left == rect.left && r.right == rect.right) << phase;
        }
    }
}

// The first round fills the eight lists (the screen is what the viewer was
// sent); after it a change at a sample point is reported by the poll of its
// phase, and a change anywhere on a tile's diagonal (the last columns
// included) within eight polls.
TEST(PollGrid, ChangesAreFoundWithinEightPolls)
{
    const rfb::Rect screen(0, 0, 1024, 768);
    PollGrid grid;
    Pixels px;
    for (int i = 0; i < PollGrid::kPhases; ++i)
        EXPECT_TRUE(PollOnce(grid, screen, px).empty());
    struct Case {
        int x, y;
    } cases[] = {{12, 12}, {1020, 124}, {1000, 744}, {28, 28}};
    for (const Case& c : cases) {
        px.values[{c.x, c.y}] += 7;
        int found = -1;
        for (int i = 0; i < PollGrid::kPhases && found < 0; ++i) {
            const auto changed = PollOnce(grid, screen, px);
            for (auto& p : changed)
                if (p == std::make_pair(c.x, c.y))
                    found = i;
        }
        EXPECT_GE(found, 0) << c.x << "," << c.y;
        // Found once: the list holds the new value now.
        for (int i = 0; i < PollGrid::kPhases; ++i)
            EXPECT_TRUE(PollOnce(grid, screen, px).empty());
    }
}

// A list made for another rectangle is refilled, never read past its end
// (the sanitizers see an overrun) and never compared with the new samples:
// they are compared with what the viewer was sent (here the screen itself).
TEST(PollGrid, ListsAreRefilledWhenThePollRectangleChanges)
{
    PollGrid grid;
    Pixels px;
    const rfb::Rect rects[] = {rfb::Rect(0, 0, 64, 64), rfb::Rect(0, 0, 320, 200), rfb::Rect(0, 0, 40, 30),
                               rfb::Rect(100, 100, 420, 300)};
    for (const rfb::Rect& r : rects) {
        px.values.clear();
        for (int y = 0; y < 400; y += 2)
            for (int x = 0; x < 500; x += 2)
                px.values[{x, y}] = static_cast<uint32_t>(r.width() * 1000 + x + y);
        for (int i = 0; i < PollGrid::kPhases; ++i)
            EXPECT_TRUE(PollOnce(grid, r, px).empty()) << r.width();
        for (int i = 0; i < PollGrid::kPhases; ++i)
            EXPECT_TRUE(PollOnce(grid, r, px).empty()) << r.width();
    }
}

// Regression: the first poll of a phase only filled its list. A change made
// after the viewer's picture was taken and before that poll (after a sharing
// restart, a window moved off before the pump ran again) was never found,
// and the viewer kept the old picture until the screen changed there again.
// A list filled, first or for a new rectangle, compares with the picture the
// viewer was sent, and the list then holds the screen.
TEST(PollGrid, FirstSamplesAreComparedWithWhatWasSent)
{
    const rfb::Rect screen(0, 0, 320, 200), narrowed(0, 0, 160, 200);
    PollGrid grid;
    Pixels px, sent;
    // Phase 0 samples (0, 0), phase 3 (44, 108) and (300, 172) of a tile.
    px.values[{0, 0}] = 1;
    px.values[{44, 108}] = 2;
    px.values[{300, 172}] = 3;
    sent.values[{300, 172}] = 3;
    std::vector<std::pair<int, int>> found;
    for (int i = 0; i < PollGrid::kPhases; ++i)
        for (auto& p : PollOnce(grid, screen, px, &sent))
            found.push_back(p);
    EXPECT_EQ(found, (std::vector<std::pair<int, int>>{{0, 0}, {44, 108}}));
    // The lists hold the screen now: nothing more, whatever was sent.
    for (int i = 0; i < PollGrid::kPhases; ++i)
        EXPECT_TRUE(PollOnce(grid, screen, px, &sent).empty());
    // A new rectangle: its lists are filled afresh, against what was sent.
    found.clear();
    for (int i = 0; i < PollGrid::kPhases; ++i)
        for (auto& p : PollOnce(grid, narrowed, px, &sent))
            found.push_back(p);
    EXPECT_EQ(found, (std::vector<std::pair<int, int>>{{0, 0}, {44, 108}}));
}

class FakeWindows : public DesktopWindows {
public:
    struct W {
        Window id;
        rfb::Rect rect;
    };
    std::vector<W> list;
    int rectCalls = 0, lookups = 0;
    Window TopLevelAt(int x, int y) override
    {
        ++lookups;
        for (const W& w : list)
            if (x >= w.rect.left && x < w.rect.right && y >= w.rect.top && y < w.rect.bottom)
                return w.id;
        return 0;
    }
    bool VisibleRect(Window w, rfb::Rect& r) override
    {
        ++rectCalls;
        for (const W& e : list)
            if (e.id == w) {
                r = e.rect;
                return true;
            }
        return false;
    }
    Window Foreground() override { return list.empty() ? 0 : list.front().id; }
    bool IsConsole(Window) override { return false; }
};

TEST(ChangedWindows, EachWindowIsMarkedOncePerPollAndClipped)
{
    FakeWindows windows;
    windows.list = {{7, rfb::Rect(-20, 10, 100, 90)}, {8, rfb::Rect(200, 0, 300, 50)}};
    rfb::Region region;
    ChangedWindows marks(windows, rfb::Rect(0, 0, 256, 256), region);
    marks.MarkAt(10, 20);
    marks.MarkAt(50, 60);   // same window
    marks.MarkAt(150, 150); // the desktop: nothing
    marks.MarkAt(210, 10);
    EXPECT_EQ(marks.Count(), 2u);
    EXPECT_EQ(windows.rectCalls, 2);
    EXPECT_EQ(windows.lookups, 3);  // (50, 60) lies in a window already marked
    rfb::Region want(rfb::Rect(0, 10, 100, 90));
    want.assign_union(rfb::Region(rfb::Rect(200, 0, 256, 50)));
    EXPECT_TRUE(region.equals(want));
}

TEST(WindowMoveDetector, MovesBecomeCopiesInsideTheBounds)
{
    const rfb::Rect bounds(0, 0, 400, 300);
    struct Step {
        DesktopWindows::Window w;
        bool visible;
        rfb::Rect rect;
        bool copy;
        rfb::Rect dest;
        rfb::Point delta;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
    } cases[] = {
        {"first sight, then a move right",
         {{1, true, {10, 40, 50, 80}, false, {}, {}}, {1, true, {60, 40, 100, 80}, true, {60, 40, 100, 80}, {50, 0}}}},
        {"no move, then a resize in place", {{1, true, {10, 10, 50, 50}, false, {}, {}}, {1, true, {10, 10, 50, 50}, false, {}, {}}, {1, true, {10, 10, 90, 90}, false, {}, {}}}},
        // Moved partly off the left edge: only what is still inside is
        // copied, from inside.
        {"partly off the left", {{1, true, {20, 20, 120, 120}, false, {}, {}}, {1, true, {-30, 20, 70, 120}, true, {0, 20, 70, 120}, {-50, 0}}}},
        // Moved in from off screen: the source must not lie outside.
        {"in from the left", {{1, true, {-60, 20, 40, 120}, false, {}, {}}, {1, true, {10, 20, 110, 120}, true, {70, 20, 110, 120}, {70, 0}}}},
        {"off the bottom", {{1, true, {0, 250, 100, 300}, false, {}, {}}, {1, true, {0, 290, 100, 340}, true, {0, 290, 100, 300}, {0, 40}}}},
        {"wholly off screen", {{1, true, {0, 0, 50, 50}, false, {}, {}}, {1, true, {500, 0, 550, 50}, false, {}, {}}}},
        {"another window", {{1, true, {0, 0, 50, 50}, false, {}, {}}, {2, true, {30, 0, 80, 50}, false, {}, {}}}},
        {"hidden in between", {{1, true, {0, 0, 50, 50}, false, {}, {}}, {1, false, {}, false, {}, {}}, {1, true, {30, 0, 80, 50}, false, {}, {}}}},
    };
    for (const Case& c : cases) {
        WindowMoveDetector d;
        for (size_t i = 0; i < c.steps.size(); ++i) {
            const Step& s = c.steps[i];
            WindowCopy copy;
            const bool got = d.Detect(s.w, s.visible, s.rect, bounds, copy);
            EXPECT_EQ(got, s.copy) << c.name << " step " << i;
            if (got && s.copy) {
                EXPECT_TRUE(copy.dest.equals(s.dest)) << c.name << ": " << copy.dest.left << "," << copy.dest.top
                                                      << "-" << copy.dest.right << "," << copy.dest.bottom;
                EXPECT_TRUE(copy.delta.equals(s.delta)) << c.name;
                EXPECT_TRUE(copy.dest.enclosed_by(bounds)) << c.name;
                EXPECT_TRUE(copy.dest.translate(copy.delta.negate()).enclosed_by(bounds)) << c.name;
            }
        }
    }
}

} // namespace

#include "Customer/capture/HookRect.h"

namespace {

// Rectangles left of or above the primary display arrive as negative
// signed 16-bit halves.
TEST(HookRect, UnpacksSigned16BitHalves)
{
    const rfb::Rect cases[] = {{10, 20, 110, 120}, {-1280, 0, -10, 768}, {-5, -300, 5, -1}, {0, 0, 32767, 32767},
                               {-32768, -32768, 0, 0}};
    for (const rfb::Rect& r : cases) {
        const rfb::Rect got = UnpackHookRect(PackHookPair(r.left, r.top), PackHookPair(r.right, r.bottom));
        EXPECT_TRUE(got.equals(r)) << r.left << "," << r.top;
    }
    // Bits above the low 32 (a 64-bit WPARAM) are not part of it.
    EXPECT_TRUE(UnpackHookRect(0xFFFFFFFF00000000ull | PackHookPair(-2, 3), PackHookPair(4, 5)).equals(rfb::Rect(-2, 3, 4, 5)));
}

} // namespace
