// The program's desktop thread under Wine against the X server's screen: an
// animated window and a moved window reach the test decoder as the screen
// shows them (compared with the test's own grab of the root), the sink
// window, a display change, and the blank screen and wallpaper of a session.
#include "Customer/capture/GdiScreen.h"
#include "Customer/capture/HookRect.h"
#include "Customer/session/BlankScreenWindow_win.h"
#include "Customer/session/HostDesktop.h"
#include "Customer/session/WinHost.h"
#include "Customer/session/tests/TestSocket.h"
#include "Customer/session/vncServer.h"
#include "Customer/tests/RfbTestDecoder.h"
#include "rfb/RfbProto.h"
#include "core/base/TopDownBitmap_win.h"
#include "tests/support/WindowTest_win.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include <windows.h>

namespace {

constexpr int kWinW = 320, kWinH = 200;
const wchar_t kClass[] = L"CorviskCaptureTest";

std::vector<uint8_t> Bytes(std::initializer_list<int> v)
{
    std::vector<uint8_t> out;
    for (int b : v)
        out.push_back(static_cast<uint8_t>(b));
    return out;
}

std::vector<uint8_t> Request(bool incremental)
{
    return Bytes({rfbproto::kFramebufferUpdateRequest, incremental ? 1 : 0, 0, 0, 0, 0, 0, 0, 0, 0});
}

// The test program's window: a gradient that moves with a frame counter and
// a block that bounces; it paints itself on WM_PAINT, and Step() draws the
// next frame at once.
class AnimatedWindow {
public:
    AnimatedWindow(int x, int y)
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &AnimatedWindow::Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kClass;
        RegisterClassW(&wc);
        m_hwnd = CreateWindowExW(0, kClass, L"animated", WS_POPUP | WS_VISIBLE, x, y, kWinW, kWinH, nullptr, nullptr,
                                 wc.hInstance, this);
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetForegroundWindow(m_hwnd);
        Step();
        wintest::PumpFor(300);
    }
    ~AnimatedWindow()
    {
        if (m_hwnd)
            DestroyWindow(m_hwnd);
    }
    HWND hwnd() const { return m_hwnd; }
    void Step()
    {
        ++m_frame;
        HDC dc = GetDC(m_hwnd);
        Paint(dc);
        ReleaseDC(m_hwnd, dc);
        GdiFlush();
    }

private:
    void Paint(HDC dc)
    {
        for (int x = 0; x < kWinW; x += 8) {
            HBRUSH b = CreateSolidBrush(RGB((x + m_frame * 8) & 255, (x / 2) & 255, 255 - (x & 255)));
            RECT r{x, 0, x + 8, kWinH};
            FillRect(dc, &r, b);
            DeleteObject(b);
        }
        const int bx = (m_frame * 13) % (kWinW - 40), by = (m_frame * 7) % (kWinH - 40);
        RECT block{bx, by, bx + 40, by + 40};
        FillRect(dc, &block, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    }
    static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l)
    {
        auto* self = reinterpret_cast<AnimatedWindow*>(GetWindowLongPtrW(h, GWLP_USERDATA));
        if (m == WM_PAINT && self) {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(h, &ps);
            self->Paint(dc);
            EndPaint(h, &ps);
            return 0;
        }
        if (m == WM_LBUTTONDOWN && self)
            ++self->clicks;
        return DefWindowProcW(h, m, w, l);
    }

public:
    int clicks = 0;

private:
    HWND m_hwnd = nullptr;
    int m_frame = 0;
};

