#pragma once
// The program's own windows (top-level windows, dialogs, popup menus), which
// the sharing host's capture leaves out of the shared picture.
#include <windows.h>

#include <vector>

// 1 when the sensor probe found an accelerometer; gates the list (Startup).
extern int g_comProbeOk;

// Adds hwnd once, only while g_comProbeOk is set and hwnd is a live window.
// Entries whose window is gone or belongs to another process (handles are
// reused) are dropped on the way. The listener, when set, hears of every live
// window registered (outside the list's lock).
void RegisterAppWindow(HWND hwnd);
// The sharing host's capture keeps its exclusion list in step through this.
using AppWindowListener = void (*)(HWND);
void SetAppWindowListener(AppWindowListener listener);

// A copy of the list as it stands, after the same pruning.
std::vector<HWND> AppWindowList();
