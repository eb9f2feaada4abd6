#include "Customer/capture/MagnifierCapture.h"

#include "Customer/capture/CaptureFilter.h"
#include "Customer/capture/MagnifierFrame.h"
#include "core/base/AppWindows.h"

#include <magnification.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>

namespace MagnifierCapture {

int g_enabled = 0;
int g_captureStep = 20;

namespace {

// mingw ships the structures of the Magnification API but not its functions.
using MagScalingCallback = BOOL(CALLBACK*)(HWND, void*, MAGIMAGEHEADER, void*, MAGIMAGEHEADER, RECT, RECT, HRGN);
using MagInitializeFn = BOOL(WINAPI*)();
using MagUninitializeFn = BOOL(WINAPI*)();
using MagSetWindowSourceFn = BOOL(WINAPI*)(HWND, RECT);
using MagSetWindowFilterListFn = BOOL(WINAPI*)(HWND, DWORD, int, HWND*);
using MagSetWindowTransformFn = BOOL(WINAPI*)(HWND, PMAGTRANSFORM);
using MagSetImageScalingCallbackFn = BOOL(WINAPI*)(HWND, MagScalingCallback);

const wchar_t kMagnifierClass[] = L"Magnifier";
const UINT_PTR kTimerId = 1;

struct MagApi {
    HMODULE module = nullptr;
    MagInitializeFn initialize = nullptr;
    MagUninitializeFn uninitialize = nullptr;
    MagSetWindowSourceFn setSource = nullptr;
    MagSetWindowFilterListFn setFilterList = nullptr;
    MagSetWindowTransformFn setTransform = nullptr;
    MagSetImageScalingCallbackFn setCallback = nullptr;

    void Unload()
    {
        if (module)
            FreeLibrary(module);
        *this = MagApi();
    }

    // Loaded from the system folder only, from Init to Close.
    bool Load()
    {
        if (module)
            return true;
        wchar_t dir[MAX_PATH];
        const UINT n = GetSystemDirectoryW(dir, MAX_PATH);
        if (n == 0 || n >= MAX_PATH)
            return false;
        const std::wstring path = std::wstring(dir) + L"\\magnification.dll";
        HMODULE m = LoadLibraryW(path.c_str());
        if (!m)
            return false;
        initialize = reinterpret_cast<MagInitializeFn>(reinterpret_cast<void*>(GetProcAddress(m, "MagInitialize")));
        uninitialize = reinterpret_cast<MagUninitializeFn>(reinterpret_cast<void*>(GetProcAddress(m, "MagUninitialize")));
        setSource = reinterpret_cast<MagSetWindowSourceFn>(reinterpret_cast<void*>(GetProcAddress(m, "MagSetWindowSource")));
        setFilterList = reinterpret_cast<MagSetWindowFilterListFn>(reinterpret_cast<void*>(GetProcAddress(m, "MagSetWindowFilterList")));
        setTransform = reinterpret_cast<MagSetWindowTransformFn>(reinterpret_cast<void*>(GetProcAddress(m, "MagSetWindowTransform")));
        setCallback =
            reinterpret_cast<MagSetImageScalingCallbackFn>(reinterpret_cast<void*>(GetProcAddress(m, "MagSetImageScalingCallback")));
        if (!initialize || !uninitialize || !setSource || !setFilterList || !setTransform || !setCallback) {
            FreeLibrary(m);
            return false;
        }
        module = m;
        return true;
    }
};

// The frame the magnifier delivered last, under its lock. The capture runs
// only while running is set; Close clears it under the lock before freeing,
// so a grab on the desktop thread never sees freed state.
struct Frame {
    std::mutex lock;
    bool running = false;
    HDC screenDC = nullptr;
    HDC frameDC = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ oldBitmap = nullptr;
    uint8_t* bits = nullptr;
    int width = 0, height = 0;
    size_t stride = 0;

