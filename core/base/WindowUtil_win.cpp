#include "core/base/WindowUtil.h"

#include "core/base/AppWindows.h"
#include "core/base/WorkAreaPlacement.h"

void CenterWindow(HWND hwnd)
{
    RECT r;
    if (!GetWindowRect(hwnd, &r))
        return;
    int x = (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2;
    SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void CenterInWorkArea(HWND hwnd)
{
    RECT work, win;
    GetWorkArea(&work);
    if (!GetWindowRect(hwnd, &win))
        return;
    PlacementRect p = CenteredInWorkArea({work.left, work.top, work.right, work.bottom},
                                         win.right - win.left, win.bottom - win.top);
    SetWindowPos(hwnd, HWND_TOP, p.left, p.top, p.right - p.left, p.bottom - p.top, SWP_SHOWWINDOW);
    SetForegroundWindow(hwnd);
}

BOOL TrackPopupAtCursor(HMENU menu, HWND owner)
{
    POINT pt{};
    GetCursorPos(&pt);
    return TrackPopupMenu(menu, 0, pt.x, pt.y, 0, owner, nullptr);
}

void MakeOwnLayeredWindow(HWND hwnd)
{
    SetWindowLongPtrW(hwnd, GWL_EXSTYLE, GetWindowLongPtrW(hwnd, GWL_EXSTYLE) | WS_EX_LAYERED);
    SetLayeredWindowAttributes(hwnd, 0, 255, LWA_ALPHA);
    RegisterAppWindow(hwnd);
}

INT_PTR CALLBACK LayeredDialogProc(HWND hwnd, UINT msg, WPARAM, LPARAM)
{
    if (msg == WM_INITDIALOG)
        MakeOwnLayeredWindow(hwnd);
    return 0;
}

void GetWorkArea(RECT* rect)
{
    SystemParametersInfoA(SPI_GETWORKAREA, 0, rect, 0);
}

void ScreenRectToClient(HWND hwnd, RECT* rect)
{
    ScreenToClient(hwnd, reinterpret_cast<POINT*>(&rect->left));
    ScreenToClient(hwnd, reinterpret_cast<POINT*>(&rect->right));
}

bool SetDwmComposition(bool enable)
{
    HMODULE dwm = LoadLibraryW(L"dwmapi.dll");
    if (!dwm)
        return false;
    using EnableFn = HRESULT(WINAPI*)(UINT);
    auto call = reinterpret_cast<EnableFn>(reinterpret_cast<void*>(GetProcAddress(dwm, "DwmEnableComposition")));
    bool ok = call && SUCCEEDED(call(enable ? 1 : 0));
    FreeLibrary(dwm);
    return ok;
}
