#pragma once
// Keeps the program's own windows out of the shared picture.
#include <windows.h>

// When the magnifier capture runs and hwnd is a live window, copies the list
// of the program's own windows into the capture's exclusion list; otherwise
// does nothing. Called right after RegisterAppWindow.
void RefreshCaptureFilter(HWND hwnd);
