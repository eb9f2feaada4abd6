#include "Technician/ui/tests/ScreenShot.h"

#include "core/base/TopDownBitmap_win.h"

#include <objidl.h>
#include <gdiplus.h>

#include <cstring>

namespace viewertest {
Picture Read(HBITMAP bmp)
{
    Picture p;
    BITMAP info = {};
    if (!GetObjectW(bmp, sizeof info, &info))
        return p;
    p.width = info.bmWidth;
    p.height = info.bmHeight;
    p.pixels.assign(static_cast<size_t>(p.width) * p.height, 0);
    BITMAPINFO bi = TopDownBitmapInfo(p.width, p.height);
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, bmp, 0, static_cast<UINT>(p.height), p.pixels.data(), &bi, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return p;
}

Picture Capture(HWND hwnd)
{
    Picture p;
    RECT rc;
    GetClientRect(hwnd, &rc);
    p.width = rc.right;
    p.height = rc.bottom;
    p.pixels.assign(static_cast<size_t>(p.width) * p.height, 0);
    HDC windowDc = GetDC(hwnd);
    HDC memDc = CreateCompatibleDC(windowDc);
    const BITMAPINFO bi = TopDownBitmapInfo(p.width, p.height);
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(windowDc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dib && bits) {
        HGDIOBJ old = SelectObject(memDc, dib);
        BitBlt(memDc, 0, 0, p.width, p.height, windowDc, 0, 0, SRCCOPY);
        GdiFlush();
        std::memcpy(p.pixels.data(), bits, p.pixels.size() * 4);
        SelectObject(memDc, old);
    }
    if (dib)
        DeleteObject(dib);
    DeleteDC(memDc);
    ReleaseDC(hwnd, windowDc);
    return p;
}

bool SavePng(const Picture& p, const std::string& name)
{
    CreateDirectoryW(L"viewer_screens", nullptr);
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok)
        return false;
    bool ok = false;
    {
        std::vector<uint32_t> opaque(p.pixels);
        for (uint32_t& v : opaque)
            v |= 0xFF000000u;
        Gdiplus::Bitmap bmp(p.width, p.height, p.width * 4, PixelFormat32bppARGB,
                            reinterpret_cast<BYTE*>(opaque.data()));
        // The PNG encoder's class id.
        const CLSID png = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
        std::wstring path = L"viewer_screens\\" + std::wstring(name.begin(), name.end()) + L".png";
        ok = bmp.Save(path.c_str(), &png, nullptr) == Gdiplus::Ok;
    }
    Gdiplus::GdiplusShutdown(token);
    return ok;
}

} // namespace viewertest
