// The local input watch on a real window under Wine. The presenter's own
// input is played with SendInput without the program's extra information
// (the hooks see it as the user's); the viewer's with extra information 2.
#include "Customer/input/KeyInjection.h"
#include "Customer/input/LocalInputHooks.h"
#include "tests/support/WindowTest_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

int g_commands = 0;

LRESULT CALLBACK OwnerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_COMMAND && wp == kTakeBackControlCommand && lp == 0)
        ++g_commands;
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void Key(WORD vk, bool down, ULONG_PTR extra)
{
    INPUT in;
    std::memset(&in, 0, sizeof in);
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, 0));
    in.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    in.ki.dwExtraInfo = extra;
    SendInput(1, &in, sizeof in);
}

void Press(WORD vk, ULONG_PTR extra)
{
    Key(vk, true, extra);
    Key(vk, false, extra);
}

void Move(int dx, ULONG_PTR extra)
{
    INPUT in;
    std::memset(&in, 0, sizeof in);
    in.type = INPUT_MOUSE;
    in.mi.dx = dx;
    in.mi.dwFlags = MOUSEEVENTF_MOVE;
    in.mi.dwExtraInfo = extra;
    SendInput(1, &in, sizeof in);
}

class LocalInputHooksWine : public ::testing::Test {
protected:
    void SetUp() override
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = OwnerProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"CorviskWatchOwner";
        RegisterClassW(&wc);
        owner = CreateWindowW(L"CorviskWatchOwner", L"Watch owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 200,
                              100, nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_TRUE(owner);
        wintest::PumpFor(200);
        g_commands = 0;
    }
    void TearDown() override
    {
        RemoveLocalInputHooks();
        DestroyWindow(owner);
    }
    HWND owner = nullptr;
};

} // namespace

TEST_F(LocalInputHooksWine, SixQuickKeysTakeControlBackOnce)
{
    ASSERT_EQ(InstallLocalInputHooks(owner), 1);
    for (int i = 0; i < 6; ++i)
        Press('X', 0);
    wintest::PumpFor(300);
    EXPECT_EQ(g_commands, 1);
}

TEST_F(LocalInputHooksWine, CtrlAltBTakesControlBackAtOnce)
{
    ASSERT_EQ(InstallLocalInputHooks(owner), 1);
    Key(VK_LCONTROL, true, 0);
    Key(VK_LMENU, true, 0);
    Press('B', 0);
    Key(VK_LMENU, false, 0);
    Key(VK_LCONTROL, false, 0);
    wintest::PumpFor(300);
    EXPECT_EQ(g_commands, 1);
}

TEST_F(LocalInputHooksWine, TheProgramsOwnInputNeverCounts)
{
    ASSERT_EQ(InstallLocalInputHooks(owner), 1);
    for (int i = 0; i < 12; ++i)
        Press('X', kInjectedExtraInfo);
    Key(VK_LCONTROL, true, kInjectedExtraInfo);
    Key(VK_LMENU, true, kInjectedExtraInfo);
    Press('B', kInjectedExtraInfo);
    Key(VK_LMENU, false, kInjectedExtraInfo);
    Key(VK_LCONTROL, false, kInjectedExtraInfo);
    for (int i = 0; i < 8; ++i) {
        Move(3, kInjectedExtraInfo);
        wintest::PumpFor(260);
    }
    EXPECT_EQ(g_commands, 0);
}

TEST_F(LocalInputHooksWine, MouseActivityInSixTicksTakesControlBack)
{
    ASSERT_EQ(InstallLocalInputHooks(owner), 1);
    wintest::PumpFor(300);
    for (int i = 0; i < 7 && g_commands == 0; ++i) {
        Move(i % 2 ? 2 : -2, 0);
        wintest::PumpFor(270);
    }
    EXPECT_EQ(g_commands, 1);
}

// Installing again replaces the watch; after removing it no hook is left
// (a later burst posts nothing). A null owner installs nothing.
TEST_F(LocalInputHooksWine, InstallTwiceThenRemoveLeavesNoHook)
{
    ASSERT_EQ(InstallLocalInputHooks(owner), 1);
    ASSERT_EQ(InstallLocalInputHooks(owner), 1);
    EXPECT_EQ(RemoveLocalInputHooks(), 1);
    for (int i = 0; i < 8; ++i)
        Press('X', 0);
    wintest::PumpFor(300);
    EXPECT_EQ(g_commands, 0);
    EXPECT_EQ(InstallLocalInputHooks(nullptr), 0);
    for (int i = 0; i < 8; ++i)
        Press('X', 0);
    wintest::PumpFor(300);
    EXPECT_EQ(g_commands, 0);
}
