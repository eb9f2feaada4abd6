#include "Customer/capture/ChangeRecordsMessage.h"
#include "Customer/capture/ClipboardWatch.h"
#include "Customer/capture/DisplayLayout.h"
#include "Customer/capture/GdiScreen.h"
#include "Customer/capture/HookRect.h"
#include "Customer/capture/HooksLibrary_win.h"
#include "Customer/capture/OwnWindowMask.h"
#include "Customer/capture/SharePoint.h"
#include "Customer/encode/HostLog.h"
#include "Customer/input/KeyTables.h"
#include "Customer/input/WinKeyboard.h"
#include "Customer/session/BlankScreenWindow_win.h"
#include "Customer/session/ThreadedDesktop.h"
#include "Customer/session/WinHost.h"
#include "core/base/UpdateMessages.h"

#include <windows.h>

#include <atomic>
#include <cstring>

namespace {

// The top-level windows as change detection sees them, in bitmap
// coordinates (the captured area's origin subtracted).
class WinWindows : public DesktopWindows {
public:
    void SetOrigin(int x, int y)
    {
        m_x = x;
        m_y = y;
    }
    Window TopLevelAt(int x, int y) override
    {
        HWND w = WindowFromPoint(POINT{x + m_x, y + m_y});
        if (!w)
            return 0;
        w = GetAncestor(w, GA_ROOT);
        if (!w || w == GetDesktopWindow())
            return 0;
        return reinterpret_cast<Window>(w);
    }
    bool VisibleRect(Window id, rfb::Rect& r) override
    {
        HWND w = reinterpret_cast<HWND>(id);
        RECT wr;
        if (!IsWindow(w) || !IsWindowVisible(w) || IsIconic(w) || !GetWindowRect(w, &wr))
            return false;
        r = rfb::Rect(wr.left - m_x, wr.top - m_y, wr.right - m_x, wr.bottom - m_y);
        return true;
    }
    Window Foreground() override
    {
        HWND w = GetForegroundWindow();
        return w && w != GetDesktopWindow() ? reinterpret_cast<Window>(w) : 0;
    }
    bool IsConsole(Window id) override
    {
        char name[32] = {};
        if (!GetClassNameA(reinterpret_cast<HWND>(id), name, sizeof name))
            return false;
        return std::strcmp(name, "tty") == 0 || std::strcmp(name, "ConsoleWindowClass") == 0;
    }

private:
    int m_x = 0;
    int m_y = 0;
};

constexpr wchar_t kSinkClass[] = L"Durnhelm desktop sink";
constexpr UINT_PTR kPollTimer = 1;

// The presenter's screen through GDI. The desktop thread owns an invisible
// sink window: its queue carries the wake-ups, queued rectangles, the hooks
// library's messages and display changes, and the thread sleeps in
// WaitMessage between cycles.
class WinDesktop : public ThreadedDesktop {
public:
    explicit WinDesktop(HostPlatform* platform)
        : ThreadedDesktop(platform), m_blankPlatform(CreateWindowsBlankScreenPlatform()),
          m_blank(*m_blankPlatform, BlankScreenWindowAvailable() && platform &&
                                        (platform->OsClass() == 1 || platform->OsClass() == 2))
    {
    }
    ~WinDesktop() override { Stop(); }

