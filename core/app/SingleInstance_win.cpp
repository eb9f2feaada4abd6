#include "core/app/SingleInstance.h"

BOOL CALLBACK FindTrayWindowProc(HWND hwnd, LPARAM lParam)
{
    if (reinterpret_cast<UINT_PTR>(GetPropA(hwnd, TRAY_PROPERTY_NAME)) == TRAY_PROPERTY_VALUE) {
        *reinterpret_cast<HWND*>(lParam) = hwnd;
        return FALSE;
    }
    return TRUE;
}

bool IsAnotherInstanceRunning(int attempts, DWORD delayMs)
{
    for (int i = 0; i < attempts; ++i) {
        HWND found = nullptr;
        EnumWindows(FindTrayWindowProc, reinterpret_cast<LPARAM>(&found));
        if (found == nullptr)
            return false;
        Sleep(delayMs);
    }
    return true;
}
