#include "Customer/input/LocalInputHooks.h"

#include "Customer/input/KeyInjection.h"
#include "Customer/input/LocalInputWatch.h"

namespace {

constexpr UINT kWatchTickMs = 250;

// The one watch; touched only on the thread that installed it.
struct Watch {
    HWND owner = nullptr;
    HHOOK keyboard = nullptr;
    HHOOK mouse = nullptr;
    bool timer = false;
    LocalInputWatch counts;
};
Watch g_watch;

void PostTakeBack()
{
    PostMessageW(g_watch.owner, WM_COMMAND, kTakeBackControlCommand, 0);
}

LRESULT CALLBACK LocalKeyboardHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION) {
        const auto* e = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        const bool down = wParam == WM_KEYDOWN || wParam == WM_SYSKEYDOWN;
        const bool ours = e->dwExtraInfo == kInjectedExtraInfo;
        if (g_watch.counts.OnKey(static_cast<uint8_t>(e->vkCode), down, ours))
            PostTakeBack();
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK LocalMouseHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION) {
        const auto* e = reinterpret_cast<const MSLLHOOKSTRUCT*>(lParam);
        const bool counted = wParam == WM_MOUSEMOVE || wParam == WM_NCMOUSEMOVE || wParam == WM_LBUTTONDOWN ||
                             wParam == WM_RBUTTONDOWN || wParam == WM_MBUTTONDOWN || wParam == WM_MOUSEWHEEL;
        const bool ours = e->dwExtraInfo == kInjectedExtraInfo;
        if (g_watch.counts.OnMouse(counted ? LocalInputWatch::Mouse::Counted : LocalInputWatch::Mouse::Other,
                                   ours))
            PostTakeBack();
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void CALLBACK LocalInputWatchTimerProc(HWND, UINT, UINT_PTR, DWORD)
{
    g_watch.counts.OnTick();
}

HINSTANCE OwnerInstance()
{
    auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(g_watch.owner, GWLP_HINSTANCE));
    return instance ? instance : GetModuleHandleW(nullptr);
}

} // namespace

int InstallLocalMouseHook()
{
    if (!g_watch.mouse)
        g_watch.mouse = SetWindowsHookExW(WH_MOUSE_LL, LocalMouseHookProc, OwnerInstance(), 0);
    return g_watch.mouse ? 1 : 0;
}

int InstallLocalInputHooks(HWND owner)
{
    // A watch already running is removed first, or its hooks and timer
    // would stay live with nothing left to remove them.
    RemoveLocalInputHooks();
    if (!owner)
        return 0;
    g_watch.owner = owner;
    g_watch.keyboard = SetWindowsHookExW(WH_KEYBOARD_LL, LocalKeyboardHookProc, OwnerInstance(), 0);
    InstallLocalMouseHook();
    g_watch.timer = SetTimer(owner, kInputWatchTimerId, kWatchTickMs, LocalInputWatchTimerProc) != 0;
    return 1;
}

int RemoveLocalInputHooks()
{
    if (g_watch.keyboard)
        UnhookWindowsHookEx(g_watch.keyboard);
    if (g_watch.mouse)
        UnhookWindowsHookEx(g_watch.mouse);
    if (g_watch.timer && IsWindow(g_watch.owner))
        KillTimer(g_watch.owner, kInputWatchTimerId);
    g_watch = Watch();
    return 1;
}
