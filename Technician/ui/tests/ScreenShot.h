// Window pictures for the viewer's window tests: the client area of a window
// read back from the screen, and a PNG of it (GDI+) beside the test results.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace viewertest {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // 0x00RRGGBB, top-down
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x] & 0xFFFFFF; }
};

// The window's client area as the screen shows it.
Picture Capture(HWND hwnd);
// Writes the picture to viewer_screens/<name>.png under the working folder.
bool SavePng(const Picture& p, const std::string& name);
// Runs the thread's messages for ms, or until done() holds.
template <class Done>
bool PumpUntil(Done done, int ms)
{
    const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
    for (;;) {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
        if (done())
            return true;
        if (static_cast<int>(end - GetTickCount()) <= 0)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

} // namespace viewertest
