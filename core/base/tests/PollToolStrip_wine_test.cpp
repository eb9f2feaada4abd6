// The polling tool strip on a real seven-button toolbar: a withheld button
// takes no click (its tip gets the mouse as moves), an offered one clicks,
// and a point off every button reaches the toolbar itself.
#include "core/base/PollToolStrip_win.h"
#include "tests/support/WindowTest_win.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <vector>

namespace {

int g_states[kPollButtons] = {1, 1, 1, 1, 1, 1, 1};
int State(int command)
{
    return g_states[command - kPollFirstCommand];
}

std::vector<int> g_commands;
int g_reachedToolbar = 0;
WNDPROC g_realToolbar = nullptr;

LRESULT CALLBACK ParentProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_COMMAND)
        g_commands.push_back(LOWORD(wParam));
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// Below the poll procedure: counts the mouse presses that reach the toolbar.
LRESULT CALLBACK CountingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_LBUTTONDOWN)
        ++g_reachedToolbar;
    return CallWindowProcW(g_realToolbar, hwnd, msg, wParam, lParam);
}

class PollToolStripTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_BAR_CLASSES};
        InitCommonControlsEx(&icc);
        WNDCLASSW wc{};
        wc.lpfnWndProc = ParentProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"CorviskPollStripTest";
        RegisterClassW(&wc);
        parent = CreateWindowW(wc.lpszClassName, L"poll strip", WS_POPUP | WS_VISIBLE, 100, 100, 600, 80, nullptr,
                               nullptr, wc.hInstance, nullptr);
        toolbar = CreateWindowExW(0, TOOLBARCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | TBSTYLE_TOOLTIPS | TBSTYLE_LIST,
                                  0, 0, 600, 40, parent, nullptr, wc.hInstance, nullptr);
        SendMessageW(toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
        std::vector<TBBUTTON> items;
        for (int n = 0; n < kPollButtons; ++n) {
            if (n > 0)
                items.push_back(TBBUTTON{I_IMAGENONE, 0, TBSTATE_ENABLED, BTNS_SEP, {}, 0, 0});
            items.push_back(TBBUTTON{I_IMAGENONE, kPollFirstCommand + n, TBSTATE_ENABLED,
                                     BTNS_BUTTON | BTNS_AUTOSIZE | BTNS_SHOWTEXT, {}, 0,
                                     reinterpret_cast<INT_PTR>(L"Poll")});
        }
        SendMessageW(toolbar, TB_ADDBUTTONSW, items.size(), reinterpret_cast<LPARAM>(items.data()));
        SendMessageW(toolbar, TB_AUTOSIZE, 0, 0);
        g_realToolbar = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(toolbar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingProc)));
        ASSERT_TRUE(InstallPollToolbarSubclass(toolbar, State));
        wintest::Pump();
    }
    void TearDown() override { DestroyWindow(parent); }
    // A press and release with the cursor on the point (toolbar client).
    void ClickAt(POINT p)
    {
        POINT screen = p;
        ClientToScreen(toolbar, &screen);
        SetCursorPos(screen.x, screen.y);
        const LPARAM at = MAKELPARAM(p.x, p.y);
        SendMessageW(toolbar, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(toolbar, WM_LBUTTONUP, 0, at);
        wintest::Pump();
    }
    POINT ButtonCentre(int n)
    {
        RECT r{};
        SendMessageW(toolbar, TB_GETITEMRECT, 2 * n, reinterpret_cast<LPARAM>(&r));
        return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    HWND parent = nullptr, toolbar = nullptr;
};

TEST_F(PollToolStripTest, WithheldButtonsTakeNoClickOfferedOnesDo)
{
    struct Case {
        int button;
        int state;
        bool command;
    } cases[] = {{0, 1, true}, {3, 0, false}, {3, 1, true}, {6, 0, false}, {6, 1, true}};
    for (const Case& c : cases) {
        g_states[c.button] = c.state;
        g_commands.clear();
        g_reachedToolbar = 0;
        ClickAt(ButtonCentre(c.button));
        if (c.command) {
            EXPECT_EQ(g_commands, std::vector<int>{kPollFirstCommand + c.button}) << c.button;
            EXPECT_EQ(g_reachedToolbar, 1) << c.button;
        } else {
            EXPECT_TRUE(g_commands.empty()) << c.button;
            EXPECT_EQ(g_reachedToolbar, 0) << c.button << ": only the tip hears of it";
            HWND tip = reinterpret_cast<HWND>(SendMessageW(toolbar, TB_GETTOOLTIPS, 0, 0));
            ASSERT_NE(tip, nullptr);
            EXPECT_TRUE(GetWindowLongPtrW(tip, GWL_EXSTYLE) & WS_EX_LAYERED);
        }
        g_states[c.button] = 1;
    }
}

TEST_F(PollToolStripTest, APointOffEveryButtonReachesTheToolbar)
{
    for (int& s : g_states)
        s = 0;  // even with every button withheld
    RECT last{};
    SendMessageW(toolbar, TB_GETITEMRECT, 12, reinterpret_cast<LPARAM>(&last));
    g_reachedToolbar = 0;
    g_commands.clear();
    ClickAt(POINT{last.right + 20, (last.top + last.bottom) / 2});
    EXPECT_EQ(g_reachedToolbar, 1);
    EXPECT_TRUE(g_commands.empty());
    for (int& s : g_states)
        s = 1;
}

TEST(PollRebarTest, BackgroundIsNotErased)
{
    HWND rebar = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(InstallPollRebarSubclass(rebar));
    HDC dc = GetDC(rebar);
    EXPECT_EQ(SendMessageW(rebar, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 1);
    ReleaseDC(rebar, dc);
    EXPECT_EQ(SendMessageW(rebar, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"x")), TRUE) << "others pass on";
    DestroyWindow(rebar);
}

} // namespace
