// The anchor layout on real windows: a table of anchor flags and resizes to
// the child's new rectangle.
#include "core/base/AnchorLayout_win.h"
#include "tests/support/WindowTest_win.h"

#include <gtest/gtest.h>

namespace {

class Windows {
public:
    Windows()
    {
        parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
        // A popup without a border: client size = window size.
        child = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 20, 30, 100, 40, parent, nullptr, nullptr, nullptr);
    }
    ~Windows() { DestroyWindow(parent); }
    RECT ChildRect() const
    {
        RECT r;
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    HWND parent, child;
};

TEST(AnchorLayoutTest, ResizesFollowTheAnchors)
{
    // Child at (20,30)-(120,70) in a 300x200 parent, grown to 400x260.
    struct Case {
        const char* name;
        int flags;
        RECT expected;
    } cases[] = {
        {"fixed", ANCHOR_LEFT | ANCHOR_TOP, {20, 30, 120, 70}},
        {"no flags", 0, {20, 30, 120, 70}},
        {"stretch horizontally", ANCHOR_LEFT | ANCHOR_RIGHT | ANCHOR_TOP, {20, 30, 220, 70}},
        {"move right", ANCHOR_RIGHT | ANCHOR_TOP, {120, 30, 220, 70}},
        {"stretch vertically", ANCHOR_LEFT | ANCHOR_TOP | ANCHOR_BOTTOM, {20, 30, 120, 130}},
        {"move down", ANCHOR_LEFT | ANCHOR_BOTTOM, {20, 90, 120, 130}},
        {"stretch both ways", ANCHOR_LEFT | ANCHOR_TOP | ANCHOR_RIGHT | ANCHOR_BOTTOM, {20, 30, 220, 130}},
        {"move to the corner", ANCHOR_RIGHT | ANCHOR_BOTTOM, {120, 90, 220, 130}},
    };
    for (const Case& c : cases) {
        Windows w;
        CAnchorLayout layout;
        layout.Attach(w.parent, 300, 200);
        layout.AddControl(w.child, c.flags, w.ChildRect());
        SetWindowPos(w.parent, nullptr, 0, 0, 400, 260, SWP_NOMOVE | SWP_NOZORDER);
        layout.Relayout();
        RECT r = w.ChildRect();
        EXPECT_EQ(r.left, c.expected.left) << c.name;
        EXPECT_EQ(r.top, c.expected.top) << c.name;
        EXPECT_EQ(r.right, c.expected.right) << c.name;
        EXPECT_EQ(r.bottom, c.expected.bottom) << c.name;
        // Back to the design size: the child returns where it was.
        SetWindowPos(w.parent, nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER);
        layout.Relayout();
        r = w.ChildRect();
        EXPECT_EQ(r.left, 20) << c.name;
        EXPECT_EQ(r.right, 120) << c.name;
        EXPECT_EQ(r.bottom, 70) << c.name;
    }
}

TEST(AnchorLayoutTest, NoParentAndNullEntriesAreHarmless)
{
    Windows w;
    CAnchorLayout layout;
    layout.AddControl(w.child, ANCHOR_RIGHT, w.ChildRect());
    SetWindowPos(w.parent, nullptr, 0, 0, 400, 260, SWP_NOMOVE | SWP_NOZORDER);
    layout.Relayout();  // before Attach: nothing moves
    EXPECT_EQ(w.ChildRect().left, 20);

    CAnchorLayout withNull;
    withNull.Attach(w.parent, 400, 260);
    withNull.AddControl(nullptr, ANCHOR_RIGHT, RECT{0, 0, 10, 10});
    withNull.AddControl(w.child, ANCHOR_RIGHT, w.ChildRect());
    SetWindowPos(w.parent, nullptr, 0, 0, 450, 260, SWP_NOMOVE | SWP_NOZORDER);
    withNull.Relayout();
    EXPECT_EQ(w.ChildRect().left, 70) << "the entry after a null one is still laid out";
}

} // namespace
