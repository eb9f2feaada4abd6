// The viewer's windows under Wine on Xvfb: the windows CreateWindows makes,
// the client area at true size equal to our host's frame pixel for pixel,
// black beyond the picture, before it and after a pause, painting switched by
// 1035, the frame's close, minimise (dormant) and full screen, and the
// display options written when the GUI goes. Each state saved as a PNG.
#include "Technician/connection/tests/HostPeer.h"
#include "Technician/ui/tests/ViewerFixture.h"
#include "core/base/DHLog.h"
#include "core/base/Registry.h"
#include "core/base/ThreadMessages.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace viewertest {
namespace {

constexpr int kW = 160;
constexpr int kH = 100;

std::wstring ClassOf(HWND hwnd)
{
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

std::wstring TitleOf(HWND hwnd)
{
    wchar_t text[128] = {};
    GetWindowTextW(hwnd, text, 128);
    return text;
}

RECT RectIn(HWND hwnd, HWND parent)
{
    RECT r;
    GetWindowRect(hwnd, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Pixels of the window's picture area that differ from the framebuffer.
int Differences(const Picture& shot, decode::Framebuffer& fb)
{
    const decode::Framebuffer::View v = fb.view();
    int bad = 0;
    for (int y = 0; y < fb.height() && y < shot.height; ++y)
        for (int x = 0; x < fb.width() && x < shot.width; ++x)
            bad += shot.at(x, y) != (v.pixel(x, y) & 0xFFFFFF);
    return bad;
}

TEST(ViewerWindow, CreateWindowsMakesFrameContainerBandViewerAndSplitter)
{
    HICON big = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(137), IMAGE_ICON,
                                              GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CXICON), LR_SHARED));
    HICON small = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(140), IMAGE_ICON,
                                                GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CXSMICON),
                                                LR_SHARED));
    HWND viewerWindow = nullptr;
    // The second GUI finds the classes registered by the first: no failure.
    for (int round = 0; round < 2; ++round) {
        Viewer v;
        TechnicianGUI& g = v.gui;
        EXPECT_EQ(ClassOf(g.m_hwndFrame), L"Corvisk_Window");
        EXPECT_EQ(TitleOf(g.m_hwndFrame), L"Secure Parlemo");
        EXPECT_TRUE(GetWindowLongPtrW(g.m_hwndFrame, GWL_STYLE) & WS_CAPTION);
        ASSERT_NE(big, nullptr);
        EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(g.m_hwndFrame, WM_GETICON, ICON_BIG, 0)), big);
        EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(g.m_hwndFrame, WM_GETICON, ICON_SMALL, 0)), small);

        EXPECT_EQ(ClassOf(g.m_hwndContainer), L"Button");
        EXPECT_EQ(GetParent(g.m_hwndContainer), g.m_hwndFrame);
        RECT container;
        GetClientRect(g.m_hwndContainer, &container);

        // The band: the rebar across the container, 22 pixels high.
        EXPECT_EQ(ClassOf(g.m_hwndToolbar), L"ReBarWindow32");
        EXPECT_EQ(GetParent(g.m_hwndToolbar), g.m_hwndContainer);
        const RECT band = RectIn(g.m_hwndToolbar, g.m_hwndContainer);
        EXPECT_EQ(band.top, 0);
        EXPECT_EQ(band.bottom - band.top, 22);
        EXPECT_EQ(band.right - band.left, container.right);
        EXPECT_EQ(ClassOf(g.Zoom().Toolbar()), L"ToolbarWindow32");
        EXPECT_EQ(SendMessageW(g.Zoom().Combo(), CB_GETCOUNT, 0, 0), 9);

        // The viewer window fills the rest.
        EXPECT_EQ(ClassOf(g.m_hwndViewer), L"DHviewerwindow");
        EXPECT_EQ(TitleOf(g.m_hwndViewer), L"DurnhelmViewer");
        EXPECT_EQ(GetParent(g.m_hwndViewer), g.m_hwndContainer);
        const RECT viewer = RectIn(g.m_hwndViewer, g.m_hwndContainer);
        EXPECT_EQ(viewer.top, 22);
        EXPECT_EQ(viewer.bottom, container.bottom);
        EXPECT_EQ(viewer.right - viewer.left, container.right);
        EXPECT_EQ(reinterpret_cast<HCURSOR>(GetClassLongPtrW(g.m_hwndViewer, GCLP_HCURSOR)),
                  LoadCursorW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(157)));
        EXPECT_NE(LoadCursorW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(156)), nullptr);

        EXPECT_EQ(ClassOf(g.m_hwndSplitter), L"TechnicianLayoutSplitter");
        EXPECT_EQ(TitleOf(g.m_hwndSplitter), L"SizeTracker");
        EXPECT_TRUE(IsWindowVisible(g.m_hwndSplitter));

        EXPECT_EQ(GetClipboardViewer(), g.m_hwndViewer) << "in the clipboard-viewer chain";
        viewerWindow = g.m_hwndViewer;
        PumpUntil([] { return false; }, 100);
        SavePng(Capture(g.m_hwndFrame), round == 0 ? "windows_created" : "windows_created_second");
    }
    EXPECT_NE(GetClipboardViewer(), viewerWindow) << "the chain is left when the GUI goes";
}

