#pragma once
// The program's popup menus use the system menu class re-registered with
// MenuSubclassProc, so each menu becomes layered and one of the own windows.
#include <windows.h>

LRESULT CALLBACK MenuSubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Saves the class's procedure and registers the class again with ours; a
// failure leaves the menus as they are.
void SubclassPopupMenus(HINSTANCE instance);
