// The shared picture under Wine: the program's own windows and the
// hidden-window list hatched in what the viewer decodes, other windows above
// them shown; the host's and the viewer's clipboard text through the session
// and its gate; and the magnifier capture where its library is missing.
#include "Customer/capture/CaptureFilter.h"
#include "Customer/capture/ChangeRecordsMessage.h"
#include "Customer/capture/HookRect.h"
#include "Customer/capture/GdiScreen.h"
#include "Customer/capture/LocalScreen.h"
#include "Customer/capture/MagnifierCapture.h"
#include "Customer/capture/OwnWindowHatch.h"
#include "Customer/capture/OwnWindowMask.h"
#include "Customer/capture/SharePoint.h"
#include "Customer/session/tests/TestSocket.h"
#include "Customer/session/vncServer.h"
#include "Customer/tests/RfbTestDecoder.h"
#include "Technician/ui/tests/ScreenShot.h"
#include "core/base/AppWindows.h"
#include "core/base/UpdateMessages.h"
#include "Customer/encode/HostLog.h"
#include "rfb/RfbProto.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// A plain window of one colour at a known place.
class Painted {
public:
    Painted(COLORREF colour, int x, int y, int w, int h, DWORD exStyle = 0)
    {
        static int n = 0;
        m_class = L"CorviskShareTest" + std::to_wstring(++n);
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = CreateSolidBrush(colour);
        wc.lpszClassName = m_class.c_str();
        RegisterClassW(&wc);
        hwnd = CreateWindowExW(exStyle, m_class.c_str(), L"", WS_POPUP | WS_VISIBLE, x, y, w, h, nullptr, nullptr,
                               wc.hInstance, nullptr);
        UpdateWindow(hwnd);
    }
    ~Painted()
    {
        if (hwnd && IsWindow(hwnd))
            DestroyWindow(hwnd);
    }
    Painted(const Painted&) = delete;
    Painted& operator=(const Painted&) = delete;
    HWND hwnd = nullptr;

private:
    std::wstring m_class;
};

void Pump(int ms)
{
    const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
    while (static_cast<int>(end - GetTickCount()) > 0) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        Sleep(10);
    }
}

std::vector<uint8_t> Bytes(std::initializer_list<int> v)
{
    std::vector<uint8_t> out;
    for (int b : v)
        out.push_back(static_cast<uint8_t>(b));
    return out;
}

uint32_t Rgb(COLORREF c)
{
    return uint32_t(GetRValue(c)) << 16 | uint32_t(GetGValue(c)) << 8 | GetBValue(c);
}

uint32_t HatchAt(int x, int y)
{
    return HatchLineAt(x, y) ? kHatchLineRgb : kHatchBackRgb;
}

