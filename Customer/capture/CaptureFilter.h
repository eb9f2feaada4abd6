#pragma once
// Keeps the program's own windows out of the shared picture.
#include <windows.h>

// Adds a live window once to the magnifier capture's exclusion list, which
// the capture hands to the magnifier while it runs; nothing while the
// capture is disabled. Called right after RegisterAppWindow.
void RefreshCaptureFilter(HWND hwnd);
