// The program's server under Wine against the X server's screen: display
// enumeration, the GDI grab of a window of known colour, and a whole session
// through the real socket, desktop and "vnc server is created" event.
#include "Customer/capture/DisplayLayout.h"
#include "Customer/capture/GdiScreen.h"
#include "rfb/RfbProto.h"
#include "Customer/input/LocalInputHooks.h"
#include "Customer/session/WinHost.h"
#include "Customer/tests/RfbTestDecoder.h"
#include "Customer/session/tests/TestSocket.h"
#include "Customer/session/vncServer.h"
#include "core/base/tests/QuietMeetingContext.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include <windows.h>

namespace {

constexpr COLORREF kPaint = RGB(0xD0, 0x20, 0x40);
constexpr int kX = 100, kY = 120, kW = 200, kH = 150;

// A topmost window filled with one colour, shown at a known place.
class ColourWindow {
public:
    ColourWindow()
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = CreateSolidBrush(kPaint);
        wc.lpszClassName = L"CorviskGrabTest";
        RegisterClassW(&wc);
        m_hwnd = CreateWindowExW(WS_EX_TOPMOST, L"CorviskGrabTest", L"", WS_POPUP | WS_VISIBLE, kX, kY, kW, kH,
                                 nullptr, nullptr, wc.hInstance, nullptr);
        UpdateWindow(m_hwnd);
        Pump(500);
    }
    ~ColourWindow()
    {
        if (m_hwnd)
            DestroyWindow(m_hwnd);
    }
    static void Pump(int ms)
    {
        const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
        while (GetTickCount() < end) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            Sleep(10);
        }
    }
    bool ok() const { return m_hwnd != nullptr; }

private:
    HWND m_hwnd = nullptr;
};

uint32_t Expected888()
{
    return uint32_t(GetRValue(kPaint)) << 16 | uint32_t(GetGValue(kPaint)) << 8 | GetBValue(kPaint);
}

