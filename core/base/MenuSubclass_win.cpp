#include "core/base/MenuSubclass.h"

#include "core/base/AppWindows.h"

namespace {

WNDPROC g_menuProc = nullptr;

} // namespace

LRESULT CALLBACK MenuSubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_CREATE) {
        RegisterAppWindow(hwnd);
    } else if (msg == WM_ERASEBKGND) {
        SetWindowLongPtrW(hwnd, GWL_EXSTYLE, GetWindowLongPtrW(hwnd, GWL_EXSTYLE) | WS_EX_LAYERED);
        SetLayeredWindowAttributes(hwnd, 0, 255, LWA_ALPHA);
    }
    return CallWindowProcA(g_menuProc, hwnd, msg, wParam, lParam);
}

void SubclassPopupMenus(HINSTANCE instance)
{
    WNDCLASSA cls{};
    if (g_menuProc != nullptr || !GetClassInfoA(nullptr, "#32768", &cls))
        return;
    g_menuProc = cls.lpfnWndProc;
    cls.lpfnWndProc = MenuSubclassProc;
    cls.hInstance = instance;
    RegisterClassA(&cls);
}
