#pragma once
// The platform id GetVersionExA reports (2 NT family, 1 Windows 9x), kept once
// before WinMain for the host's threads.
#include <windows.h>

extern DWORD g_platformId;

void InitOsVersionGlobals();