// Counts the clipboard-chain messages that reach it.
int g_drawClipboard = 0;
LRESULT CALLBACK ChainProbe(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_DRAWCLIPBOARD) {
        ++g_drawClipboard;
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

// The viewer window passes the chain's messages on to the next viewer and
// follows the chain when that one leaves.
TEST(ViewerWindow, ClipboardChainPassedOn)
{
    WNDCLASSW wc = {};
    wc.lpfnWndProc = ChainProbe;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ViewerChainProbe";
    RegisterClassW(&wc);
    HWND probe = CreateWindowW(L"ViewerChainProbe", L"", WS_OVERLAPPED, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance,
                               nullptr);
    ASSERT_NE(probe, nullptr);
    SetClipboardViewer(probe);
    Viewer v;
    g_drawClipboard = 0;
    SendMessageW(v.gui.m_hwndViewer, WM_DRAWCLIPBOARD, 0, 0);
    EXPECT_EQ(g_drawClipboard, 1) << "passed on to the next viewer";
    SendMessageW(v.gui.m_hwndViewer, WM_CHANGECBCHAIN, reinterpret_cast<WPARAM>(probe), 0);
    SendMessageW(v.gui.m_hwndViewer, WM_DRAWCLIPBOARD, 0, 0);
    EXPECT_EQ(g_drawClipboard, 1) << "the next viewer left the chain";
    DestroyWindow(probe);
}

TEST(ViewerWindow, BlackBeforeThePicture)
{
    Viewer v;
    PumpUntil([] { return false; }, 200);
    const Picture shot = Capture(v.gui.m_hwndViewer);
    SavePng(shot, "before_first_picture");
    ASSERT_GT(shot.width, 0);
    EXPECT_EQ(shot.at(shot.width / 2, shot.height / 2), 0u);
}

TEST(ViewerWindow, TrueSizeEqualsTheHostFrameThenPauseBlackens)
{
    for (int depth : {1, 0}) {
        viewer::testing::HostPeer host(kW, kH);
        Viewer v;
        v.gui.Options().colourDepth = depth;
        v.gui.Options().display.fitToWindow = false;
        ClientConnection* conn = v.Connect(host.viewerSocket());
        ASSERT_NE(conn, nullptr);
        viewer::ClientFormat format;
        ASSERT_TRUE(viewer::ClientFormatFor(depth, testframes::Host32(), format));
        // First the host's frame in the framebuffer, then the same on the screen.
        EXPECT_TRUE(PumpUntil([&] { return host.mismatches(*conn->Framebuffer(), format.pf) == 0; }, 8000))
            << conn->Connected() << " " << host.mismatches(*conn->Framebuffer(), format.pf);
        Picture shot;
        const bool shown = PumpUntil(
            [&] {
                shot = Capture(v.gui.m_hwndViewer);
                return Differences(shot, *conn->Framebuffer()) == 0 && shot.at(kW + 5, 5) == 0;
            },
            3000);
        SavePng(shot, depth == 1 ? "true_size_depth1" : "true_size_depth0");
        EXPECT_TRUE(shown) << "depth " << depth;
        EXPECT_EQ(shot.at(kW + 10, kH / 2), 0u) << "black right of the picture";
        EXPECT_EQ(shot.at(kW / 2, kH + 10), 0u) << "black below the picture";

        // The pause: the reader ends, the window goes black.
        conn->Stop();
        EXPECT_EQ(WaitForSingleObject(conn->ReadyEvent(), 0), WAIT_OBJECT_0);
        PumpUntil([] { return false; }, 300);
        shot = Capture(v.gui.m_hwndViewer);
        SavePng(shot, depth == 1 ? "after_pause_depth1" : "after_pause_depth0");
        EXPECT_EQ(shot.at(kW / 4, kH / 4), 0u);
        EXPECT_FALSE(v.gui.Painting());
    }
}

// 1035 switches painting; a WM_PAINT while it is off validates the window
// without drawing over what it shows.
TEST(ViewerWindow, SessionMessageSwitchesPainting)
{
    Viewer v;
    HWND w = v.gui.m_hwndViewer;
    EXPECT_TRUE(v.gui.Painting()) << "painting from the start";
    SendMessageW(w, WM_VIEWER_SESSION, 0, 0);
    EXPECT_FALSE(v.gui.Painting());
    HDC dc = GetDC(w);
    RECT red{0, 0, 50, 50};
    HBRUSH brush = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(dc, &red, brush);
    DeleteObject(brush);
    ReleaseDC(w, dc);
    InvalidateRect(w, nullptr, FALSE);
    UpdateWindow(w);
    EXPECT_FALSE(GetUpdateRect(w, nullptr, FALSE)) << "validated";
    Picture shot = Capture(w);
    EXPECT_EQ(shot.at(10, 10), 0xFF0000u) << "nothing drawn while off";
    SavePng(shot, "painting_off");

    SendMessageW(w, WM_VIEWER_SESSION, 1, 0);
    EXPECT_TRUE(v.gui.Painting());
    InvalidateRect(w, nullptr, FALSE);
    UpdateWindow(w);
    EXPECT_EQ(Capture(w).at(10, 10), 0u) << "black again without a picture";
}

// The user's close minimises; a WM_CLOSE (the end of viewing by an error)
// asks the core to end the view unless the core already let it go.
TEST(ViewerWindow, FrameCloseMinimisesAndAnErrorEndAsksTheCore)
{
    viewer::testing::HostPeer host(kW, kH);
    RecordingMeeting meeting;
    Viewer v(420, 300, &meeting);
    SendMessageW(v.gui.m_hwndFrame, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(IsIconic(v.gui.m_hwndFrame));
    EXPECT_TRUE(IsWindow(v.gui.m_hwndFrame));
    ShowWindow(v.gui.m_hwndFrame, SW_RESTORE);

    SendMessageW(v.gui.m_hwndFrame, WM_CLOSE, 0, 0);
    EXPECT_EQ(meeting.endViewRequests, 1) << "before a connection is made too";
    ClientConnection* conn = v.Connect(host.viewerSocket());
    ASSERT_NE(conn, nullptr);
    EXPECT_EQ(meeting.started, 1);
    PostMessageW(v.gui.m_hwndFrame, WM_CLOSE, 0, 0);
    PumpUntil([] { return false; }, 50);
    EXPECT_EQ(meeting.endViewRequests, 2);
    EXPECT_TRUE(IsWindow(v.gui.m_hwndFrame)) << "the windows stay the core's";
    conn->m_active = 0;
    SendMessageW(v.gui.m_hwndFrame, WM_CLOSE, 0, 0);
    EXPECT_EQ(meeting.endViewRequests, 2) << "the core is already ending the view";

    // Without a meeting (no core) a WM_CLOSE does nothing at all.
    Viewer alone;
    SendMessageW(alone.gui.m_hwndFrame, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindowVisible(alone.gui.m_hwndFrame));
}

TEST(ViewerWindow, FullScreenCoversTheScreenAndModesLeaveIt)
{
    Viewer v;
    TechnicianGUI& g = v.gui;
    RECT windowed;
    GetWindowRect(g.m_hwndFrame, &windowed);
    const int cx = GetSystemMetrics(SM_CXSCREEN), cy = GetSystemMetrics(SM_CYSCREEN);
    HMENU sys = GetSystemMenu(g.m_hwndFrame, FALSE);
    ASSERT_NE(GetMenuState(sys, IDM_FULL_SCREEN, MF_BYCOMMAND), static_cast<UINT>(-1)) << "system menu item";

    const struct {
        const char* how;
        std::function<void()> enter;
        std::function<void()> leave;
    } cases[] = {
        {"system menu", [&] { SendMessageW(g.m_hwndFrame, WM_SYSCOMMAND, IDM_FULL_SCREEN, 0); },
         [&] { SendMessageW(g.m_hwndFrame, WM_SYSCOMMAND, IDM_FULL_SCREEN, 0); }},
        {"mode 0", [&] { g.SetZoomMode(ZoomMode::FullScreen); }, [&] { g.SetZoomMode(ZoomMode::TrueSize); }},
        {"mode 1", [&] { g.SetZoomMode(ZoomMode::FullScreen); }, [&] { g.SetZoomMode(ZoomMode::Scale, 50, 100); }},
        {"mode 2", [&] { g.SetZoomMode(ZoomMode::FullScreen); }, [&] { g.SetZoomMode(ZoomMode::FitToWindow); }},
    };
    for (const auto& c : cases) {
        c.enter();
        PumpUntil([] { return false; }, 50);
        EXPECT_TRUE(g.FullScreen()) << c.how;
        RECT r;
        GetWindowRect(g.m_hwndFrame, &r);
        EXPECT_EQ(r.left, -1) << c.how;
        EXPECT_EQ(r.top, -1) << c.how;
        EXPECT_EQ(r.right - r.left, cx + 3) << c.how;
        EXPECT_EQ(r.bottom - r.top, cy + 3) << c.how;
        EXPECT_FALSE(GetWindowLongPtrW(g.m_hwndFrame, GWL_STYLE) & WS_CAPTION) << c.how;
        const RECT band = RectIn(g.m_hwndToolbar, g.m_hwndContainer);
        EXPECT_EQ(band.bottom - band.top, 0) << c.how << ": no band";
        const RECT viewer = RectIn(g.m_hwndViewer, g.m_hwndContainer);
        EXPECT_EQ(viewer.top, 0) << c.how;
        if (&c == &cases[0])
            SavePng(Capture(g.m_hwndFrame), "full_screen");

        c.leave();
        PumpUntil([] { return false; }, 50);
        EXPECT_FALSE(g.FullScreen()) << c.how;
        GetWindowRect(g.m_hwndFrame, &r);
        EXPECT_TRUE(EqualRect(&r, &windowed)) << c.how << ": back in place";
        EXPECT_TRUE(GetWindowLongPtrW(g.m_hwndFrame, GWL_STYLE) & WS_CAPTION) << c.how;
        EXPECT_EQ(RectIn(g.m_hwndViewer, g.m_hwndContainer).top, 22) << c.how;
    }
}

// With control, the local-cursor mode picks the pointer over the picture and
// full screen keeps the frame above other windows while the picture has the
// focus; without control the class cursor and no top-most.
TEST(ViewerWindow, CursorAndTopMostWithControl)
{
    viewer::testing::HostPeer host(kW, kH);
    RecordingMeeting meeting;
    Viewer v(420, 300, &meeting);
    ASSERT_NE(v.Connect(host.viewerSocket()), nullptr);
    HWND w = v.gui.m_hwndViewer;
    HINSTANCE inst = GetModuleHandleW(nullptr);
    SetForegroundWindow(v.gui.m_hwndFrame);
    SetFocus(w);
    ASSERT_EQ(GetFocus(), w);
    const LPARAM over = MAKELPARAM(HTCLIENT, WM_MOUSEMOVE);
    const struct {
        bool control;
        int mode;
        HCURSOR want;
    } cases[] = {
        {false, 1, LoadCursorW(inst, MAKEINTRESOURCEW(157))},
        {true, 0, LoadCursorW(inst, MAKEINTRESOURCEW(157))},
        {true, 1, LoadCursorW(inst, MAKEINTRESOURCEW(156))},
        {true, 2, LoadCursorW(nullptr, IDC_ARROW)},
    };
    for (const auto& c : cases) {
        meeting.control = c.control;
        v.gui.Options().localCursorMode = c.mode;
        SendMessageW(w, WM_SETCURSOR, reinterpret_cast<WPARAM>(w), over);
        EXPECT_EQ(GetCursor(), c.want) << "control " << c.control << " mode " << c.mode;
    }

    auto topMost = [&] { return (GetWindowLongPtrW(v.gui.m_hwndFrame, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; };
    v.gui.SetZoomMode(ZoomMode::FullScreen);
    meeting.control = false;
    SetFocus(nullptr);
    SetFocus(w);
    EXPECT_FALSE(topMost()) << "no control";
    meeting.control = true;
    SetFocus(nullptr);
    SetFocus(w);
    EXPECT_TRUE(topMost());
    HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPED | WS_VISIBLE, 10, 10, 50, 50, nullptr,
                                 nullptr, inst, nullptr);
    SetForegroundWindow(other);
    SetFocus(other);
    EXPECT_FALSE(topMost()) << "gives way when the focus goes";
    DestroyWindow(other);
    v.gui.SetZoomMode(ZoomMode::FitToWindow);
}

std::string ReadFile(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Minimised, the view is dormant; restored, it asks for an incremental update.
TEST(ViewerWindow, MinimisedIsDormantAndRestoreAsksForAnUpdate)
{
    const char* logPath = "viewer_dormant.log";
    DHLog& log = DHLog::Instance();
    log.SetFile(logPath);
    log.SetMask(0xFF);
    log.SetThreshold(8);
    log.OpenFile();

    viewer::testing::HostPeer host(kW, kH);
    Viewer v;
    ClientConnection* conn = v.Connect(host.viewerSocket());
    ASSERT_NE(conn, nullptr);
    PumpUntil([] { return false; }, 200);
    ShowWindow(v.gui.m_hwndFrame, SW_MINIMIZE);
    EXPECT_TRUE(v.gui.Dormant());
    const uint64_t before = conn->BytesSent();
    ShowWindow(v.gui.m_hwndFrame, SW_RESTORE);
    EXPECT_FALSE(v.gui.Dormant());
    EXPECT_EQ(conn->BytesSent(), before + 10) << "one FramebufferUpdateRequest";
    log.SetFile("");
    const std::string text = ReadFile(logPath);
    EXPECT_EQ(Count(text, "Entering dormant mode"), 1u) << text;
    EXPECT_EQ(Count(text, "Leaving dormant mode"), 1u) << text;
    EXPECT_NE(text.find("Request incremental update"), std::string::npos);
}

DWORD Option(const char* name)
{
    DWORD v = 0xDEAD;
    RegReadDword(kOptionsKey, name, v);
    return v;
}

// A GUI destroyed after a session at 75 % saves the live display state,
// whether the session was stopped, ended by the host or is still reading;
// a new GUI starts from the defaults, whatever was saved.
TEST(ViewerWindow, OptionsSavedFromTheLiveStateAndNotReadBack)
{
    enum class End { Stopped, HostGone, Reading };
    for (End end : {End::Stopped, End::HostGone, End::Reading}) {
        WriteSettingDword(kOptionsKey, "ColorDepth", 5);
        auto host = std::make_unique<viewer::testing::HostPeer>(kW, kH);
        {
            Viewer v;
            EXPECT_EQ(v.gui.Options().colourDepth, 1);
            EXPECT_TRUE(v.gui.Options().display.fitToWindow);
            EXPECT_FALSE(v.gui.Options().display.scaling);
            ClientConnection* conn = v.Connect(host->viewerSocket());
            ASSERT_NE(conn, nullptr);
            EXPECT_EQ(conn->Options().colourDepth, 1) << "the product's 8-bit format";
            EXPECT_EQ(SendMessageW(v.gui.m_hwndViewer, WM_VIEWER_SET_SCALE, 75, 100), 1);
            if (end == End::Stopped)
                conn->Stop();
            if (end == End::HostGone) {
                host.reset();
                EXPECT_TRUE(PumpUntil([&] { return !conn->Connected(); }, 5000));
            }
        }
        const struct {
            const char* name;
            DWORD value;
        } want[] = {{"ColorDepth", 1}, {"Scaling", 1}, {"ScaleNum", 75}, {"ScaleDen", 100}, {"TopBar", 0}, {"SideBar", 0}};
        for (const auto& w : want)
            EXPECT_EQ(Option(w.name), w.value) << w.name << " end " << static_cast<int>(end);
    }
}

} // namespace
} // namespace viewertest