// A session of the program's own server, read by the test decoder.
class Session {
public:
    Session()
        : m_sw(GetSystemMetrics(SM_CXSCREEN)), m_sh(GetSystemMetrics(SM_CYSCREEN)), dec(testrfb::Format(), m_sw, m_sh),
          src(pair, 10000)
    {
        m_created = CreateEventW(nullptr, FALSE, FALSE, L"vnc server is created");
        server = std::make_unique<vncServer>(nullptr, pair.nearEnd());
        EXPECT_EQ(server->AddClientDefault(1, 1), 1);
        EXPECT_EQ(WaitForSingleObject(m_created, 10000), WAIT_OBJECT_0);
        Send(Bytes({rfbproto::kStartRequest, 1}));
        EXPECT_EQ(Read(), rfbproto::kStartReply);
        Send(Bytes({rfbproto::kSetEncodings, 0, 0, 3, 0, 0, 0, rfbproto::kEncZRLE, 0, 0, 0, rfbproto::kEncCopyRect,
                    0xFF, 0xFF, 0xFF, 0x21}));  // ZRLE, CopyRect, NewFBSize (-223)
    }
    ~Session()
    {
        End();
        CloseHandle(m_created);
    }
    void End()
    {
        if (!server)
            return;
        Send(Bytes({rfbproto::kDisconnect, 0, 0, 0, 0, 0, 0, 0}));
        for (int i = 0; i < 500 && !server->SessionEnded(); ++i)
            wintest::PumpFor(10);
        server.reset();
    }
    void Send(const std::vector<uint8_t>& m) { ASSERT_TRUE(pair.sendFromFar(m)); }
    // The first, whole picture, and the decoded frame equal to the screen.
    bool FirstPicture()
    {
        Send(Request(false));
        return Read() == rfbproto::kFramebufferUpdate && CatchUp();
    }
    int Read()
    {
        try {
            return dec.readMessage(src);
        } catch (const std::exception& e) {
            ADD_FAILURE() << e.what();
            return -1;
        }
    }
    // The root as the X server shows it, grabbed by the test itself.
    std::vector<uint32_t> Root()
    {
        HDC screen = GetDC(nullptr);
        HDC mem = CreateCompatibleDC(screen);
        BITMAPINFO bi = TopDownBitmapInfo(m_sw, m_sh);
        void* bits = nullptr;
        HBITMAP bmp = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(mem, bmp);
        BitBlt(mem, 0, 0, m_sw, m_sh, screen, 0, 0, SRCCOPY);
        GdiFlush();
        std::vector<uint32_t> out(static_cast<const uint32_t*>(bits), static_cast<const uint32_t*>(bits) + m_sw * m_sh);
        SelectObject(mem, old);
        DeleteObject(bmp);
        DeleteDC(mem);
        ReleaseDC(nullptr, screen);
        return out;
    }
    // Pixels of the decoded frame that differ from the shared area of the
    // root (all of them when the frame's size is not the area's).
    int Mismatches(const std::vector<uint32_t>& root)
    {
        const RECT a = area.right > area.left ? area : RECT{0, 0, m_sw, m_sh};
        const int w = a.right - a.left, h = a.bottom - a.top;
        if (dec.width() != w || dec.height() != h)
            return w * h;
        int bad = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                bad += (dec.pixel(x, y) & 0xFFFFFF) !=
                       (root[static_cast<size_t>(y + a.top) * m_sw + x + a.left] & 0xFFFFFF);
        return bad;
    }
    // Requests (as the pump does) and reads updates until the decoded frame
    // equals the screen; the updates' rectangles are kept. An update comes
    // only when something changed, so a quiet wait is no failure.
    bool CatchUp(int ms = 8000)
    {
        const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
        seen.clear();
        bool asked = false;
        while (static_cast<int>(end - GetTickCount()) > 0) {
            if (Mismatches(Root()) == 0)
                return true;
            if (!asked)
                Send(Request(true));
            asked = true;
            ViewerSource quiet(pair, 500);
            int type;
            try {
                type = dec.readMessage(quiet);
            } catch (const std::exception&) {
                continue;  // nothing within the wait: the request stands
            }
            if (type != rfbproto::kFramebufferUpdate)
                return false;
            asked = false;
            seen.insert(seen.end(), dec.lastUpdateRects.begin(), dec.lastUpdateRects.end());
        }
        return false;
    }
    // The decoded frame, shown full-screen and saved as a PNG.
    void SaveDecoded(const wchar_t* test, const wchar_t* state)
    {
        Frame frame;
        frame.width = dec.width();
        frame.height = dec.height();
        frame.pixels.resize(static_cast<size_t>(frame.width) * frame.height);
        for (int y = 0; y < frame.height; ++y)
            for (int x = 0; x < frame.width; ++x)
                frame.pixels[static_cast<size_t>(y) * frame.width + x] = dec.pixel(x, y);
        WNDCLASSW wc{};
        wc.lpfnWndProc = &Session::FrameProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"CorviskDecodedFrame";
        RegisterClassW(&wc);
        HWND w = CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, L"", WS_POPUP, 0, 0, frame.width, frame.height,
                                 nullptr, nullptr, wc.hInstance, nullptr);
        SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&frame));
        ShowWindow(w, SW_SHOWNOACTIVATE);
        wintest::PumpFor(200);
        EXPECT_FALSE(wintest::SaveScreenshot(w, test, std::wstring(state) + L"_decoded").empty());
        DestroyWindow(w);
        wintest::PumpFor(100);
    }

    int m_sw, m_sh;
    LoopbackPair pair{LoopbackPair::Sends::AtOnce};
    testrfb::Decoder dec;
    ViewerSource src;
    std::unique_ptr<vncServer> server;
    std::vector<testrfb::RectInfo> seen;
    // The part of the screen the decoded frame shows; empty: all of it.
    RECT area{0, 0, 0, 0};