    void FreeBitmapLocked()
    {
        if (bitmap) {
            SelectObject(frameDC, oldBitmap);
            DeleteObject(bitmap);
        }
        bitmap = nullptr;
        oldBitmap = nullptr;
        bits = nullptr;
        width = height = 0;
        stride = 0;
    }
    // A 32-bit bottom-up DIB of the frame's size, made anew when the size changes.
    bool EnsureBitmapLocked(int w, int h)
    {
        if (bitmap && w == width && h == height)
            return true;
        FreeBitmapLocked();
        BITMAPINFO bi;
        std::memset(&bi, 0, sizeof bi);
        bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        void* p = nullptr;
        HBITMAP b = CreateDIBSection(screenDC, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
        if (!b || !p) {
            if (b)
                DeleteObject(b);
            return false;
        }
        bitmap = b;
        oldBitmap = SelectObject(frameDC, b);
        bits = static_cast<uint8_t*>(p);
        width = w;
        height = h;
        stride = static_cast<size_t>(w) * 4;
        return true;
    }
};

Frame g_frame;
std::atomic<bool> g_running{false};
std::atomic<unsigned> g_copyCalls{0};

// Owned by the thread that ran Init.
MagApi g_api;
HWND g_host = nullptr;
HWND g_magnifier = nullptr;

std::mutex g_filterLock;
magnifier::ExclusionList g_exclusions;

void AddExclusion(HWND hwnd)
{
    std::lock_guard<std::mutex> hold(g_filterLock);
    g_exclusions.Add(reinterpret_cast<uintptr_t>(hwnd));
}

BOOL CALLBACK ScalingCallback(HWND, void* srcData, MAGIMAGEHEADER src, void*, MAGIMAGEHEADER, RECT, RECT, HRGN)
{
    std::lock_guard<std::mutex> hold(g_frame.lock);
    if (!g_frame.running || !srcData || src.width == 0 || src.height == 0 || src.width > 0x7FFF ||
        src.height > 0x7FFF)
        return FALSE;
    // The header's stride and size are the magnifier's word: rows are read
    // only as far as both say the block reaches.
    const size_t srcStride = src.stride;
    const int rows = static_cast<int>(std::min<size_t>(src.height, srcStride ? src.cbSize / srcStride : 0));
    if (rows <= 0 || !g_frame.EnsureBitmapLocked(static_cast<int>(src.width), static_cast<int>(src.height)))
        return FALSE;
    magnifier::CopyRowsBottomUp(g_frame.bits, g_frame.stride, g_frame.height,
                                static_cast<const uint8_t*>(srcData), srcStride, rows);
    return FALSE;
}

INT_PTR CALLBACK HostDialogProc(HWND hwnd, UINT msg, WPARAM, LPARAM)
{
    if (msg != WM_INITDIALOG)
        return FALSE;
    SetWindowLongPtrW(hwnd, GWL_EXSTYLE, GetWindowLongPtrW(hwnd, GWL_EXSTYLE) | WS_EX_LAYERED);
    SetLayeredWindowAttributes(hwnd, 0, 255, LWA_ALPHA);
    RegisterAppWindow(hwnd);
    AddExclusion(hwnd);
    SetWindowPos(hwnd, nullptr, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    return TRUE;
}

void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD)
{
    if (!g_magnifier)
        return;
    {
        std::lock_guard<std::mutex> hold(g_filterLock);
        const unsigned step = g_captureStep > 0 ? static_cast<unsigned>(g_captureStep) : 20u;
        if (g_exclusions.Tick(step, [](uintptr_t w) { return IsWindow(reinterpret_cast<HWND>(w)) != FALSE; })) {
            std::vector<HWND> list;
            for (uintptr_t w : g_exclusions.Array())
                list.push_back(reinterpret_cast<HWND>(w));
            g_api.setFilterList(g_magnifier, MW_FILTERMODE_EXCLUDE, static_cast<int>(list.size()),
                                list.empty() ? nullptr : list.data());
        }
    }
    RECT source{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    g_api.setSource(g_magnifier, source);
}

bool CreateHostWindow()
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    g_host = CreateDialogParamW(instance, MAKEINTRESOURCEW(kHostDialogId), nullptr, HostDialogProc, 0);
    if (!g_host)
        return false;
    RECT rc;
    GetClientRect(g_host, &rc);
    g_magnifier = CreateWindowExW(0, kMagnifierClass, L"MagnifierWindow", WS_CHILD, 0, 0, rc.right, rc.bottom,
                                  g_host, nullptr, instance, nullptr);
    MAGTRANSFORM identity;
    std::memset(&identity, 0, sizeof identity);
    identity.v[0][0] = identity.v[1][1] = identity.v[2][2] = 1.0f;
    if (!g_magnifier || !g_api.setTransform(g_magnifier, &identity) || !g_api.setCallback(g_magnifier, ScalingCallback)) {
        DestroyWindow(g_host);
        g_host = nullptr;
        g_magnifier = nullptr;
        return false;
    }
    return true;
}

} // namespace

void Init()
{
    if (!g_enabled || g_running.load())
        return;
    if (!g_api.Load())
        return;
    if (!g_api.initialize()) {
        g_api.Unload();
        return;
    }
    if (!CreateHostWindow()) {
        g_api.uninitialize();
        g_api.Unload();
        return;
    }
    {
        std::lock_guard<std::mutex> hold(g_frame.lock);
        g_frame.screenDC = GetDC(nullptr);
        g_frame.frameDC = CreateCompatibleDC(g_frame.screenDC);
        g_frame.running = g_frame.screenDC && g_frame.frameDC;
    }
    if (!g_frame.running) {
        Close();
        return;
    }
    SetTimer(g_host, kTimerId, static_cast<UINT>(g_captureStep > 0 ? g_captureStep : 20), OnTimer);
    g_running.store(true);
}

void Close()
{
    if (g_host) {
        KillTimer(g_host, kTimerId);
        DestroyWindow(g_host);
        g_host = nullptr;
        g_magnifier = nullptr;
        g_api.uninitialize();
        g_api.Unload();
    }
    {
        std::lock_guard<std::mutex> hold(g_frame.lock);
        g_frame.running = false;
        g_running.store(false);
        g_frame.FreeBitmapLocked();
        if (g_frame.frameDC)
            DeleteDC(g_frame.frameDC);
        if (g_frame.screenDC)
            ReleaseDC(nullptr, g_frame.screenDC);
        g_frame.frameDC = nullptr;
        g_frame.screenDC = nullptr;
    }
    std::lock_guard<std::mutex> hold(g_filterLock);
    g_exclusions.Clear();
}

bool Running()
{
    return g_running.load();
}

int CopyTo(HDC dest, int x, int y, int width, int height, int srcX, int srcY)
{
    g_copyCalls.fetch_add(1);
    std::lock_guard<std::mutex> hold(g_frame.lock);
    if (!g_frame.running || !g_frame.bitmap)
        return 0;
    return BitBlt(dest, x, y, width, height, g_frame.frameDC, srcX, srcY, SRCCOPY);
}

bool CopyToBits(const rfb::Rect& r, uint8_t* dest, size_t stride, const rfb::Point& destOrigin)
{
    g_copyCalls.fetch_add(1);
    std::lock_guard<std::mutex> hold(g_frame.lock);
    if (!g_frame.running || !g_frame.bits || !dest || r.is_empty() ||
        !r.enclosed_by(rfb::Rect(0, 0, g_frame.width, g_frame.height)))
        return false;
    const size_t rowBytes = static_cast<size_t>(r.width()) * 4;
    for (int y = r.top; y < r.bottom; ++y) {
        // Bottom-up: screen row y is the bitmap's memory row height - 1 - y.
        const uint8_t* from = g_frame.bits + static_cast<size_t>(g_frame.height - 1 - y) * g_frame.stride +
                              static_cast<size_t>(r.left) * 4;
        uint8_t* to = dest + static_cast<size_t>(y - r.top + destOrigin.y) * stride +
                      static_cast<size_t>(destOrigin.x) * 4;
        std::memcpy(to, from, rowBytes);
    }
    return true;
}

unsigned CopyCalls()
{
    return g_copyCalls.load();
}

} // namespace MagnifierCapture

void RefreshCaptureFilter(HWND hwnd)
{
    if (!MagnifierCapture::g_enabled || !hwnd || !IsWindow(hwnd))
        return;
    MagnifierCapture::AddExclusion(hwnd);
}
