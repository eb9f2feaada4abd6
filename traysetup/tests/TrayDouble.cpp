// Plays a running Corvisk for the setup utility's tests: its file name
// contains "Corvisk" and, unless started with "--no-window", it shows a
// hidden top-level window with the tray property. It ends by itself after a
// minute so a failed test leaves nothing behind.
#include <windows.h>

#include <cstring>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    if (!std::strstr(commandLine, "--no-window")) {
        HWND hwnd = CreateWindowExA(0, "STATIC", "PL Tray Windows", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                    instance, nullptr);
        if (!hwnd || !SetPropA(hwnd, "Secure Parlemo Tray", reinterpret_cast<HANDLE>(UINT_PTR(38183))))
            return 3;
    }
    SetTimer(nullptr, 0, 60000, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER)
            return 4;
        DispatchMessageA(&msg);
    }
    return 0;
}