private:
    struct Frame {
        int width = 0, height = 0;
        std::vector<uint32_t> pixels;
    };
    static LRESULT CALLBACK FrameProc(HWND h, UINT m, WPARAM w, LPARAM l)
    {
        const auto* f = reinterpret_cast<const Frame*>(GetWindowLongPtrW(h, GWLP_USERDATA));
        if (m == WM_ERASEBKGND)
            return 1;
        if (m == WM_PAINT && f) {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(h, &ps);
            const BITMAPINFO bi = TopDownBitmapInfo(f->width, f->height);
            SetDIBitsToDevice(dc, 0, 0, f->width, f->height, 0, 0, 0, f->height, f->pixels.data(), &bi,
                              DIB_RGB_COLORS);
            EndPaint(h, &ps);
            return 0;
        }
        return DefWindowProcW(h, m, w, l);
    }

    HANDLE m_created = nullptr;
};

TEST(WinCapture, DecodedFrameFollowsTheAnimatedWindow)
{
    AnimatedWindow window(100, 80);
    Session s;
    EXPECT_TRUE(wintest::FindTopLevel(L"Durnhelm desktop sink", nullptr) == nullptr);  // never shown
    EXPECT_TRUE(FindWindowW(L"Durnhelm desktop sink", L"Durnhelm") != nullptr);
    ASSERT_TRUE(s.FirstPicture());
    for (int frame = 0; frame < 12; ++frame) {
        window.Step();
        ASSERT_TRUE(s.CatchUp()) << "frame " << frame << ": " << s.Mismatches(s.Root()) << " pixels differ";
    }
    // Quiet: two more cycles leave it equal.
    wintest::PumpFor(200);
    ASSERT_TRUE(s.CatchUp());
    EXPECT_FALSE(wintest::SaveScreenshot(nullptr, L"WinCapture", L"animated_screen").empty());
    s.SaveDecoded(L"WinCapture", L"animated");
    s.End();
    EXPECT_TRUE(FindWindowW(L"Durnhelm desktop sink", L"Durnhelm") == nullptr);
}

