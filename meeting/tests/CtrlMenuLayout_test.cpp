// The control bar's buttons by role, its widths and its slide.
#include "meeting/CtrlMenuLayout.h"

#include <gtest/gtest.h>

namespace {

TEST(CtrlMenuLayout, ButtonsByRoleAndPermission)
{
    const std::vector<int> everyone = {3010, 3001, 3003, 3005, 3007, 1};
    auto with = [&](std::vector<int> first) {
        first.insert(first.end(), everyone.begin(), everyone.end());
        return first;
    };
    const struct {
        const char* who;
        BarRoles roles;
        std::vector<int> ids;
        int width;
    } rows[] = {
        {"coordinator viewing", {1, 0, 0}, with({3000, 3002, 3004}), 440},
        {"coordinator hosting", {1, 1, 0}, with({3000, 3002}), 394},
        {"assist with both bits", {2, 0, 0x60}, with({3000, 3002, 3004}), 440},
        {"assist with invite only", {2, 0, 0x40}, with({3000, 3004}), 394},
        {"assist with polling only, hosting", {2, 1, 0x20}, with({3002}), 348},
        {"assist without bits", {2, 0, 0}, with({3004}), 348},
        {"participant", {0, 0, 0x60}, with({3004}), 348},
        {"participant hosting", {0, 1, 0}, with({}), 302},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(BarButtons(r.roles), r.ids) << r.who;
        // The Part's width where the buttons fit, else the buttons' width.
        EXPECT_EQ(BarWidth(r.roles), r.width) << r.who;
        EXPECT_GE(BarWidth(r.roles), static_cast<int>(r.ids.size()) * kButtonWidth + kSmallButton) << r.who;
    }
}

TEST(CtrlMenuLayout, SlideStopsAtItsEnds)
{
    // Full view: from the start position down to 0 in steps of 3, back to -63.
    int top = kBarStartTop;
    int ticks = 0;
    while (top != 0 && ticks < 100) {
        top = SlideTick(top, true, true);
        ++ticks;
    }
    EXPECT_EQ(top, 0);
    EXPECT_EQ(ticks, 21);
    EXPECT_EQ(SlideTick(0, true, true), 0);
    for (ticks = 0; top != HiddenTop(true) && ticks < 100; ++ticks)
        top = SlideTick(top, false, true);
    EXPECT_EQ(top, -63);
    EXPECT_EQ(SlideTick(-63, false, true), -63);
    // Compact: a thin strip stays in sight whichever view.
    EXPECT_EQ(ShownHeight(false) + HiddenTop(false), 6);
    EXPECT_EQ(ShownHeight(true) + HiddenTop(true), 23);
    EXPECT_EQ(SlideTick(-19, false, false), -20);
    EXPECT_EQ(SlideTick(-1, true, false), 0);
}

TEST(CtrlMenuLayout, MarqueeTurnsOneCharacter)
{
    EXPECT_EQ(TurnMarquee(L"You are the host."), L"ou are the host.Y");
    EXPECT_EQ(TurnMarquee(L"x"), L"x");
    EXPECT_EQ(TurnMarquee(L""), L"");
}

} // namespace
