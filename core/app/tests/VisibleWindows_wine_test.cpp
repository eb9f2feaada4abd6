// CollectVisibleWindowProc over the real desktop under Xvfb: visible plain
// windows are collected bottom of the Z order first; hidden and layered ones
// are not.
#include "core/app/VisibleWindows_win.h"

#include "core/app/tests/ManagerFakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

struct TopWindow {
    explicit TopWindow(bool visible, DWORD exStyle = 0)
    {
        hwnd = CreateWindowExW(exStyle, L"STATIC", L"visible-windows test", WS_POPUP, 10, 10, 80, 60, nullptr,
                               nullptr, GetModuleHandleW(nullptr), nullptr);
        if (hwnd && visible)
            ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    }
    ~TopWindow()
    {
        if (hwnd)
            DestroyWindow(hwnd);
    }
    HWND hwnd = nullptr;
};

class CollectVisibleWindows : public ::testing::Test {
protected:
    void SetUp() override
    {
        ManagerServices s;
        s.transport = std::make_unique<FakeTransport>(log);
        s.appliance = std::make_unique<FakeAppliance>(log);
        manager = std::make_unique<CManager>(GetModuleHandleW(nullptr), std::move(s));
    }

    ptrdiff_t IndexOf(HWND hwnd) const
    {
        const auto& list = manager->visibleWindows;
        auto it = std::find(list.begin(), list.end(), hwnd);
        return it == list.end() ? -1 : it - list.begin();
    }

    CallLog log;
    std::unique_ptr<CManager> manager;
};

TEST_F(CollectVisibleWindows, CollectsVisibleBottomFirstAndSkipsHiddenAndLayered)
{
    TopWindow lower(true), upper(true), hidden(false), layered(true, WS_EX_LAYERED);
    ASSERT_TRUE(lower.hwnd && upper.hwnd && hidden.hwnd && layered.hwnd) << "needs a display";
    SetLayeredWindowAttributes(layered.hwnd, 0, 255, LWA_ALPHA);
    SetWindowPos(upper.hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetWindowPos(lower.hwnd, upper.hwnd, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    manager->visibleWindows.clear();
    // EnumWindows fails when a callback stops the walk.
    ASSERT_TRUE(EnumWindows(CollectVisibleWindowProc, reinterpret_cast<LPARAM>(manager.get())));

    EXPECT_GE(IndexOf(lower.hwnd), 0);
    EXPECT_GT(IndexOf(upper.hwnd), IndexOf(lower.hwnd));
    EXPECT_EQ(IndexOf(hidden.hwnd), -1);
    EXPECT_EQ(IndexOf(layered.hwnd), -1);
    for (HWND w : manager->visibleWindows)
        EXPECT_TRUE(IsWindowVisible(w));
}

} // namespace
