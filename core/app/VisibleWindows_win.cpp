#include "core/app/VisibleWindows_win.h"

#include "core/app/Manager.h"

BOOL CALLBACK CollectVisibleWindowProc(HWND hwnd, LPARAM manager)
{
    auto* self = reinterpret_cast<CManager*>(manager);
    if (!self || !IsWindowVisible(hwnd))
        return TRUE;
    if (GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED)
        return TRUE;
    self->visibleWindows.insert(self->visibleWindows.begin(), hwnd);
    return TRUE;
}
