// The magnifier capture against the test double of the Magnification API,
// put in this prefix's system folder for the test's run and removed after:
// the host dialog and its control, the exclusion list handed over, frames
// taken upright (also a larger one with a wider stride), and Close while
// another thread grabs.
#include "Customer/capture/CaptureFilter.h"
#include "Customer/capture/GdiScreen.h"
#include "Customer/capture/OwnWindowMask.h"
#include "Customer/capture/MagnifierCapture.h"
#include "core/base/AppWindows.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

std::wstring SystemDll()
{
    wchar_t dir[MAX_PATH];
    GetSystemDirectoryW(dir, MAX_PATH);
    return std::wstring(dir) + L"\\magnification.dll";
}

std::wstring BuiltDouble()
{
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring path(exe);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"magnification.dll";
}

void Pump(int ms)
{
    const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
    while (static_cast<int>(end - GetTickCount()) > 0) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(5);
    }
}

template <class F>
F Fn(HMODULE m, const char* name)
{
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name)));
}

int CountHosts()
{
    int n = 0;
    for (HWND w = FindWindowExW(nullptr, nullptr, L"Magnifier", nullptr); w; w = FindWindowExW(nullptr, w, L"Magnifier", nullptr))
        ++n;
    // The control is a child: count it under each top-level window of ours.
    EnumWindows(
        [](HWND top, LPARAM p) -> BOOL {
            if (FindWindowExW(top, nullptr, L"Magnifier", L"MagnifierWindow"))
                ++*reinterpret_cast<int*>(p);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&n));
    return n;
}

