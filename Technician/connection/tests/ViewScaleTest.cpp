// The view's scale, fit, scroll and zoom arithmetic.
#include "Technician/connection/ViewScale.h"

#include <gtest/gtest.h>

namespace viewer {
namespace {

TEST(ViewScale, FitAtStartAndOnEverySize)
{
    ViewScale v(false, true, 100, 100);
    v.setClientSize(1000, 500);
    v.setFramebuffer(2000, 800);
    EXPECT_TRUE(v.scaling());
    EXPECT_EQ(v.numerator(), 50);
    EXPECT_EQ(v.denominator(), 100);
    EXPECT_EQ(v.scaledWidth(), 1000);
    EXPECT_EQ(v.scaledHeight(), 400);
    v.setClientSize(500, 800);
    EXPECT_EQ(v.percent(), 25);
    // A minimised or tiny window keeps the previous scale, never 0.
    v.setClientSize(0, 0);
    EXPECT_EQ(v.percent(), 25);
    v.setClientSize(1, 1);
    EXPECT_EQ(v.percent(), 25);
}

TEST(ViewScale, ScrollStaysInRangeAndPageFollowsTheWindow)
{
    ViewScale v(false, false, 100, 100);
    v.setFramebuffer(800, 600);
    v.setClientSize(300, 200);
    EXPECT_EQ(v.maxHpos(), 500);
    EXPECT_EQ(v.maxVpos(), 400);
    int mx = 0, my = 0;
    EXPECT_TRUE(v.scrollBy(10000, 10000, &mx, &my));
    EXPECT_EQ(mx, 500);
    EXPECT_EQ(my, 400);
    EXPECT_FALSE(v.scrollBy(5, 5)) << "already at the end";
    EXPECT_TRUE(v.scrollBy(-10000, -3));
    EXPECT_EQ(v.hpos(), 0);
    EXPECT_EQ(v.vpos(), 397);
    EXPECT_FALSE(v.scrollBy(-1, 0)) << "a scroll that clamps to nothing changes nothing";
    // The window grows: the page grows with it and positions come back in range.
    v.setClientSize(700, 550);
    EXPECT_EQ(v.pageWidth(), 700);
    EXPECT_EQ(v.vpos(), 50);
    // A picture narrower than the page: no scrolling at all.
    v.setClientSize(1000, 1000);
    EXPECT_EQ(v.maxHpos(), 0);
    EXPECT_FALSE(v.scrollBy(1, 1));
    EXPECT_FALSE(v.scrollBy(-1, -1));
}

TEST(ViewScale, ZoomButtonSteps)
{
    ViewScale v(false, false, 100, 100);
    v.setFramebuffer(100, 100);
    std::vector<int> seen;
    for (int i = 0; i < 40 + 49 + 1; ++i)
        seen.push_back(v.zoomStep());
    EXPECT_EQ(seen.front(), 110);
    EXPECT_EQ(seen[39], 500);
    EXPECT_EQ(seen[40], 490);
    EXPECT_EQ(seen[88], 10);
    EXPECT_EQ(seen[89], 20);
    for (size_t i = 1; i < seen.size(); ++i)
        EXPECT_EQ(std::abs(seen[i] - seen[i - 1]), 10) << i;
}

TEST(ViewScale, ComboTexts)
{
    const struct {
        const char* text;
        int percent;
    } cases[] = {
        {"75 %", 75}, {"150%", 150}, {"25 %", 25}, {"0", 10}, {"0.05", 10}, {"5", 10},
        {"900", 500}, {"100%", 100}, {"", -1}, {"abc", -1}, {" %", -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ViewScale::ParseZoomText(c.text), c.percent) << '"' << c.text << '"';
}

// The combo box's fit items on a 300 x 200 page: a fit along one side that
// leaves the other side too large gives up a scroll bar's room.
TEST(ViewScale, FitItems)
{
    const struct {
        int fbW, fbH;
        int best, height, width;
    } cases[] = {
        {600, 200, 50, 100 * (200 - 17) / 200, 50},  // wide picture
        {150, 400, 50, 50, 100 * (300 - 17) / 150},   // tall picture
        {300, 200, 100, 100, 100},                    // exact
        {3000, 2000, 10, 10, 10},
    };
    for (const auto& c : cases) {
        ViewScale v(false, false, 100, 100);
        v.setClientSize(300, 200);
        v.setFramebuffer(c.fbW, c.fbH);
        EXPECT_EQ(v.bestFitPercent(), c.best) << c.fbW << "x" << c.fbH;
        EXPECT_EQ(v.fitHeightPercent(17), c.height) << c.fbW << "x" << c.fbH;
        EXPECT_EQ(v.fitWidthPercent(17), c.width) << c.fbW << "x" << c.fbH;
    }
    ViewScale none;
    EXPECT_EQ(none.fitHeightPercent(17), -1);
    // "Fit Width" on a window narrower than the picture is below 100 %.
    ViewScale narrow(false, false, 100, 100);
    narrow.setClientSize(300, 2000);
    narrow.setFramebuffer(400, 300);
    EXPECT_LT(narrow.fitWidthPercent(17), 100);
}

TEST(ViewScale, ZeroScaleRefusedAndFitRestores)
{
    ViewScale v(false, false, 100, 100);
    v.setFramebuffer(400, 300);
    v.setClientSize(200, 150);
    EXPECT_FALSE(v.setScale(75, 0));
    EXPECT_FALSE(v.setScale(0, 100));
    EXPECT_EQ(v.percent(), 100);
    EXPECT_TRUE(v.setScale(75, 100));
    v.setFitToWindow(true);
    EXPECT_EQ(v.percent(), 50);
    v.setFitToWindow(false);
    EXPECT_EQ(v.percent(), 75);
}

TEST(ViewScale, WindowAreaOfAFramebufferArea)
{
    ViewScale v(false, false, 100, 100);
    v.setFramebuffer(400, 300);
    v.setClientSize(100, 100);
    v.scrollBy(10, 20);
    EXPECT_EQ(v.windowRectOf(rfb::Rect(10, 20, 30, 40)), rfb::Rect(0, 0, 20, 20));
    v.setScale(50, 100);
    v.scrollTo(0, 0);
    EXPECT_EQ(v.windowRectOf(rfb::Rect(10, 20, 31, 41)), rfb::Rect(5, 10, 17, 22));
    int fx = 0, fy = 0;
    v.framebufferPointOf(50, 60, fx, fy);
    EXPECT_EQ(fx, 100);
    EXPECT_EQ(fy, 120);
}

} // namespace
} // namespace viewer
