#pragma once
// The program's own windows (top-level windows, dialogs, popup menus), which
// the sharing host's capture leaves out of the shared picture.
#include <windows.h>

#include <vector>

// 1 when the sensor probe found an accelerometer (Startup).
extern int g_comProbeOk;

// Adds hwnd once when it is a live window. The list is kept on every system:
// the shared picture leaves these windows out wherever it is taken.
// Entries whose window is gone or belongs to another process (handles are
// reused) are dropped on the way. The listener, when set, hears of every live
// window registered (outside the list's lock).
void RegisterAppWindow(HWND hwnd);
// The sharing host's capture keeps its exclusion list in step through this.
using AppWindowListener = void (*)(HWND);
void SetAppWindowListener(AppWindowListener listener);

// A copy of the list as it stands, after the same pruning.
std::vector<HWND> AppWindowList();

// The hidden-window list: windows the shared picture always covers (the
// control bar puts itself there), whatever the capture. Adding a listed
// window or removing an unlisted one changes nothing.
void SetHiddenFromShare(HWND hwnd, bool hidden);
std::vector<HWND> HiddenWindowList();