    bool GetCursor(CursorImage& cursor) override;
    rfb::Rect CursorRect() override
    {
        POINT p{0, 0};
        GetCursorPos(&p);
        const int x = p.x - m_originX.load(), y = p.y - m_originY.load();
        return rfb::Rect(x - 16, y - 16, x + 32, y + 32).intersect(ScreenRect());
    }
    void InjectKey(uint32_t keysym, bool down) override { m_keys.InjectKeyEvent(keysym, down); }
    void ReleaseHeldKeys() override { ReleaseModifiers(*m_keyboard); }
    void InjectPointer(const PointerInput& p, bool) override;
    bool SwapButtons() override { return GetSystemMetrics(SM_SWAPBUTTON) != 0; }
    void ReleaseLockKeys() override
    {
        if (GetKeyState(VK_CAPITAL) & 1) {
            m_keyboard->Send(VK_CAPITAL, false, true);
            m_keyboard->Send(VK_CAPITAL, false, false);
        }
        if (GetKeyState(VK_SCROLL) & 1) {
            m_keyboard->Send(VK_SCROLL, true, true);
            m_keyboard->Send(VK_SCROLL, true, false);
        }
    }
    void SetClipText(const std::string& text) override;
    void WatchClipboard(std::function<void(const std::string&)> sink) override
    {
        m_clipboard = std::make_unique<ClipboardWatch>(std::move(sink));
    }
    bool BlankScreen(bool on) override
    {
        m_blank.Set(on);
        return true;
    }
protected:
    // The desktop of a display, or a window, given as its top-level window.
    PointTarget ResolvePoint(const rfb::Point& at) override
    {
        return ResolveSharePoint(at.x + m_originX.load(), at.y + m_originY.load());
    }
    rfb::Rect DisplayArea(uint8_t selection) override
    {
        DisplayLayout layout;
        if (selection == kDisplayAll || !ReadDisplayLayout(layout))
            return ScreenRect();
        const DisplayInfo& d = selection == kDisplaySecond && layout.monitorCount > 1 ? layout.second : layout.primary;
        const int x = d.x - m_originX.load(), y = d.y - m_originY.load();
        return rfb::Rect(x, y, x + d.width, y + d.height);
    }
    // The one place the capture source is chosen: the GDI screen of the
    // primary display, or of the virtual screen when several are attached.
    bool Startup() override
    {
        if (!m_sink) {
            if (!InitWindow())
                return false;
            // Set on the thread whose queue gets the library's messages. A
            // missing or refusing library leaves the full-screen polling on.
            m_threadId = GetCurrentThreadId();
            m_hooks.Set(m_threadId);
        }
        // A plain desktop is cheaper to send; it is back when the session ends.
        if (!m_wallpaper)
            m_wallpaper = std::make_unique<WallpaperRemoval>();
        // Own windows are left out of what is grabbed.
        m_screen = ComposeOwnWindows(CreateGdiScreen());
        if (!m_screen)
            return false;
        const ScreenInfo info = m_screen->Info();
        m_originX.store(info.originX);
        m_originY.store(info.originY);
        m_windows.SetOrigin(info.originX, info.originY);
        Buffer().SetSource(m_screen.get());
        HostLog(kHostLogDebugInfo, "SCR: screen format %dx%dx%d\n", info.width, info.height,
                info.format.bitsPerPixel);
        return true;
    }
    void ShutdownCapture() override
    {
        Buffer().SetSource(nullptr);
        m_screen.reset();
    }
    void ThreadEnd() override
    {
        // Keys a viewer left held go up with the session.
        ReleaseModifiers(*m_keyboard);
        m_hooks.Unset(m_threadId);
        m_blank.Set(false);
        m_wallpaper.reset();
        HWND sink = m_sink.exchange(nullptr);
        if (sink) {
            KillTimer(sink, kPollTimer);
            DestroyWindow(sink);
        }
    }
    DesktopWindows& Windows() override { return m_windows; }
    bool CursorPos(rfb::Point& p) override
    {
        POINT pt;
        if (!GetCursorPos(&pt))
            return false;
        p = rfb::Point(pt.x - m_originX.load(), pt.y - m_originY.load());
        return true;
    }
    // Without the hooks library nothing reports cursor changes: the cursor
    // is read once per cycle.
    bool CursorShapeChanged() override
    {
        CURSORINFO ci;
        std::memset(&ci, 0, sizeof ci);
        ci.cbSize = sizeof ci;
        if (!GetCursorInfo(&ci))
            return false;
        const bool changed = m_cursorSeen && ci.hCursor != m_cursor;
        m_cursor = ci.hCursor;
        m_cursorSeen = true;
        return (changed && !m_hooks.Active()) || m_hookCursorChanged.exchange(false);
    }
    bool Pump(rfb::Region& changed) override;
    bool WaitForEvents() override { return WaitMessage() != FALSE; }
    void PostWake() override
    {
        if (HWND sink = m_sink.load())
            PostMessageW(sink, WM_TIMER, kPollTimer, 0);
    }
    void PostQueuedRect(const rfb::Rect& r) override
    {
        HWND sink = m_sink.load();
        if (!sink)
            return;
        const int x = m_originX.load(), y = m_originY.load();
        PostMessageW(sink, g_msgUpdateDrawRect, static_cast<WPARAM>(PackHookPair(r.left + x, r.top + y)),
                     static_cast<LPARAM>(PackHookPair(r.right + x, r.bottom + y)));
    }
    void PostQuit() override
    {
        if (HWND sink = m_sink.load())
            PostMessageW(sink, WM_QUIT, 0, 0);
    }
    uint32_t Now() override { return GetTickCount(); }
    void SleepMs(uint32_t ms) override { Sleep(ms); }

private:
    bool InitWindow();
    static LRESULT CALLBACK SinkProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

