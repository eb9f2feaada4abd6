#pragma once
// The About box (dialog 153), shown modeless on message 60117.
#include <windows.h>

INT_PTR CALLBACK AboutDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