// The program's server on a loopback pair, with the decoder on the far end.
class Session {
public:
    Session()
        : m_created(CreateEventW(nullptr, FALSE, FALSE, L"vnc server is created")), m_pair(LoopbackPair::Sends::AtOnce),
          m_src(m_pair, 10000), m_dec(testrfb::Format(), GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN))
    {
        server = std::make_unique<vncServer>(nullptr, m_pair.nearEnd());
    }
    ~Session()
    {
        m_pair.sendFromFar(Bytes({rfbproto::kDisconnect, 0, 0, 0, 0, 0, 0, 0}));
        for (int i = 0; i < 500 && !server->SessionEnded(); ++i)
            Sleep(10);
        server.reset();
        CloseHandle(m_created);
    }
    // Raw, and with cursorShapes the full-colour cursor shape updates.
    bool Start(bool cursorShapes = false)
    {
        if (server->AddClientDefault(1, 1) != 1 || WaitForSingleObject(m_created, 10000) != WAIT_OBJECT_0)
            return false;
        if (!m_pair.sendFromFar(Bytes({rfbproto::kStartRequest, 1})) || m_dec.readMessage(m_src) != rfbproto::kStartReply)
            return false;
        if (!cursorShapes)
            return m_pair.sendFromFar(Bytes({rfbproto::kSetEncodings, 0, 0, 1, 0, 0, 0, rfbproto::kEncRaw}));
        return m_pair.sendFromFar(
            Bytes({rfbproto::kSetEncodings, 0, 0, 2, 0, 0, 0, rfbproto::kEncRaw, 0xFF, 0xFF, 0xFF, 0x11}));
    }
    // A whole-screen request that is always answered (not incremental); the
    // messages up to the update are read, and true when one of them was a
    // cut text.
    bool Update()
    {
        m_pair.sendFromFar(Bytes({rfbproto::kFramebufferUpdateRequest, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
        bool cut = false;
        for (;;) {
            const int type = m_dec.readMessage(m_src);
            if (type == rfbproto::kServerCutText)
                cut = true;
            if (type == rfbproto::kFramebufferUpdate)
                return cut;
        }
    }
    void SendCutText(const std::string& text)
    {
        std::vector<uint8_t> msg = Bytes({rfbproto::kClientCutText, 0, 0, 0, 0, 0, 0, 0});
        const uint32_t n = static_cast<uint32_t>(text.size());
        msg[4] = static_cast<uint8_t>(n >> 24);
        msg[5] = static_cast<uint8_t>(n >> 16);
        msg[6] = static_cast<uint8_t>(n >> 8);
        msg[7] = static_cast<uint8_t>(n);
        msg.insert(msg.end(), text.begin(), text.end());
        m_pair.sendFromFar(msg);
    }
    testrfb::Decoder& dec() { return m_dec; }
    viewertest::Picture Picture() const
    {
        viewertest::Picture p;
        p.width = m_dec.width();
        p.height = m_dec.height();
        for (int y = 0; y < p.height; ++y)
            for (int x = 0; x < p.width; ++x)
                p.pixels.push_back(m_dec.pixel(x, y) & 0xFFFFFF);
        return p;
    }
    std::unique_ptr<vncServer> server;

private:
    HANDLE m_created;
    LoopbackPair m_pair;
    ViewerSource m_src;
    testrfb::Decoder m_dec;
};

constexpr COLORREF kOwn = RGB(0xD0, 0x20, 0x40);
constexpr COLORREF kOther = RGB(0x20, 0xC0, 0x30);
constexpr COLORREF kListed = RGB(0x30, 0x40, 0xE0);

// The hidden-window list and the program's own windows are hatched over
// their visible parts; a window above them shows; hidden or destroyed
// windows leave no hatch.
TEST(SharedAreaWine, OwnWindowsAreHatchedInTheDecodedFrame)
{
    Painted hidden(kOwn, 100, 100, 300, 200);
    Painted own(kListed, 500, 100, 200, 150);
    Painted other(kOther, 300, 150, 150, 100, WS_EX_TOPMOST);  // over the right part of hidden
    ASSERT_TRUE(hidden.hwnd && own.hwnd && other.hwnd);
    SetHiddenFromShare(hidden.hwnd, true);
    RegisterAppWindow(own.hwnd);
    Pump(300);

    Session s;
    ASSERT_TRUE(s.Start());
    s.Update();
    const testrfb::Decoder& d = s.dec();
    viewertest::SavePng(s.Picture(), "shared_area_hatched");
    for (const POINT p : {POINT{110, 110}, POINT{111, 110}, POINT{200, 180}, POINT{299, 299}, POINT{104, 100}})
        EXPECT_EQ(d.pixel(p.x, p.y) & 0xFFFFFF, HatchAt(p.x, p.y)) << p.x << "," << p.y;
    for (const POINT p : {POINT{550, 150}, POINT{600, 200}, POINT{504, 100}})
        EXPECT_EQ(d.pixel(p.x, p.y) & 0xFFFFFF, HatchAt(p.x, p.y)) << "registered " << p.x << "," << p.y;
    // The other process's window above shows, exactly over the overlap.
    EXPECT_EQ(d.pixel(350, 200) & 0xFFFFFF, Rgb(kOther));
    EXPECT_EQ(d.pixel(300, 150) & 0xFFFFFF, Rgb(kOther));
    EXPECT_EQ(d.pixel(299, 150) & 0xFFFFFF, HatchAt(299, 150));
    // Outside every window: not hatched.
    EXPECT_NE(d.pixel(800, 500) & 0xFFFFFF, kHatchLineRgb);

    ShowWindow(hidden.hwnd, SW_HIDE);
    DestroyWindow(own.hwnd);
    Pump(300);
    s.Update();
    // The desktop thread grabs the screen on its own schedule, slower on a
    // busy machine: wait for a frame taken after the window went.
    for (int i = 0; i < 50 && (d.pixel(550, 150) & 0xFFFFFF) == Rgb(kListed); ++i) {
        Pump(100);
        s.Update();
    }
    viewertest::SavePng(s.Picture(), "shared_area_unhatched");
    int hatchLike = 0;
    for (int x = 100; x < 300; ++x)
        hatchLike += (d.pixel(x, 110) & 0xFFFFFF) == HatchAt(x, 110);
    EXPECT_LT(hatchLike, 200) << "a hidden listed window leaves no hatch";
    EXPECT_NE(d.pixel(550, 150) & 0xFFFFFF, Rgb(kListed));
    EXPECT_NE(d.pixel(552, 150) & 0xFFFFFF, HatchAt(552, 150) == 0 ? 0x808080u : 0u);
    SetHiddenFromShare(hidden.hwnd, false);
}

std::string HostClipboard()
{
    std::string text;
    if (!OpenClipboard(nullptr))
        return "<closed>";
    if (HANDLE h = GetClipboardData(CF_TEXT)) {
        if (const char* p = static_cast<const char*>(GlobalLock(h))) {
            text.assign(p, strnlen(p, GlobalSize(h)));
            GlobalUnlock(h);
        }
    }
    CloseClipboard();
    return text;
}

void SetHostClipboard(const std::string& text)
{
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    std::memcpy(GlobalLock(mem), text.c_str(), text.size() + 1);
    GlobalUnlock(mem);
    SetClipboardData(CF_TEXT, mem);
    CloseClipboard();
}

// The host's text reaches the viewer without carriage returns; the viewer's
// lands with them and is not sent back; what was on the clipboard when the
// session began is not sent.
TEST(SharedAreaWine, ClipboardBothWaysThroughTheSession)
{
    SetHostClipboard("before the session");
    Session s;
    ASSERT_TRUE(s.Start());
    EXPECT_FALSE(s.Update()) << "the notification on joining the chain sends nothing";

    SetHostClipboard("a\r\nb");
    Pump(300);
    EXPECT_TRUE(s.Update());
    EXPECT_EQ(s.dec().cutText, "a\nb");

    s.SendCutText("x\ny");
    Pump(300);
    EXPECT_EQ(HostClipboard(), "x\r\ny");
    EXPECT_FALSE(s.Update()) << "the viewer's own text is not echoed";
    Pump(200);
    EXPECT_FALSE(s.Update());

    // Another viewer joining the chain and leaving it again leaves the watch
    // in it.
    HWND other = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    HWND next = SetClipboardViewer(other);
    Pump(100);
    ChangeClipboardChain(other, next);
    DestroyWindow(other);
    Pump(100);
    SetHostClipboard("after\r\nthe chain changed");
    Pump(300);
    EXPECT_TRUE(s.Update());
    EXPECT_EQ(s.dec().cutText, "after\nthe chain changed");

    // A clipboard held open elsewhere: the host's stays as it was and the
    // session goes on.
    ASSERT_TRUE(OpenClipboard(nullptr));
    s.SendCutText("held");
    Pump(300);
    CloseClipboard();
    EXPECT_EQ(HostClipboard(), "after\r\nthe chain changed");
    s.Update();
}

// With nobody in control nothing moves either way.
TEST(SharedAreaWine, ClipboardGateClosed)
{
    Session s;
    bool control = false;
    s.server->SetControlGate([&] { return control; });
    ASSERT_TRUE(s.Start());
    s.Update();
    SetHostClipboard("host text");
    Pump(300);
    EXPECT_FALSE(s.Update());
    s.SendCutText("viewer text");
    Pump(300);
    EXPECT_EQ(HostClipboard(), "host text");
    control = true;
    s.SendCutText("now\nin control");
    Pump(300);
    EXPECT_EQ(HostClipboard(), "now\r\nin control");
}

bool HasCursorRect(const testrfb::Decoder& d)
{
    for (const testrfb::RectInfo& r : d.lastUpdateRects)
        if (r.encoding == rfbproto::kEncRichCursor)
            return true;
    return false;
}

// Makes the hooks library's double (built beside the test programs) refuse
// SetHooks while it lives, as a host without the library runs.
class HooksRefused {
public:
    HooksRefused() { SetEnvironmentVariableW(L"CORVISK_HOOKS_REFUSE", L"1"); }
    ~HooksRefused() { SetEnvironmentVariableW(L"CORVISK_HOOKS_REFUSE", nullptr); }
    HooksRefused(const HooksRefused&) = delete;
    HooksRefused& operator=(const HooksRefused&) = delete;
};

// Without hooks the host's cursor is read on every grab: a new cursor goes
// to the viewer as a shape.
TEST(SharedAreaWine, CursorShapeFollowsTheHost)
{
    HooksRefused noHooks;
    Painted w(kOther, 200, 200, 300, 200);
    SetForegroundWindow(w.hwnd);
    SetCursorPos(350, 300);
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    Pump(200);

    Session s;
    ASSERT_TRUE(s.Start(true));
    // The session's opening updates carry the shape it starts with.
    bool opening = false;
    for (int i = 0; i < 3 && !opening; ++i) {
        s.Update();
        opening = HasCursorRect(s.dec());
    }
    EXPECT_TRUE(opening);
    s.Update();
    EXPECT_FALSE(HasCursorRect(s.dec())) << "no change, no shape";
    SetCursor(LoadCursorW(nullptr, IDC_CROSS));
    Pump(200);
    CURSORINFO ci;
    ci.cbSize = sizeof ci;
    ASSERT_TRUE(GetCursorInfo(&ci));
    ASSERT_EQ(ci.hCursor, LoadCursorW(nullptr, IDC_CROSS)) << "Wine shows the cursor set here";
    s.Update();
    EXPECT_TRUE(HasCursorRect(s.dec())) << "a new cursor is a new shape";
    const testrfb::CursorShape cross = s.dec().cursor;
    EXPECT_EQ(cross.encoding, rfbproto::kEncRichCursor);
    EXPECT_GT(cross.w, 0);
    s.Update();
    EXPECT_FALSE(HasCursorRect(s.dec()));
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
}

// The viewer's point: a child control gives its top-level window, which the
// selection then shares; the bare desktop gives the primary display.
TEST(SharedAreaWine, PointOnAButtonSharesItsWindow)
{
    Painted w(kOther, 200, 200, 300, 200);
    HWND button = CreateWindowExW(0, L"BUTTON", L"Share", WS_CHILD | WS_VISIBLE, 20, 20, 100, 30, w.hwnd, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(button);
    Pump(200);
    DisplaySelection selection;
    EXPECT_EQ(selection.SetSW(250, 230, [] { return ResolveSharePoint(250, 230); }), 0);
    EXPECT_EQ(selection.SharedWindow(), reinterpret_cast<uintptr_t>(w.hwnd));

    const PointTarget bare = ResolveSharePoint(GetSystemMetrics(SM_CXSCREEN) - 5, GetSystemMetrics(SM_CYSCREEN) - 5);
    EXPECT_EQ(static_cast<int>(bare.kind), static_cast<int>(PointTarget::Kind::Desktop));
    EXPECT_TRUE(bare.primaryDisplay);
    EXPECT_EQ(selection.SetSW(GetSystemMetrics(SM_CXSCREEN) - 5, GetSystemMetrics(SM_CYSCREEN) - 5,
                              [] { return ResolveSharePoint(GetSystemMetrics(SM_CXSCREEN) - 5,
                                                            GetSystemMetrics(SM_CYSCREEN) - 5); }),
              0);
    EXPECT_FALSE(selection.SingleWindow());
    EXPECT_EQ(selection.Requested(), kDisplayFirst);
}

struct CopyDataSink {
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
    {
        if (msg == WM_COPYDATA) {
            PostChangeRecords(hwnd, reinterpret_cast<const COPYDATASTRUCT*>(lp));
            return TRUE;
        }
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
};

// One real WM_COPYDATA to a window that hands it on: one "Update.DrawRect"
// per record, in the hooks library's packing; the data is not kept.
TEST(SharedAreaWine, CopyDataBecomesDrawRects)
{
    RegisterUpdateMessages();
    WNDCLASSW wc{};
    wc.lpfnWndProc = CopyDataSink::Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"CorviskCopyDataSink";
    RegisterClassW(&wc);
    HWND sink = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_TRUE(sink);
    std::string text = "0010 0020 0110 0120 00x0 0000 0001 0001 ";
    COPYDATASTRUCT cds{112233, static_cast<DWORD>(text.size()), &text[0]};
    SendMessageW(sink, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
    text.assign(text.size(), '9');  // the sender's buffer is gone after the message
    std::vector<MSG> got;
    MSG m;
    while (PeekMessageW(&m, sink, g_msgUpdateDrawRect, g_msgUpdateDrawRect, PM_REMOVE))
        got.push_back(m);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].wParam, static_cast<WPARAM>(10 | 20 << 16));
    EXPECT_EQ(got[0].lParam, static_cast<LPARAM>(110 | 120 << 16));
    cds.dwData = 1;  // another identifier: nothing
    SendMessageW(sink, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
    EXPECT_FALSE(PeekMessageW(&m, sink, g_msgUpdateDrawRect, g_msgUpdateDrawRect, PM_REMOVE));
    // Negative corners keep their sign in the halves.
    EXPECT_EQ(PackHookPair(-5, -2), 0xFFFEFFFBu);
    DestroyWindow(sink);
}

std::vector<std::string>* g_lines = nullptr;

void KeepLine(int, const char* line)
{
    if (g_lines)
        g_lines->push_back(line);
}

bool Logged(const std::vector<std::string>& lines, const char* text)
{
    for (const std::string& l : lines)
        if (l.find(text) != std::string::npos)
            return true;
    return false;
}

// Wine has no screen-saver desktop and reports composition off: both
// measures take their quiet path, with their log lines.
TEST(SharedAreaWine, ScreenSaverAndCompositionAbsent)
{
    std::vector<std::string> lines;
    g_lines = &lines;
    HostLogSink old = SetHostLogSink(KeepLine);
    KillScreenSaver();
    {
        const DWORD start = GetTickCount();
        CompositionOff composition;
        EXPECT_FALSE(composition.SwitchedOff());
        EXPECT_LT(GetTickCount() - start, 1000u) << "no settling wait when nothing was switched";
    }
    SetHostLogSink(old);
    g_lines = nullptr;
    EXPECT_TRUE(Logged(lines, "KillScreenSaver..."));
    EXPECT_FALSE(Logged(lines, "Killing ScreenSaver"));
    EXPECT_TRUE(Logged(lines, "composition is off") || Logged(lines, "no composition library"));
}

// Wine has no magnification.dll: the capture loads nothing else, never runs,
// and grabs read the screen without asking it.
TEST(SharedAreaWine, MagnifierAbsentLibrary)
{
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    EXPECT_EQ(LoadLibraryW((std::wstring(system) + L"\\magnification.dll").c_str()), nullptr)
        << "this prefix has no magnifier";
    const int wasEnabled = MagnifierCapture::g_enabled;
    MagnifierCapture::g_enabled = 1;  // as on Windows 10 without sensors
    MagnifierCapture::Init();
    EXPECT_FALSE(MagnifierCapture::Running());
    MagnifierCapture::Init();  // again: still nothing, no window made
    EXPECT_FALSE(MagnifierCapture::Running());
    EXPECT_EQ(FindWindowW(L"Magnifier", nullptr), nullptr);

    Painted w(kOwn, 50, 50, 100, 100);
    Pump(300);
    RefreshCaptureFilter(w.hwnd);  // harmless
    RefreshCaptureFilter(nullptr);

    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, 10, 10);
    HGDIOBJ old = SelectObject(mem, bmp);
    SetPixel(mem, 1, 1, RGB(1, 2, 3));
    EXPECT_EQ(MagnifierCapture::CopyTo(mem, 0, 0, 10, 10, 0, 0), 0);
    EXPECT_EQ(GetPixel(mem, 1, 1), RGB(1, 2, 3)) << "the destination is not touched";
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);

    // A grab asks the magnifier only while it runs: never here.
    auto grab = ComposeOwnWindows(CreateGdiScreen());
    ASSERT_TRUE(grab);
    const unsigned calls = MagnifierCapture::CopyCalls();
    const ScreenInfo info = grab->Info();
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(grab->CaptureRect(rfb::Rect(0, i * 10, info.width, i * 10 + 10), grab->Bits(),
                                      DibStride(info.width, info.format.bitsPerPixel)));
    EXPECT_EQ(MagnifierCapture::CopyCalls(), calls);
    uint32_t px;
    std::memcpy(&px, grab->Bits() + 100 * DibStride(info.width, 32) + 100 * 4, 4);
    EXPECT_EQ(px & 0xFFFFFF, Rgb(kOwn)) << "the screen itself was read";

    MagnifierCapture::Close();
    MagnifierCapture::Close();
    EXPECT_FALSE(MagnifierCapture::Running());
    MagnifierCapture::g_enabled = wasEnabled;
}

} // namespace
