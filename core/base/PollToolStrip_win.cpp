#include "core/base/PollToolStrip_win.h"

#include "core/base/AppWindows.h"

#include <commctrl.h>

#include <atomic>

namespace {

std::atomic<WNDPROC> g_toolbarPrevious{nullptr};
std::atomic<WNDPROC> g_rebarPrevious{nullptr};
std::atomic<PollButtonState> g_state{nullptr};

// The tooltip shows the withheld button's tip: it gets the message as a move.
void RelayToTip(HWND toolbar, WPARAM wParam, LPARAM lParam, POINT screen)
{
    HWND tip = reinterpret_cast<HWND>(SendMessageW(toolbar, TB_GETTOOLTIPS, 0, 0));
    if (!tip)
        return;
    SetWindowLongPtrW(tip, GWL_EXSTYLE, GetWindowLongPtrW(tip, GWL_EXSTYLE) | WS_EX_LAYERED);
    SetLayeredWindowAttributes(tip, 0, 255, LWA_ALPHA);
    RegisterAppWindow(tip);
    MSG relay{toolbar, WM_MOUSEMOVE, wParam, lParam, GetTickCount(), screen};
    SendMessageW(tip, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relay));
}

} // namespace

bool InstallPollToolbarSubclass(HWND toolbar, PollButtonState state)
{
    if (!toolbar)
        return false;
    g_state = state;
    g_toolbarPrevious = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(toolbar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PollToolbarSubclassProc)));
    return true;
}

bool InstallPollRebarSubclass(HWND rebar)
{
    if (!rebar)
        return false;
    g_rebarPrevious = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(rebar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PollRebarSubclassProc)));
    return true;
}

LRESULT CALLBACK PollToolbarSubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    const WNDPROC previous = g_toolbarPrevious;
    if (!previous)
        return 0;
    const PollButtonState state = g_state;
    if (msg >= WM_MOUSEMOVE && msg <= WM_RBUTTONDBLCLK && state) {
        POINT screen{};
        GetCursorPos(&screen);
        POINT client = screen;
        ScreenToClient(hwnd, &client);
        const LRESULT item = SendMessageW(hwnd, TB_HITTEST, 0, reinterpret_cast<LPARAM>(&client));
        // Negative: no button there (a miss must not count as button 0).
        if (item >= 0 && item / 2 < kPollButtons && state(kPollFirstCommand + static_cast<int>(item / 2)) % 2 == 0) {
            RelayToTip(hwnd, wParam, lParam, screen);
            return 1;
        }
    }
    return CallWindowProcA(previous, hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK PollRebarSubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    const WNDPROC previous = g_rebarPrevious;
    if (msg == WM_ERASEBKGND)
        return 1;
    return previous ? CallWindowProcA(previous, hwnd, msg, wParam, lParam) : 0;
}
