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
// A bitmap's pixels.
Picture Read(HBITMAP bmp);
// Writes the picture to viewer_screens/<name>.png under the working folder.
bool SavePng(const Picture& p, const std::string& name);
// Runs the thread's messages for ms, or until done() holds; done() is asked
// every 50 ms at most, so the check never crowds out the threads it waits for.
template <class Done>
bool PumpUntil(Done done, int ms)
{
    const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
    DWORD nextCheck = GetTickCount();
    for (;;) {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
        if (static_cast<int>(GetTickCount() - nextCheck) >= 0) {
            if (done())
                return true;
            nextCheck = GetTickCount() + 50;
        }
        if (static_cast<int>(end - GetTickCount()) <= 0)
            return done();
        Sleep(5);
    }
}

} // namespace viewertest
