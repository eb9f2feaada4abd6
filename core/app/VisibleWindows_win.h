#pragma once
// The desktop's visible top-level windows, which the sharing host's capture
// walks when it works out what of the screen others may see.
#include <windows.h>

// EnumWindows callback; lParam is the CManager. A visible window without
// WS_EX_LAYERED goes to the front of the manager's visibleWindows, so that a
// walk from the top of the Z order leaves the list bottom first. Always TRUE.
BOOL CALLBACK CollectVisibleWindowProc(HWND hwnd, LPARAM manager);