TEST(MagnifierDouble, CaptureRunsThroughTheApi)
{
    ASSERT_TRUE(CopyFileW(BuiltDouble().c_str(), SystemDll().c_str(), FALSE)) << GetLastError();
    HMODULE api = LoadLibraryW(SystemDll().c_str());
    ASSERT_TRUE(api);
    auto pixel = Fn<uint32_t (*)(int, int)>(api, "DoublePixel");
    auto setFrame = Fn<void (*)(int, int, int)>(api, "DoubleSetFrame");
    auto filterCount = Fn<int (*)()>(api, "DoubleFilterCount");
    auto filterAt = Fn<HWND (*)(int)>(api, "DoubleFilterAt");
    auto transform = Fn<float (*)()>(api, "DoubleTransform");
    ASSERT_TRUE(pixel && setFrame && filterCount && filterAt && transform);

    MagnifierCapture::g_enabled = 1;
    setFrame(64, 48, 64 * 4);
    std::vector<uint32_t> out(64 * 48, 0);
    EXPECT_FALSE(MagnifierCapture::CopyToBits(rfb::Rect(0, 0, 64, 48), reinterpret_cast<uint8_t*>(out.data()), 256,
                                              rfb::Point()))
        << "nothing before Init";
    MagnifierCapture::Init();
    ASSERT_TRUE(MagnifierCapture::Running());

    // Running but no frame yet: the grab reads the screen, never garbage.
    auto grab = ComposeOwnWindows(CreateGdiScreen());
    ASSERT_TRUE(grab);
    const ScreenInfo info = grab->Info();
    const size_t stride = DibStride(info.width, 32);
    const unsigned asked = MagnifierCapture::CopyCalls();
    std::memset(grab->Bits(), 0x5A, stride * 10);
    ASSERT_TRUE(grab->CaptureRect(rfb::Rect(0, 0, info.width, 10), grab->Bits(), stride));
    EXPECT_EQ(MagnifierCapture::CopyCalls(), asked + 1) << "asked once while running";
    EXPECT_NE(grab->Bits()[0], 0x5A) << "filled from the screen";

    MagnifierCapture::Init();  // a second start changes nothing
    EXPECT_EQ(CountHosts(), 1);
    EXPECT_FLOAT_EQ(transform(), 3.0f) << "identity";

    HWND host = GetParent(FindWindowExW(nullptr, nullptr, L"Magnifier", nullptr));
    if (!host) {
        EnumWindows(
            [](HWND top, LPARAM p) -> BOOL {
                if (FindWindowExW(top, nullptr, L"Magnifier", L"MagnifierWindow"))
                    *reinterpret_cast<HWND*>(p) = top;
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&host));
    }
    ASSERT_TRUE(host);
    EXPECT_TRUE(GetWindowLongPtrW(host, GWL_EXSTYLE) & WS_EX_LAYERED);
    RECT hr;
    GetWindowRect(host, &hr);
    EXPECT_EQ(hr.right - hr.left, GetSystemMetrics(SM_CXSCREEN));
    auto own = AppWindowList();
    EXPECT_NE(std::find(own.begin(), own.end(), host), own.end()) << "the host is one of the program's windows";

    Pump(200);
    ASSERT_TRUE(MagnifierCapture::CopyToBits(rfb::Rect(0, 0, 64, 48), reinterpret_cast<uint8_t*>(out.data()), 256,
                                             rfb::Point()));
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(out[y * 64 + x] & 0xFFFFFF, pixel(x, y) & 0xFFFFFF) << x << "," << y << ": upright";
    EXPECT_EQ(filterCount(), 1);
    EXPECT_EQ(filterAt(0), host);

    // 51 windows more: the list grows, each once, handed over on the next tick.
    std::vector<HWND> windows;
    for (int i = 0; i < 51; ++i) {
        windows.push_back(CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr));
        RefreshCaptureFilter(windows.back());
        RefreshCaptureFilter(windows.back());
    }
    Pump(100);
    EXPECT_EQ(filterCount(), 52);
    DestroyWindow(windows[10]);
    Pump(1300);
    EXPECT_EQ(filterCount(), 51) << "a destroyed window leaves within the next sweep";

    // A larger frame with rows wider than its pixels: taken whole and upright.
    setFrame(200, 100, 200 * 4 + 64);
    Pump(100);
    std::vector<uint32_t> big(200 * 100, 0);
    ASSERT_TRUE(MagnifierCapture::CopyToBits(rfb::Rect(0, 0, 200, 100), reinterpret_cast<uint8_t*>(big.data()), 800,
                                             rfb::Point()));
    EXPECT_EQ(big[0] & 0xFFFFFF, pixel(0, 0) & 0xFFFFFF);
    EXPECT_EQ(big[99 * 200 + 199] & 0xFFFFFF, pixel(199, 99) & 0xFFFFFF);
    EXPECT_EQ(big[50 * 200 + 120] & 0xFFFFFF, pixel(120, 50) & 0xFFFFFF);

    // A frame of the whole screen: the desktop's grab takes it upright.
    setFrame(info.width, info.height, info.width * 4);
    Pump(100);
    ASSERT_TRUE(grab->CaptureRect(rfb::Rect(0, 0, info.width, info.height), grab->Bits(), stride));
    for (const POINT p : {POINT{0, 0}, POINT{17, 3}, POINT{info.width - 1, info.height - 1}, POINT{300, 200}}) {
        uint32_t v;
        std::memcpy(&v, grab->Bits() + static_cast<size_t>(p.y) * stride + static_cast<size_t>(p.x) * 4, 4);
        EXPECT_EQ(v & 0xFFFFFF, pixel(p.x, p.y) & 0xFFFFFF) << p.x << "," << p.y;
    }

    // Close while another thread grabs: the grabs see a stopped capture.
    std::atomic<bool> stop{false};
    std::atomic<int> grabs{0};
    std::thread grabber([&] {
        std::vector<uint32_t> buf(200 * 100);
        while (!stop.load()) {
            MagnifierCapture::CopyToBits(rfb::Rect(0, 0, 200, 100), reinterpret_cast<uint8_t*>(buf.data()), 800,
                                         rfb::Point());
            ++grabs;
        }
    });
    Pump(50);
    MagnifierCapture::Close();
    Pump(50);
    stop.store(true);
    grabber.join();
    EXPECT_GT(grabs.load(), 0);
    EXPECT_FALSE(MagnifierCapture::Running());
    EXPECT_FALSE(MagnifierCapture::CopyToBits(rfb::Rect(0, 0, 10, 10), reinterpret_cast<uint8_t*>(big.data()), 800,
                                              rfb::Point()));
    EXPECT_EQ(CountHosts(), 0);

    // Started again after Close: one capture once more.
    MagnifierCapture::Init();
    EXPECT_TRUE(MagnifierCapture::Running());
    EXPECT_EQ(CountHosts(), 1);
    MagnifierCapture::Close();
    for (HWND w : windows)
        DestroyWindow(w);
    MagnifierCapture::g_enabled = 0;
    FreeLibrary(api);
    // The other tests of this prefix run where the library is missing.
    EXPECT_TRUE(DeleteFileW(SystemDll().c_str())) << GetLastError();
}

} // namespace
