// Finding and ending a running Corvisk.
#pragma once

#include <windows.h>

// The window property by which Corvisk's tray window makes itself known.
constexpr const char* TRAY_PROPERTY_NAME = "Secure Parlemo Tray";
constexpr UINT_PTR TRAY_PROPERTY_VALUE = 38183;

// The first top-level window that carries the tray property, or null.
HWND FindTrayWindow();

// Ends the first other process whose executable name contains "Corvisk".
// Returns its process id, or 0 when none was found or it could not be ended.
DWORD KillRunningProgram();
