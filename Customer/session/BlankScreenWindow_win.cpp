#include "Customer/session/BlankScreenWindow_win.h"

#include "Customer/encode/HostLog.h"
#include "core/base/GdiObject_win.h"
#include "core/base/WinHandle.h"

#include <windows.h>

#include <mutex>
#include <thread>

namespace {

constexpr wchar_t kBlankClass[] = L"blackscreen";
constexpr UINT_PTR kRetopTimer = 100;
constexpr UINT kRetopMs = 2000;

using SetLayeredFn = BOOL(WINAPI*)(HWND, COLORREF, BYTE, DWORD);

SetLayeredFn LayeredFunction()
{
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<SetLayeredFn>(
                        reinterpret_cast<void*>(GetProcAddress(user32, "SetLayeredWindowAttributes")))
                  : nullptr;
}

// The picture, loaded once per process; a failed load is not tried again.
HBITMAP BackgroundPicture(int& width, int& height)
{
    static std::once_flag once;
    static HBITMAP picture = nullptr;
    static int w = 0, h = 0;
    std::call_once(once, [] {
        picture = static_cast<HBITMAP>(
            LoadImageW(nullptr, L"background.bmp", IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
        BITMAP bm;
        if (picture && GetObjectW(picture, sizeof bm, &bm)) {
            w = bm.bmWidth;
            h = bm.bmHeight;
        } else if (picture) {
            DeleteObject(picture);
            picture = nullptr;
        }
    });
    width = w;
    height = h;
    return picture;
}

// Black, with the picture stretched over the painted area when there is one.
void PaintBlankScreen(HDC dc)
{
    RECT clip;
    if (GetClipBox(dc, &clip) == NULLREGION || clip.right <= clip.left || clip.bottom <= clip.top)
        return;
    PatBlt(dc, clip.left, clip.top, clip.right - clip.left, clip.bottom - clip.top, BLACKNESS);
    int w = 0, h = 0;
    HBITMAP picture = BackgroundPicture(w, h);
    if (!picture)
        return;
    HDC mem = CreateCompatibleDC(dc);
    if (!mem)
        return;
    HGDIOBJ old = SelectObject(mem, picture);
    SetStretchBltMode(dc, HALFTONE);
    StretchBlt(dc, 0, 0, clip.right, clip.bottom, mem, 0, 0, w, h, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
}

void PlaceOnTop(HWND w)
{
    SetWindowPos(w, HWND_TOPMOST, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                 SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

LRESULT CALLBACK BlankScreenProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_CREATE:
        SetTimer(hwnd, kRetopTimer, kRetopMs, nullptr);
        return 0;
    case WM_TIMER:
        if (wp == kRetopTimer)
            PlaceOnTop(hwnd);  // a window that came up later goes under it again
        return 0;
    case WM_ERASEBKGND:
        PaintBlankScreen(reinterpret_cast<HDC>(wp));
        return 1;
    case WM_NCHITTEST:
        return HTTRANSPARENT;
    case WM_DESTROY:
        KillTimer(hwnd, kRetopTimer);
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

HWND CreateBlankScreenWindow()
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc;
    ZeroMemory(&wc, sizeof wc);
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = BlankScreenProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = kBlankClass;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return nullptr;
    const SetLayeredFn layered = LayeredFunction();
    const DWORD ex = WS_EX_TOPMOST | WS_EX_TOOLWINDOW | (layered ? WS_EX_LAYERED | WS_EX_TRANSPARENT : 0);
    HWND w = CreateWindowExW(ex, kBlankClass, kBlankClass, WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0,
                             GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr, instance,
                             nullptr);
    if (!w)
        return nullptr;
    if (layered)
        layered(w, 0, 255, LWA_ALPHA);
    PlaceOnTop(w);
    return w;
}

class WinBlankScreenPlatform : public BlankScreenPlatform {
public:
    ~WinBlankScreenPlatform() override { EndWindow(); }

    bool StartWindow() override
    {
        m_stop.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!m_stop)
            return false;
        HANDLE stop = m_stop.get();
        m_thread = std::thread([stop] { RunWindow(stop); });
        return true;
    }
    // The stop event reaches the thread whether or not its window exists.
    void EndWindow() override
    {
        if (!m_thread.joinable())
            return;
        SetEvent(m_stop.get());
        m_thread.join();
        m_stop.Reset();
    }
    bool ScreenSaverTimeout(int& seconds) override
    {
        UINT value = 0;
        if (!SystemParametersInfoW(SPI_GETSCREENSAVETIMEOUT, 0, &value, 0))
            return false;
        seconds = static_cast<int>(value);
        return true;
    }
    void SetScreenSaverTimeout(int seconds) override
    {
        SystemParametersInfoW(SPI_SETSCREENSAVETIMEOUT, static_cast<UINT>(seconds), nullptr, 0);
    }
    void MonitorPower(bool on) override
    {
        SetProcessShutdownParameters(0x100, 0);
        SystemParametersInfoW(SPI_SETPOWEROFFACTIVE, on ? 0 : 1, nullptr, 0);
        // Broadcast as the system's own screen saver does.
        PostMessageW(HWND_BROADCAST, WM_SYSCOMMAND, SC_MONITORPOWER, on ? -1 : 2);
    }
    void BlockLocalInput(bool block) override
    {
        if (!BlockInput(block ? TRUE : FALSE))
            HostLog(kHostLogWarn, "BlockInput(%d) failed (%lu)\n", block ? 1 : 0, GetLastError());
    }

private:
    static void RunWindow(HANDLE stop)
    {
        HWND w = CreateBlankScreenWindow();
        if (!w)
            HostLog(kHostLogError, "blank screen window not created (%lu)\n", GetLastError());
        for (;;) {
            const DWORD r = MsgWaitForMultipleObjects(1, &stop, FALSE, INFINITE, QS_ALLINPUT);
            if (r != WAIT_OBJECT_0 + 1)
                break;
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        if (w && IsWindow(w))
            DestroyWindow(w);
    }

    WinHandle m_stop;
    std::thread m_thread;
};

} // namespace

std::unique_ptr<BlankScreenPlatform> CreateWindowsBlankScreenPlatform()
{
    return std::make_unique<WinBlankScreenPlatform>();
}

bool BlankScreenWindowAvailable()
{
    return LayeredFunction() != nullptr;
}

WallpaperRemoval::WallpaperRemoval()
{
    wchar_t path[1024] = {};
    if (!SystemParametersInfoW(SPI_GETDESKWALLPAPER, static_cast<UINT>(sizeof path / sizeof path[0]), path, 0))
        return;
    m_saved = path;
    wchar_t empty[1] = {L'\0'};
    m_removed = SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, empty, SPIF_SENDCHANGE) != FALSE;
}

WallpaperRemoval::~WallpaperRemoval()
{
    if (m_removed)
        SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, const_cast<wchar_t*>(m_saved.c_str()), SPIF_SENDCHANGE);
}
