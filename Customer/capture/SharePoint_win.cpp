#include "Customer/capture/SharePoint.h"

#include <windows.h>

#include <cwchar>

namespace {

// The shell's desktop (its icon view and the windows holding it) counts as
// the desktop, not as a window to share.
bool IsShellDesktop(HWND top)
{
    wchar_t name[32] = {};
    if (!GetClassNameW(top, name, 32))
        return false;
    return std::wcscmp(name, L"Progman") == 0 || std::wcscmp(name, L"WorkerW") == 0;
}

} // namespace

PointTarget ResolveSharePoint(int x, int y)
{
    PointTarget target;
    const POINT p{x, y};
    HWND hwnd = WindowFromPoint(p);
    if (!hwnd)
        return target;
    HWND top = GetAncestor(hwnd, GA_ROOT);
    if (!top)
        top = hwnd;
    if (top == GetDesktopWindow() || IsShellDesktop(top)) {
        target.kind = PointTarget::Kind::Desktop;
        MONITORINFO mi;
        mi.cbSize = sizeof mi;
        HMONITOR monitor = MonitorFromPoint(p, MONITOR_DEFAULTTONEAREST);
        target.primaryDisplay = !monitor || !GetMonitorInfoW(monitor, &mi) || (mi.dwFlags & MONITORINFOF_PRIMARY);
        return target;
    }
    target.kind = PointTarget::Kind::Window;
    target.topLevel = reinterpret_cast<uintptr_t>(top);
    return target;
}
