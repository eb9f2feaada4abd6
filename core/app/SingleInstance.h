#pragma once
// A running instance is recognised by its tray window's property
// "Secure Parlemo Tray" = 38183.
#include <windows.h>

constexpr char TRAY_PROPERTY_NAME[] = "Secure Parlemo Tray";
constexpr UINT_PTR TRAY_PROPERTY_VALUE = 38183;

// EnumWindows callback: stores the first window carrying the property at the
// HWND that lParam points to and stops.
BOOL CALLBACK FindTrayWindowProc(HWND hwnd, LPARAM lParam);

// True only when every one of `attempts` looks, `delayMs` apart, finds the
// tray window: an instance that is closing does not block a new start.
bool IsAnotherInstanceRunning(int attempts = 6, DWORD delayMs = 50);
