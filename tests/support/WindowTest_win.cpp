#include "tests/support/WindowTest_win.h"

#include "core/base/GdiplusSession_win.h"

#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace wintest {

namespace {

struct FindTop {
    const wchar_t* className;
    const wchar_t* title;
    DWORD process;
    HWND found = nullptr;
};

BOOL CALLBACK FindTopProc(HWND hwnd, LPARAM lParam)
{
    auto* f = reinterpret_cast<FindTop*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != f->process || !IsWindowVisible(hwnd))
        return TRUE;
    wchar_t text[256] = L"";
    if (f->className) {
        GetClassNameW(hwnd, text, 256);
        if (lstrcmpiW(text, f->className) != 0)
            return TRUE;
    }
    if (f->title) {
        GetWindowTextW(hwnd, text, 256);
        if (lstrcmpW(text, f->title) != 0)
            return TRUE;
    }
    f->found = hwnd;
    return FALSE;
}

struct FindId {
    int id;
    HWND found = nullptr;
};

BOOL CALLBACK FindIdProc(HWND hwnd, LPARAM lParam)
{
    auto* f = reinterpret_cast<FindId*>(lParam);
    if (GetDlgCtrlID(hwnd) == f->id) {
        f->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

bool PngEncoder(CLSID& clsid)
{
    UINT count = 0, size = 0;
    if (Gdiplus::GetImageEncodersSize(&count, &size) != Gdiplus::Ok || size == 0)
        return false;
    std::vector<BYTE> buffer(size);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (Gdiplus::GetImageEncoders(count, size, codecs) != Gdiplus::Ok)
        return false;
    for (UINT i = 0; i < count; ++i) {
        if (lstrcmpW(codecs[i].MimeType, L"image/png") == 0) {
            clsid = codecs[i].Clsid;
            return true;
        }
    }
    return false;
}

// Owner of a screen copy: a memory DC with a bitmap of the rectangle.
class ScreenCopy {
public:
    explicit ScreenCopy(const RECT& r) : m_width(r.right - r.left), m_height(r.bottom - r.top)
    {
        HDC screen = GetDC(nullptr);
        m_dc = CreateCompatibleDC(screen);
        m_bitmap = CreateCompatibleBitmap(screen, m_width, m_height);
        m_old = SelectObject(m_dc, m_bitmap);
        BitBlt(m_dc, 0, 0, m_width, m_height, screen, r.left, r.top, SRCCOPY | CAPTUREBLT);
        ReleaseDC(nullptr, screen);
        SelectObject(m_dc, m_old);  // a bitmap handed to GDI+ must not be selected
    }
    ~ScreenCopy()
    {
        DeleteObject(m_bitmap);
        DeleteDC(m_dc);
    }
    ScreenCopy(const ScreenCopy&) = delete;
    ScreenCopy& operator=(const ScreenCopy&) = delete;
    HBITMAP bitmap() const { return m_bitmap; }

private:
    int m_width, m_height;
    HDC m_dc = nullptr;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_old = nullptr;
};

} // namespace

HWND FindTopLevel(const wchar_t* className, const wchar_t* title)
{
    return FindTopLevelOf(GetCurrentProcessId(), className, title);
}

HWND FindTopLevelOf(DWORD process, const wchar_t* className, const wchar_t* title)
{
    FindTop f{className, title, process};
    EnumWindows(FindTopProc, reinterpret_cast<LPARAM>(&f));
    return f.found;
}

HWND FindControl(HWND parent, int id)
{
    if (!parent)
        return nullptr;
    FindId f{id};
    EnumChildWindows(parent, FindIdProc, reinterpret_cast<LPARAM>(&f));
    return f.found;
}

HWND FindChildWithControl(HWND parent, int controlId)
{
    HWND control = FindControl(parent, controlId);
    return control ? GetParent(control) : nullptr;
}

std::wstring Text(HWND hwnd)
{
    if (!hwnd)
        return {};
    // Another thread's window can change or go between the two calls: the
    // copy is held to what was asked for and a failure reads as no text.
    const int length = std::max(GetWindowTextLengthW(hwnd), 0);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(hwnd, text.data(), length + 1);
    text.resize(static_cast<size_t>(std::clamp(copied, 0, length)));
    return text;
}

std::wstring ControlText(HWND parent, int id)
{
    return Text(FindControl(parent, id));
}

void SetControlText(HWND parent, int id, const std::wstring& text)
{
    SetWindowTextW(FindControl(parent, id), text.c_str());
}

void Click(HWND parent, int id)
{
    SendMessageW(FindControl(parent, id), BM_CLICK, 0, 0);
}

void PostKey(HWND hwnd, UINT vk)
{
    UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    PostMessageW(hwnd, WM_KEYDOWN, vk, 1 | (scan << 16));
    PostMessageW(hwnd, WM_KEYUP, vk, 1 | (scan << 16) | (1u << 30) | (1u << 31));
}

namespace {
std::function<void(const MSG&)> g_threadSink;
} // namespace

void SetThreadMessageSink(std::function<void(const MSG&)> sink)
{
    g_threadSink = std::move(sink);
}

void Pump()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (!msg.hwnd && g_threadSink) {
            g_threadSink(msg);
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        Pump();
        if (condition())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

void PumpFor(DWORD ms)
{
    WaitFor([] { return false; }, ms);
}

namespace {

std::wstring SavePng(HBITMAP bitmap, const std::wstring& test, const std::wstring& state)
{
    static GdiplusSession gdiplus;
    CLSID png;
    if (!gdiplus.ok() || !PngEncoder(png))
        return {};
    std::wstring dir = L"screenshots";
    CreateDirectoryW(dir.c_str(), nullptr);
    dir += L"\\" + test;
    CreateDirectoryW(dir.c_str(), nullptr);
    const std::wstring path = dir + L"\\" + state + L".png";
    auto image = std::make_unique<Gdiplus::Bitmap>(bitmap, nullptr);
    if (image->GetLastStatus() != Gdiplus::Ok || image->Save(path.c_str(), &png, nullptr) != Gdiplus::Ok)
        return {};
    return path;
}

} // namespace

std::wstring SaveScreenshot(HWND hwnd, const std::wstring& test, const std::wstring& state)
{
    Pump();
    if (hwnd)
        UpdateWindow(hwnd);
    RECT r{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (hwnd && !GetWindowRect(hwnd, &r))
        return {};
    if (r.right <= r.left || r.bottom <= r.top)
        return {};
    ScreenCopy copy(r);
    return SavePng(copy.bitmap(), test, state);
}

std::wstring SavePrintedWindow(HWND hwnd, const std::wstring& test, const std::wstring& state)
{
    Pump();
    RECT r;
    if (!GetWindowRect(hwnd, &r) || r.right <= r.left || r.bottom <= r.top)
        return {};
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, r.right - r.left, r.bottom - r.top);
    HDC mem = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(mem, bitmap);
    PrintWindow(hwnd, mem, 0);
    // Each visible child prints itself over its place (Wine's PrintWindow
    // leaves the children out).
    struct Into {
        HDC dc;
        POINT origin;
    } into{mem, {r.left, r.top}};
    EnumChildWindows(
        hwnd,
        [](HWND child, LPARAM lp) -> BOOL {
            auto* to = reinterpret_cast<Into*>(lp);
            RECT c;
            if (!IsWindowVisible(child) || !GetWindowRect(child, &c))
                return TRUE;
            // Printed at its own origin, then copied to its place: a child
            // may clip its drawing to its own rectangle in device units.
            const int cx = c.right - c.left, cy = c.bottom - c.top;
            HDC childDc = CreateCompatibleDC(to->dc);
            HBITMAP childBitmap = CreateCompatibleBitmap(to->dc, cx, cy);
            HGDIOBJ previous = SelectObject(childDc, childBitmap);
            SendMessageW(child, WM_PRINT, reinterpret_cast<WPARAM>(childDc), PRF_CLIENT | PRF_NONCLIENT | PRF_ERASEBKGND);
            BitBlt(to->dc, c.left - to->origin.x, c.top - to->origin.y, cx, cy, childDc, 0, 0, SRCCOPY);
            SelectObject(childDc, previous);
            DeleteObject(childBitmap);
            DeleteDC(childDc);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&into));
    SelectObject(mem, old);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    const std::wstring path = SavePng(bitmap, test, state);
    DeleteObject(bitmap);
    return path;
}

COLORREF ClientPixel(HWND hwnd, int x, int y)
{
    Pump();
    UpdateWindow(hwnd);
    POINT p{x, y};
    ClientToScreen(hwnd, &p);
    HDC screen = GetDC(nullptr);
    COLORREF c = GetPixel(screen, p.x, p.y);
    ReleaseDC(nullptr, screen);
    return c;
}

unsigned GdiObjectCount()
{
    if (DWORD n = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS))
        return n;
    // Wine answers GetGuiResources with 0: walk its handle table instead,
    // where a handle value without its generation bits names the live
    // object of that slot, if any.
    unsigned n = 0;
    for (ULONG_PTR slot = 1; slot < 0x10000; ++slot)
        n += GetObjectType(reinterpret_cast<HGDIOBJ>(slot)) != 0;
    return n;
}

} // namespace wintest