// Moving the foreground window goes out as a copy whose source is the
// destination less the move; moved partly off the screen it never copies
// from outside the frame (the decoder refuses such a copy).
TEST(WinCapture, MovedWindowGoesOutAsACopy)
{
    AnimatedWindow window(200, 150);
    Session s;
    ASSERT_TRUE(s.FirstPicture());
    struct Move {
        int x, y;
    } moves[] = {{260, 190}, {230, 120}, {-100, 100}, {s.m_sw - 150, s.m_sh - 90}};
    int copies = 0;
    int at[2] = {200, 150};
    for (const Move& m : moves) {
        SetWindowPos(window.hwnd(), nullptr, m.x, m.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        wintest::PumpFor(150);
        ASSERT_TRUE(s.CatchUp()) << m.x << "," << m.y << ": " << s.Mismatches(s.Root()) << " pixels differ";
        for (const testrfb::RectInfo& r : s.seen) {
            if (r.encoding != rfbproto::kEncCopyRect)
                continue;
            ++copies;
            EXPECT_EQ(r.x - r.srcX, m.x - at[0]);
            EXPECT_EQ(r.y - r.srcY, m.y - at[1]);
            EXPECT_GE(r.srcX, 0);
            EXPECT_GE(r.srcY, 0);
            EXPECT_LE(r.srcX + r.w, s.m_sw);
            EXPECT_LE(r.srcY + r.h, s.m_sh);
        }
        at[0] = m.x;
        at[1] = m.y;
    }
    EXPECT_GE(copies, 3);
    s.SaveDecoded(L"WinCapture", L"moved");
}

// A display change to the sink restarts the capture and sends the whole
// screen again.
TEST(WinCapture, DisplayChangeRestartsAndSendsTheWholeScreen)
{
    AnimatedWindow window(100, 80);
    Session s;
    ASSERT_TRUE(s.FirstPicture());
    HWND sink = FindWindowW(L"Durnhelm desktop sink", L"Durnhelm");
    ASSERT_TRUE(sink);
    PostMessageW(sink, WM_DISPLAYCHANGE, 32, MAKELPARAM(s.m_sw, s.m_sh));
    wintest::PumpFor(300);
    s.Send(Request(true));
    ASSERT_EQ(s.Read(), rfbproto::kFramebufferUpdate);
    long long area = 0;
    for (const testrfb::RectInfo& r : s.dec.lastUpdateRects)
        area += static_cast<long long>(r.w) * r.h;
    EXPECT_EQ(area, static_cast<long long>(s.m_sw) * s.m_sh);
    ASSERT_TRUE(s.CatchUp());
}

int CountNewSizes(const std::vector<testrfb::RectInfo>& rects, int w, int h)
{
    int n = 0;
    for (const testrfb::RectInfo& r : rects)
        n += r.encoding == rfbproto::kEncNewFBSize && r.w == w && r.h == h;
    return n;
}

// Sharing one window: the viewer gets the window's size, then its pixels
// only, also while it animates, moves and grows; narrowed to 127 pixels,
// minimised or closed, the whole screen comes back with its size, once. The wire refuses
// the choice with one display, so the test asks the desktop itself, at a
// point on the window.
TEST(WinCapture, SharedWindowAloneThenTheWholeScreenAgain)
{
    AnimatedWindow window(100, 80);
    Session s;
    ASSERT_TRUE(s.FirstPicture());
    HostDesktop* desktop = s.server->GetDesktop();
    ASSERT_TRUE(desktop);
    ASSERT_EQ(desktop->SetSW(150, 120, rfb::Point(150, 120)), 0);
    s.area = RECT{100, 80, 100 + kWinW, 80 + kWinH};
    ASSERT_TRUE(s.CatchUp()) << s.Mismatches(s.Root()) << " pixels differ";
    EXPECT_EQ(CountNewSizes(s.seen, kWinW, kWinH), 1);
    EXPECT_EQ(s.dec.width(), kWinW);
    EXPECT_EQ(s.dec.height(), kWinH);
    s.SaveDecoded(L"WinCapture", L"shared_window");
    EXPECT_FALSE(wintest::SaveScreenshot(nullptr, L"WinCapture", L"shared_window_screen").empty());

    for (int frame = 0; frame < 4; ++frame) {
        window.Step();
        ASSERT_TRUE(s.CatchUp()) << "frame " << frame << ": " << s.Mismatches(s.Root()) << " pixels differ";
        for (const testrfb::RectInfo& r : s.seen)
            if (r.encoding != rfbproto::kEncNewFBSize) {
                EXPECT_GE(r.x, 0);
                EXPECT_GE(r.y, 0);
                EXPECT_LE(r.x + r.w, kWinW);
                EXPECT_LE(r.y + r.h, kWinH);
            }
    }

    // Moved: the same size, the picture from the new place.
    SetWindowPos(window.hwnd(), nullptr, 160, 110, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    s.area = RECT{160, 110, 160 + kWinW, 110 + kWinH};
    ASSERT_TRUE(s.CatchUp()) << "moved: " << s.Mismatches(s.Root()) << " pixels differ";
    EXPECT_EQ(CountNewSizes(s.seen, kWinW, kWinH), 0);

    // Grown: a new size.
    SetWindowPos(window.hwnd(), nullptr, 0, 0, 400, 260, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    window.Step();
    s.area = RECT{160, 110, 560, 370};
    ASSERT_TRUE(s.CatchUp()) << "grown: " << s.Mismatches(s.Root()) << " pixels differ";
    EXPECT_EQ(CountNewSizes(s.seen, 400, 260), 1);

    // 127 pixels wide: the whole screen again.
    SetWindowPos(window.hwnd(), nullptr, 0, 0, 127, 260, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    s.area = RECT{0, 0, 0, 0};
    ASSERT_TRUE(s.CatchUp()) << "narrowed: " << s.Mismatches(s.Root()) << " pixels differ";
    EXPECT_EQ(CountNewSizes(s.seen, s.m_sw, s.m_sh), 1);

    // Shared again, then closed.
    SetWindowPos(window.hwnd(), nullptr, 0, 0, kWinW, kWinH, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    window.Step();
    wintest::PumpFor(150);
    ASSERT_EQ(desktop->SetSW(200, 150, rfb::Point(200, 150)), 0);
    s.area = RECT{160, 110, 160 + kWinW, 110 + kWinH};
    ASSERT_TRUE(s.CatchUp()) << "shared again: " << s.Mismatches(s.Root()) << " pixels differ";
    // Minimised: the whole screen.
    ShowWindow(window.hwnd(), SW_MINIMIZE);
    s.area = RECT{0, 0, 0, 0};
    ASSERT_TRUE(s.CatchUp()) << "minimised: " << s.Mismatches(s.Root()) << " pixels differ";
    EXPECT_EQ(CountNewSizes(s.seen, s.m_sw, s.m_sh), 1);

    // Restored and shared once more, then closed.
    ShowWindow(window.hwnd(), SW_RESTORE);
    window.Step();
    wintest::PumpFor(150);
    ASSERT_EQ(desktop->SetSW(200, 150, rfb::Point(200, 150)), 0);
    s.area = RECT{160, 110, 160 + kWinW, 110 + kWinH};
    ASSERT_TRUE(s.CatchUp()) << "restored: " << s.Mismatches(s.Root()) << " pixels differ";
    DestroyWindow(window.hwnd());
    s.area = RECT{0, 0, 0, 0};
    ASSERT_TRUE(s.CatchUp()) << "closed: " << s.Mismatches(s.Root()) << " pixels differ";
    EXPECT_EQ(CountNewSizes(s.seen, s.m_sw, s.m_sh), 1);
    s.SaveDecoded(L"WinCapture", L"shared_window_closed");
}

using HooksRecordFn = void(WINAPI*)(DWORD*, UINT*, int*);

// With the hooks library's double beside the program: SetHooks gets the
// desktop thread's id, the three messages and 0; a rectangle posted as the
// library would post it reaches the viewer although no polling looks there
// (the bare root belongs to no window); the end of the session unsets them.
TEST(WinCapture, HooksLibraryRectanglesReachTheViewer)
{
    ATOM stale = GlobalFindAtomW(L"corvisk hooks unset");
    while (stale) {
        GlobalDeleteAtom(stale);
        stale = GlobalFindAtomW(L"corvisk hooks unset");
    }
    AnimatedWindow window(100, 80);
    {
        Session s;
        HMODULE hooks = GetModuleHandleW(L"customerhooks.dll");
        ASSERT_TRUE(hooks);
        auto record = reinterpret_cast<HooksRecordFn>(reinterpret_cast<void*>(GetProcAddress(hooks, "HooksDoubleRecord")));
        ASSERT_TRUE(record);
        DWORD thread = 0;
        UINT messages[3] = {};
        int ddi = -1;
        record(&thread, messages, &ddi);
        EXPECT_NE(thread, 0u);
        EXPECT_NE(thread, GetCurrentThreadId());
        EXPECT_EQ(messages[0], RegisterWindowMessageA("Update.DrawRect"));
        EXPECT_EQ(messages[1], RegisterWindowMessageA("Update.CopyRect"));
        EXPECT_EQ(messages[2], RegisterWindowMessageA("Update.Mouse"));
        EXPECT_EQ(ddi, 0);
        ASSERT_TRUE(s.FirstPicture());

        // The area around the pointer is looked at in every cycle: keep it
        // away from the drawing, wherever an earlier test left it.
        SetCursorPos(5, 5);
        HDC root = GetDC(nullptr);
        RECT r{600, 400, 700, 480};
        HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
        FillRect(root, &r, red);
        DeleteObject(red);
        ReleaseDC(nullptr, root);
        GdiFlush();
        EXPECT_FALSE(s.CatchUp(1500)) << "found without the library's report";
        PostThreadMessageW(thread, messages[0], static_cast<WPARAM>(PackHookPair(600, 400)),
                           static_cast<LPARAM>(PackHookPair(700, 480)));
        EXPECT_TRUE(s.CatchUp());
        EXPECT_EQ(s.dec.pixel(650, 440) & 0xFFFFFF, 0xFF0000u);
    }
    EXPECT_NE(GlobalFindAtomW(L"corvisk hooks unset"), 0);

    // A library that refuses leaves the program polling.
    SetEnvironmentVariableW(L"CORVISK_HOOKS_REFUSE", L"1");
    {
        Session s;
        s.Send(Request(false));
        ASSERT_EQ(s.Read(), rfbproto::kFramebufferUpdate);
        window.Step();
        EXPECT_TRUE(s.CatchUp());
    }
    SetEnvironmentVariableW(L"CORVISK_HOOKS_REFUSE", nullptr);
}

// Without active hooks (the double refuses them) the cursor is read every
// cycle: a new cursor over the foreground window goes out as a new shape.
TEST(WinCapture, CursorChangeSendsItsShape)
{
    SetEnvironmentVariableW(L"CORVISK_HOOKS_REFUSE", L"1");
    AnimatedWindow window(100, 80);
    Session s;
    s.Send(Bytes({rfbproto::kSetEncodings, 0, 0, 2, 0, 0, 0, rfbproto::kEncRaw, 0xFF, 0xFF, 0xFF, 0x11}));  // RichCursor
    SetCursorPos(150, 120);
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    ASSERT_TRUE(s.FirstPicture());
    // The update after the first carries the cursor in use.
    window.Step();
    wintest::PumpFor(100);
    s.Send(Request(true));
    ASSERT_EQ(s.Read(), rfbproto::kFramebufferUpdate);
    const int arrowHotX = s.dec.cursor.hotX, arrowHotY = s.dec.cursor.hotY;
    ASSERT_EQ(s.dec.cursor.encoding, rfbproto::kEncRichCursor);
    SetCursor(LoadCursorW(nullptr, IDC_CROSS));
    bool shape = false;
    for (int i = 0; i < 20 && !shape; ++i) {
        s.Send(Request(true));
        ViewerSource quiet(s.pair, 500);
        try {
            if (s.dec.readMessage(quiet) == rfbproto::kFramebufferUpdate)
                for (const testrfb::RectInfo& r : s.dec.lastUpdateRects)
                    shape = shape || r.encoding == rfbproto::kEncRichCursor;
        } catch (const std::exception&) {
        }
    }
    EXPECT_TRUE(shape);
    EXPECT_TRUE(s.dec.cursor.hotX != arrowHotX || s.dec.cursor.hotY != arrowHotY);
    SetEnvironmentVariableW(L"CORVISK_HOOKS_REFUSE", nullptr);
}

int CountBlankWindows()
{
    int n = 0;
    EnumWindows(
        [](HWND w, LPARAM p) -> BOOL {
            wchar_t cls[32] = {}, title[32] = {};
            GetClassNameW(w, cls, 32);
            GetWindowTextW(w, title, 32);
            if (lstrcmpW(cls, L"blackscreen") == 0 && lstrcmpW(title, L"blackscreen") == 0 && IsWindowVisible(w))
                ++*reinterpret_cast<int*>(p);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&n));
    return n;
}

// Message 9 from a viewer with keyboard input: one topmost, layered,
// click-through window over the primary screen. Wine's BitBlt captures
// layered windows (Windows' does not), so the window is checked, not the
// viewer's picture.
TEST(WinCapture, BlankScreenWindowComesAndGoes)
{
    AnimatedWindow window(100, 80);
    Session s;
    auto blank = [&](int on) { s.Send(Bytes({rfbproto::kBlankScreen, on, 0, 0})); };
    auto settle = [&](int want) { return wintest::WaitFor([&] { return CountBlankWindows() == want; }, 5000); };
    blank(1);
    ASSERT_TRUE(settle(1));
    HWND w = FindWindowW(L"blackscreen", L"blackscreen");
    ASSERT_TRUE(w);
    const LONG_PTR ex = GetWindowLongPtrW(w, GWL_EXSTYLE);
    EXPECT_TRUE(ex & WS_EX_TOPMOST);
    EXPECT_TRUE(ex & WS_EX_LAYERED);
    EXPECT_TRUE(ex & WS_EX_TRANSPARENT);
    RECT r;
    GetWindowRect(w, &r);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(r.bottom, GetSystemMetrics(SM_CYSCREEN));
    // Click-through: the window under it is what the point finds.
    EXPECT_EQ(WindowFromPoint(POINT{150, 120}), window.hwnd());
    wintest::PumpFor(300);
    EXPECT_FALSE(wintest::SaveScreenshot(nullptr, L"WinCapture", L"blank_on").empty());
    blank(1);
    wintest::PumpFor(300);
    EXPECT_EQ(CountBlankWindows(), 1);
    blank(0);
    EXPECT_TRUE(settle(0));
    // On then off at once leaves none.
    blank(1);
    blank(0);
    wintest::PumpFor(500);
    EXPECT_EQ(CountBlankWindows(), 0);
    blank(1);
    ASSERT_TRUE(settle(1));
    s.End();
    EXPECT_EQ(CountBlankWindows(), 0);
}

TEST(WinCapture, BlankScreenWithoutWindowKeepsTheUsersTimeout)
{
    UINT before = 0;
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETSCREENSAVETIMEOUT, 0, &before, 0));
    ASSERT_TRUE(SystemParametersInfoW(SPI_SETSCREENSAVETIMEOUT, 600, nullptr, 0));
    auto platform = CreateWindowsBlankScreenPlatform();
    {
        BlankScreen blank(*platform, false);
        blank.Set(true);
        UINT during = 0;
        SystemParametersInfoW(SPI_GETSCREENSAVETIMEOUT, 0, &during, 0);
        EXPECT_EQ(during, static_cast<UINT>(BlankScreen::kBlankTimeoutSeconds));
        blank.Set(true);
        blank.Set(false);
    }
    UINT after = 0;
    SystemParametersInfoW(SPI_GETSCREENSAVETIMEOUT, 0, &after, 0);
    EXPECT_EQ(after, 600u);
    SystemParametersInfoW(SPI_SETSCREENSAVETIMEOUT, before, nullptr, 0);
}

std::wstring Wallpaper()
{
    wchar_t path[1024] = {};
    SystemParametersInfoW(SPI_GETDESKWALLPAPER, 1024, path, 0);
    return path;
}

TEST(WinCapture, WallpaperIsGoneWhileASessionRuns)
{
    wchar_t wall[] = L"C:\\windows\\corvisk-test-wallpaper.bmp";
    ASSERT_TRUE(SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, wall, SPIF_UPDATEINIFILE));
    ASSERT_EQ(Wallpaper(), wall);
    {
        Session s;
        EXPECT_EQ(Wallpaper(), L"");
    }
    EXPECT_EQ(Wallpaper(), wall);
}

} // namespace
