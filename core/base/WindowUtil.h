#pragma once
// Window helpers shared by the program's windows.
#include <windows.h>

// Centres the window on the primary screen.
void CenterWindow(HWND hwnd);
// Places the window in the middle of the work area (shrunk to fit it), on top,
// shown, and brings it to the front.
void CenterInWorkArea(HWND hwnd);
// TrackPopupMenu at the cursor position (flags 0).
BOOL TrackPopupAtCursor(HMENU menu, HWND owner);
// WM_INITDIALOG: makes the dialog layered and opaque and registers it as an
// own window. Returns 0 for every message.
INT_PTR CALLBACK LayeredDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Makes a window layered, fully opaque, and one of the program's own windows.
void MakeOwnLayeredWindow(HWND hwnd);

// The desktop's work area.
void GetWorkArea(RECT* rect);
// A rectangle from screen to the window's client coordinates.
void ScreenRectToClient(HWND hwnd, RECT* rect);

// DwmEnableComposition(1 or 0) through dwmapi.dll loaded for the call; true
// when the library, the function and the call all succeed.
bool SetDwmComposition(bool enable);