    std::unique_ptr<ScreenSource> m_screen;
    std::unique_ptr<ClipboardWatch> m_clipboard;
    std::unique_ptr<KeyboardSystem> m_keyboard = CreateWindowsKeyboard();
    // Made with the desktop: a session starts with no dead key pending.
    KeyInjector m_keys{*m_keyboard, HostCodePageTable()};
    std::unique_ptr<BlankScreenPlatform> m_blankPlatform;
    ::BlankScreen m_blank;
    std::unique_ptr<WallpaperRemoval> m_wallpaper;
    WinWindows m_windows;
    HooksLibrary m_hooks;
    DWORD m_threadId = 0;
    std::atomic<HWND> m_sink{nullptr};
    std::atomic<int> m_originX{0};
    std::atomic<int> m_originY{0};
    HCURSOR m_cursor = nullptr;
    bool m_cursorSeen = false;
    std::atomic<bool> m_hookCursorChanged{false};
};

bool WinDesktop::InitWindow()
{
    if (!g_msgUpdateDrawRect)
        RegisterUpdateMessages();
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc;
    std::memset(&wc, 0, sizeof wc);
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &WinDesktop::SinkProc;
    wc.hInstance = instance;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kSinkClass;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        HostLog(kHostLogError, "failed to register window class\n");
        return false;
    }
    HWND sink = CreateWindowW(kSinkClass, L"Durnhelm", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 400, 200,
                              nullptr, nullptr, instance, nullptr);
    if (!sink) {
        HostLog(kHostLogError, "failed to create hook window\n");
        return false;
    }
    SetWindowLongPtrW(sink, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetTimer(sink, kPollTimer, kTimerMs, nullptr);
    m_sink.store(sink);
    return true;
}

LRESULT CALLBACK WinDesktop::SinkProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    auto* self = reinterpret_cast<WinDesktop*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (msg) {
    case WM_DISPLAYCHANGE:
        HostLog(kHostLogInfo, "WM_DISPLAYCHANGE\n");
        if (self)
            self->RequestRestart();
        return 0;
    case WM_TIMER:
        return 0;  // only wakes the loop
    case WM_COPYDATA:
        // The companion program's change reports become queued rectangles.
        PostChangeRecords(hwnd, reinterpret_cast<const COPYDATASTRUCT*>(lp));
        return TRUE;
    default:
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

bool WinDesktop::Pump(rfb::Region& changed)
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT)
            return false;
        if (msg.message == g_msgUpdateDrawRect) {
            const rfb::Rect r = UnpackHookRect(static_cast<uint64_t>(msg.wParam), static_cast<uint64_t>(msg.lParam))
                                    .translate(rfb::Point(-m_originX.load(), -m_originY.load()))
                                    .intersect(SharedRect());
            if (!r.is_empty())
                changed.assign_union(rfb::Region(r));
            continue;
        }
        if (msg.message == g_msgUpdateMouse) {
            m_hookCursorChanged.store(true);
            continue;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

void WinDesktop::InjectPointer(const PointerInput& p, bool)
{
    const int vx = GetSystemMetrics(SM_XVIRTUALSCREEN), vy = GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int vw = GetSystemMetrics(SM_CXVIRTUALSCREEN), vh = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    INPUT in;
    std::memset(&in, 0, sizeof in);
    in.type = INPUT_MOUSE;
    in.mi.dwExtraInfo = kInjectedExtraInfo;
    in.mi.dx = static_cast<LONG>(static_cast<int64_t>(p.x + m_originX.load() - vx) * 65535 / (vw > 1 ? vw - 1 : 1));
    in.mi.dy = static_cast<LONG>(static_cast<int64_t>(p.y + m_originY.load() - vy) * 65535 / (vh > 1 ? vh - 1 : 1));
    DWORD flags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK;
    if (p.move)
        flags |= MOUSEEVENTF_MOVE;
    if (p.left)
        flags |= p.left > 0 ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    if (p.middle)
        flags |= p.middle > 0 ? MOUSEEVENTF_MIDDLEDOWN : MOUSEEVENTF_MIDDLEUP;
    if (p.right)
        flags |= p.right > 0 ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP;
    if (p.wheel) {
        flags |= MOUSEEVENTF_WHEEL;
        in.mi.mouseData = static_cast<DWORD>(p.wheel);
    }
    in.mi.dwFlags = flags;
    SendInput(1, &in, sizeof in);
}

void WinDesktop::SetClipText(const std::string& text)
{
    // Put under the watch's window, so the watch does not send it back.
    if (m_clipboard)
        m_clipboard->SetText(text);
    else
        ClipboardWatch::SetTextAs(nullptr, text);
}

// Owner of the two bitmaps GetIconInfo hands out.
struct IconBitmaps {
    ICONINFO info{};
    ~IconBitmaps()
    {
        if (info.hbmMask)
            DeleteObject(info.hbmMask);
        if (info.hbmColor)
            DeleteObject(info.hbmColor);
    }
};

// Reads the cursor's planes as 32-bit pixels: the AND mask and the colour
// (or the XOR plane of a monochrome cursor).
bool readBits(HDC dc, HBITMAP bmp, int w, int h, std::vector<uint32_t>& out)
{
    BITMAPINFO bi;
    std::memset(&bi, 0, sizeof bi);
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    out.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
    return GetDIBits(dc, bmp, 0, static_cast<UINT>(h), out.data(), &bi, DIB_RGB_COLORS) != 0;
}

bool WinDesktop::GetCursor(CursorImage& cursor)
{
    CURSORINFO ci;
    std::memset(&ci, 0, sizeof ci);
    ci.cbSize = sizeof ci;
    if (!GetCursorInfo(&ci) || !ci.hCursor) {
        HostLog(kHostLogDebugWarn, "cursor handle is NULL.\n");
        return false;
    }
    IconBitmaps icon;
    if (!GetIconInfo(ci.hCursor, &icon.info)) {
        HostLog(kHostLogDebugWarn, "GetIconInfo() failed.\n");
        return false;
    }
    if (!icon.info.hbmMask) {
        HostLog(kHostLogDebugWarn, "cursor bitmap handle is NULL.\n");
        return false;
    }
    BITMAP bm;
    if (!GetObjectW(icon.info.hbmMask, sizeof bm, &bm)) {
        HostLog(kHostLogDebugWarn, "GetObject() for bitmap failed.\n");
        return false;
    }
    const bool mono = !icon.info.hbmColor;
    const int w = bm.bmWidth, h = mono ? bm.bmHeight / 2 : bm.bmHeight;
    if (w <= 0 || h <= 0 || w > 256 || h > 256) {
        HostLog(kHostLogDebugWarn, "incorrect data in cursor bitmap.\n");
        return false;
    }
    HDC dc = GetDC(nullptr);
    std::vector<uint32_t> andBits, colourBits;
    const bool ok = readBits(dc, icon.info.hbmMask, w, mono ? h * 2 : h, andBits) &&
                    (mono || readBits(dc, icon.info.hbmColor, w, h, colourBits));
    ReleaseDC(nullptr, dc);
    if (!ok) {
        HostLog(kHostLogDebugWarn, "GetBitmapBits() failed.\n");
        return false;
    }
    cursor = CursorImage();
    cursor.hotX = static_cast<int>(icon.info.xHotspot);
    cursor.hotY = static_cast<int>(icon.info.yHotspot);
    cursor.width = w;
    cursor.height = h;
    cursor.mask.assign(cursor.MaskBytes(), 0);
    cursor.source.assign(cursor.MaskBytes(), 0);
    const rfb::PixelFormat pf = Buffer().Screen().format;
    const size_t bpp = static_cast<size_t>(pf.bitsPerPixel / 8);
    cursor.pixels.assign(static_cast<size_t>(w) * static_cast<size_t>(h) * bpp, 0);
    const size_t rowBytes = static_cast<size_t>((w + 7) / 8);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const size_t i = static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x);
            const bool transparent = (andBits[i] & 0xFFFFFF) != 0;
            const uint32_t rgb = mono ? andBits[static_cast<size_t>(y + h) * static_cast<size_t>(w) + x] & 0xFFFFFF
                                      : colourBits[i] & 0xFFFFFF;
            const bool visible = !transparent || (mono && rgb != 0);
            const unsigned r = rgb >> 16 & 255, g = rgb >> 8 & 255, b = rgb & 255;
            const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
            if (visible)
                cursor.mask[static_cast<size_t>(y) * rowBytes + static_cast<size_t>(x / 8)] |= bit;
            // XCursor: foreground (black) where the pixel is dark.
            if ((11 * r + 16 * g + 5 * b) / 32 < 128)
                cursor.source[static_cast<size_t>(y) * rowBytes + static_cast<size_t>(x / 8)] |= bit;
            const uint32_t v = (r * pf.redMax / 255) << pf.redShift | (g * pf.greenMax / 255) << pf.greenShift |
                               (b * pf.blueMax / 255) << pf.blueShift;
            std::memcpy(&cursor.pixels[i * bpp], &v, bpp);
        }
    }
    return true;
}

} // namespace

std::unique_ptr<HostDesktop> CreateWindowsDesktop(HostPlatform* platform)
{
    return std::make_unique<WinDesktop>(platform);
}