TEST(WinHost, DisplaysAndOsClass)
{
    DisplayLayout layout;
    ASSERT_TRUE(ReadDisplayLayout(layout));
    EXPECT_EQ(layout.monitorCount, 1);
    EXPECT_EQ(CountDisplayMonitors(), 1);
    EXPECT_EQ(layout.primary.width, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(layout.primary.height, GetSystemMetrics(SM_CYSCREEN));
    EXPECT_EQ(layout.virtualScreen.width, GetSystemMetrics(SM_CXVIRTUALSCREEN));
    const int cls = ComputeServerOsClass();
    EXPECT_TRUE(cls == 1 || cls == 2) << cls;
    EXPECT_TRUE(FindMirrorDriverDevice().empty());
}

TEST(WinHost, GdiGrabSeesTheWindow)
{
    ColourWindow window;
    ASSERT_TRUE(window.ok());
    auto screen = CreateGdiScreen();
    ASSERT_TRUE(screen);
    const ScreenInfo info = screen->Info();
    EXPECT_EQ(info.width, GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(info.format.bitsPerPixel, 32);
    EXPECT_EQ(info.format.redShift, 16);
    EXPECT_EQ(info.format.redMax, 255);
    const size_t stride = DibStride(info.width, 32);
    ASSERT_TRUE(screen->CaptureRect(rfb::Rect(0, 0, info.width, info.height), screen->Bits(), stride));
    uint32_t inside, outside;
    std::memcpy(&inside, screen->Bits() + static_cast<size_t>(kY + kH / 2) * stride + (kX + kW / 2) * 4, 4);
    std::memcpy(&outside, screen->Bits() + static_cast<size_t>(kY + kH + 20) * stride + (kX + kW + 20) * 4, 4);
    EXPECT_EQ(inside & 0xFFFFFF, Expected888());
    EXPECT_NE(outside & 0xFFFFFF, Expected888());
}

std::vector<uint8_t> Bytes(std::initializer_list<int> v)
{
    std::vector<uint8_t> out;
    for (int b : v)
        out.push_back(static_cast<uint8_t>(b));
    return out;
}

// The program's own server object on a loopback pair, as the manager makes
// it, started and waited for through the "vnc server is created" event.
struct ProgramSession {
    explicit ProgramSession(MeetingContext* meeting = nullptr)
        : created(CreateEventW(nullptr, FALSE, FALSE, L"vnc server is created"))
    {
        if (!created || !pair.ok())
            return;
        server = std::make_unique<vncServer>(meeting, pair.nearEnd());
        server->SetName("Presenter");
        started = server->AddClientDefault(1, 1) == 1 && WaitForSingleObject(created, 10000) == WAIT_OBJECT_0;
    }
    ~ProgramSession()
    {
        server.reset();
        if (created)
            CloseHandle(created);
    }
    // The viewer's disconnect; true once the session has ended.
    bool Disconnect()
    {
        if (!pair.sendFromFar(Bytes({rfbproto::kDisconnect, 0, 0, 0, 0, 0, 0, 0})))
            return false;
        for (int i = 0; i < 1000 && !server->SessionEnded(); ++i)
            Sleep(10);
        return server->SessionEnded();
    }

    HANDLE created;
    LoopbackPair pair{LoopbackPair::Sends::AtOnce};
    std::unique_ptr<vncServer> server;
    bool started = false;
};

// The program's own server object, as the manager makes it.
TEST(WinHost, ProgramServerSharesTheScreen)
{
    ColourWindow window;
    ASSERT_TRUE(window.ok());
    ProgramSession session;
    ASSERT_TRUE(session.started);
    LoopbackPair& pair = session.pair;

    const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    testrfb::Format fmt;  // 32 bpp, 8-8-8 at 16, 8, 0, little-endian
    testrfb::Decoder dec(fmt, sw, sh);
    ViewerSource src(pair, 10000);
    ASSERT_TRUE(pair.sendFromFar(Bytes({rfbproto::kStartRequest, 1})));
    ASSERT_EQ(dec.readMessage(src), rfbproto::kStartReply);
    EXPECT_EQ(dec.width(), sw);
    EXPECT_EQ(dec.height(), sh);
    EXPECT_EQ(dec.startFormat[0], 32);

    for (int encoding : {rfbproto::kEncZRLE, rfbproto::kEncHextile, rfbproto::kEncRaw}) {
        ASSERT_TRUE(pair.sendFromFar(Bytes({rfbproto::kSetEncodings, 0, 0, 1, 0, 0, 0, encoding})));
        ASSERT_TRUE(pair.sendFromFar(Bytes({rfbproto::kFramebufferUpdateRequest, 0, 0, 0, 0, 0, 0, 0, 0, 0})));
        ASSERT_EQ(dec.readMessage(src), rfbproto::kFramebufferUpdate);
        ASSERT_FALSE(dec.lastUpdateRects.empty());
        EXPECT_EQ(dec.lastUpdateRects.back().encoding, encoding);
        EXPECT_EQ(dec.pixel(kX + kW / 2, kY + kH / 2) & 0xFFFFFF, Expected888());
        EXPECT_EQ(dec.pixel(kX + 1, kY + 1) & 0xFFFFFF, Expected888());
    }

    EXPECT_TRUE(session.Disconnect());
    // The event is a start signal only: the end leaves it unset.
    EXPECT_EQ(WaitForSingleObject(session.created, 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

// A focused window that notes the characters and key messages it gets.
class KeyRecorder {
public:
    KeyRecorder()
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &KeyRecorder::Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"CorviskKeyRecorder";
        RegisterClassW(&wc);
        m_hwnd = CreateWindowW(L"CorviskKeyRecorder", L"Recorder", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 30, 30, 240,
                               120, nullptr, nullptr, wc.hInstance, nullptr);
        ColourWindow::Pump(200);
        SetForegroundWindow(m_hwnd);
        SetFocus(m_hwnd);
        ColourWindow::Pump(100);
    }
    ~KeyRecorder() { DestroyWindow(m_hwnd); }
    bool ok() const { return m_hwnd != nullptr; }
    HWND window() const { return m_hwnd; }
    static std::wstring chars;
    static std::string keys;
    static int takeBacks;

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
    {
        if (msg == WM_CHAR)
            chars += static_cast<wchar_t>(wp);
        if (msg == WM_COMMAND && wp == kTakeBackControlCommand)
            ++takeBacks;
        if (msg == WM_KEYDOWN || msg == WM_KEYUP) {
            char s[8];
            std::snprintf(s, sizeof s, " %c%02X", msg == WM_KEYDOWN ? 'd' : 'u', static_cast<unsigned>(wp));
            keys += s;
        }
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
    HWND m_hwnd = nullptr;
};
std::wstring KeyRecorder::chars;
std::string KeyRecorder::keys;
int KeyRecorder::takeBacks = 0;

class ControlSwitch : public QuietMeetingContext {
public:
    bool RemoteControlActive() const override { return given.load(); }
    std::atomic<bool> given{false};
};

// The viewer's KeyEvents through the program's server over the loopback:
// nothing reaches the focused window while nobody holds control; with
// control the keys type, and the presenter's input watch does not take them
// for the presenter's own (Alt and keypad digits included); a Shift held
// when control is taken back goes up.
TEST(WinHost, ProgramServerTypesOnlyWithControl)
{
    KeyRecorder recorder;
    ASSERT_TRUE(recorder.ok());
    ControlSwitch meeting;
    ProgramSession session(&meeting);
    ASSERT_TRUE(session.started);
    LoopbackPair& pair = session.pair;
    auto key = [&](int keysym, bool down) {
        ASSERT_TRUE(pair.sendFromFar(Bytes({rfbproto::kKeyEvent, down ? 1 : 0, 0, 0, 0, 0, (keysym >> 8) & 0xFF,
                                            keysym & 0xFF})));
    };
    auto type = [&](int keysym) {
        key(keysym, true);
        key(keysym, false);
    };
    // Injected keys arrive when the session's thread and Wine get to them:
    // on a busy machine later than any fixed pause.
    auto pumpUntil = [](const std::function<bool()>& done) {
        for (int i = 0; i < 100 && !done(); ++i)
            ColourWindow::Pump(50);
        ColourWindow::Pump(100);
    };
    auto shiftDown = [] { return (GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0; };
    type('a');
    ColourWindow::Pump(400);
    EXPECT_EQ(KeyRecorder::chars, L"");

    meeting.given = true;
    ASSERT_EQ(InstallLocalInputHooks(recorder.window()), 1);
    type('b');
    type('C');
    type('1');
    for (int i = 0; i < 3; ++i) {
        type(0xFE51);  // dead acute: e goes as Alt 1 3 0
        type('e');
    }
    key(0xFFE1, true);
    pumpUntil([&] {
        const std::string& k = KeyRecorder::keys;
        return k.size() >= 4 && k.compare(k.size() - 4, 4, " d10") == 0;
    });
    RemoveLocalInputHooks();
    EXPECT_EQ(KeyRecorder::takeBacks, 0);
    EXPECT_EQ(KeyRecorder::chars, L"bC1");
    EXPECT_TRUE(GetAsyncKeyState(VK_SHIFT) & 0x8000);

    // Taken back: the next message from the viewer's stream (here the host's
    // own update request) lets the Shift go; the viewer's keys stop.
    meeting.given = false;
    KeyRecorder::keys.clear();
    ASSERT_TRUE(pair.sendFromFar(Bytes({rfbproto::kFramebufferUpdateRequest, 1, 0, 0, 0, 0, 0, 0, 0, 0})));
    type('d');
    pumpUntil([&] { return !shiftDown(); });
    EXPECT_FALSE(GetAsyncKeyState(VK_SHIFT) & 0x8000) << KeyRecorder::keys;
    EXPECT_EQ(KeyRecorder::keys, " u10");
    EXPECT_EQ(KeyRecorder::chars, L"bC1");

    // A Shift held when the session ends goes up with the desktop thread.
    meeting.given = true;
    key(0xFFE1, true);
    pumpUntil(shiftDown);
    EXPECT_TRUE(GetAsyncKeyState(VK_SHIFT) & 0x8000);
    EXPECT_TRUE(session.Disconnect());
    pumpUntil([&] { return !shiftDown(); });
    EXPECT_FALSE(GetAsyncKeyState(VK_SHIFT) & 0x8000);
}

// Wine's own desktops: a fresh thread is on the input desktop; after the
// session's thread attaches to it (a new handle), the teardown's restore
// puts the thread back on the handle it started with.
TEST(WinHost, ThreadReturnsToTheDesktopItStartedOn)
{
    bool onInput = false, attached = false, restored = false;
    std::thread t([&] {
        auto platform = CreateWindowsHostPlatform();
        HDESK own = GetThreadDesktop(GetCurrentThreadId());
        onInput = platform->InputDesktopSelected() == HostPlatform::InputDesktop::Selected;
        platform->RememberThreadDesktop();
        attached = platform->AttachToInputDesktop() && GetThreadDesktop(GetCurrentThreadId()) != own;
        platform->RestoreThreadDesktop();
        restored = GetThreadDesktop(GetCurrentThreadId()) == own;
    });
    t.join();
    EXPECT_TRUE(onInput);
    EXPECT_TRUE(attached);
    EXPECT_TRUE(restored);
}

} // namespace
