// How fast the host's screen reaches a participant's viewer, measured (not
// asserted) while a window animates the whole display: the owner's program
// first serves its screen over a plain loopback TCP connection to a viewer
// in the guest's program, then shares it through the local appliance's
// tunnels to the guest's meeting viewer, counted the same way. Frames shown
// are the viewer window's paints; updates are the FramebufferUpdates it
// took in. The guest also times its first update and first painted picture
// from the owner's share command.
// The owner prints the figures as "bench: key=value" lines for
// scripts/bench sharing.
//
// Run by tunnel_fixture.sh with --gtest_filter=SharingBench.Owner and
// CORVISK_FIXTURE_PEER_FILTER=SharingBench.Guest; never a ctest test.
// CORVISK_BENCH_SECONDS (default 15) sets each measured stretch.
#include "Customer/session/vncServer.h"
#include "Technician/connection/ClientConnection.h"
#include "Technician/ui/TechnicianGUI.h"
#include "core/app/tests/SharePicture_win.h"
#include "core/base/TopDownBitmap_win.h"
#include "core/tunnel/SocketHandle_win.h"
#include "meeting/CMeetingLobby.h"
#include "meeting/LobbyResources.h"

#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace meetingtest;
using namespace sharetest;

constexpr int kWarmUpMs = 2000;
constexpr int kAnimationMs = 15;

int MeasuredSeconds()
{
    const int s = std::atoi(Env("CORVISK_BENCH_SECONDS").c_str());
    return s > 0 ? s : 15;
}

// Microseconds on the machine's clock, comparable between the two programs.
int64_t NowUs()
{
    FILETIME ft{};
    GetSystemTimePreciseAsFileTime(&ft);
    return static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32 | ft.dwLowDateTime) / 10);
}

// A window over the whole display whose every pixel changes each frame: a
// wide pattern painted at a moving offset.
class Animation {
public:
    Animation()
        : m_thread([this] { Run(); })
    {
        WaitUntil([this] { return m_hwnd.load() != nullptr; }, 10000);
    }
    ~Animation()
    {
        if (HWND w = m_hwnd.load())
            PostMessageW(w, WM_CLOSE, 0, 0);
        m_thread.join();
    }
    Animation(const Animation&) = delete;
    Animation& operator=(const Animation&) = delete;

    HWND Window() const { return m_hwnd.load(); }

private:
    static constexpr int kShift = 256;

    void Run()
    {
        m_w = GetSystemMetrics(SM_CXSCREEN);
        m_h = GetSystemMetrics(SM_CYSCREEN);
        const int wide = m_w + kShift;
        m_pixels.resize(static_cast<size_t>(wide) * m_h);
        for (int y = 0; y < m_h; ++y)
            for (int x = 0; x < wide; ++x)
                m_pixels[static_cast<size_t>(y) * wide + x] = KnownPixel(x, y);
        WNDCLASSW wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"CorviskBenchAnimation";
        RegisterClassW(&wc);
        HWND w = CreateWindowExW(WS_EX_TOOLWINDOW, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE, 0, 0, m_w, m_h,
                                 nullptr, nullptr, wc.hInstance, this);
        SetTimer(w, 1, kAnimationMs, nullptr);
        m_hwnd = w;
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0)
            DispatchMessageW(&msg);
    }

    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
    {
        if (msg == WM_NCCREATE)
            SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
        auto* self = reinterpret_cast<Animation*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        switch (msg) {
        case WM_TIMER:
            if (self) {
                self->m_frame = (self->m_frame + 7) % kShift;
                HDC dc = GetDC(hwnd);
                self->Paint(dc);
                ReleaseDC(hwnd, dc);
            }
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            if (self)
                self->Paint(dc);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_CLOSE: DestroyWindow(hwnd); return 0;
        case WM_DESTROY: PostQuitMessage(0); return 0;
        default: return DefWindowProcW(hwnd, msg, wp, lp);
        }
    }

    void Paint(HDC dc)
    {
        const BITMAPINFO bi = TopDownBitmapInfo(m_w + kShift, m_h);
        // The display's width of the wide pattern, from this frame's offset.
        StretchDIBits(dc, 0, 0, m_w, m_h, m_frame, 0, m_w, m_h, m_pixels.data(), &bi, DIB_RGB_COLORS, SRCCOPY);
    }

    std::vector<uint32_t> m_pixels;
    int m_w = 0, m_h = 0, m_frame = 0;
    std::atomic<HWND> m_hwnd{nullptr};
    std::thread m_thread;
};

// What one viewer window took in and painted, counted by a message hook on
// its thread (one viewer at a time in a process).
struct ViewerCounts {
    std::atomic<HWND> viewer{nullptr};
    std::atomic<uint64_t> updates{0}, paints{0};
    std::atomic<int64_t> firstUpdateUs{0}, firstPictureUs{0};
};
ViewerCounts g_counts;

LRESULT CALLBACK CountViewerMessages(int code, WPARAM wp, LPARAM lp)
{
    const MSG* msg = reinterpret_cast<const MSG*>(lp);
    if (code == HC_ACTION && wp == PM_REMOVE && msg->hwnd && msg->hwnd == g_counts.viewer.load()) {
        if (msg->message == WM_VIEWER_UPDATE_DONE) {
            if (g_counts.updates++ == 0)
                g_counts.firstUpdateUs = NowUs();
        } else if (msg->message == WM_PAINT && g_counts.updates.load() > 0) {
            if (g_counts.paints++ == 0)
                g_counts.firstPictureUs = NowUs();
        }
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

// Hooks the viewer window's thread from now on.
class ViewerHook {
public:
    explicit ViewerHook(HWND viewer)
    {
        g_counts.updates = 0;
        g_counts.paints = 0;
        g_counts.firstUpdateUs = 0;
        g_counts.firstPictureUs = 0;
        g_counts.viewer = viewer;
        m_hook = SetWindowsHookExW(WH_GETMESSAGE, CountViewerMessages, nullptr,
                                   GetWindowThreadProcessId(viewer, nullptr));
    }
    ~ViewerHook()
    {
        if (m_hook)
            UnhookWindowsHookEx(m_hook);
        g_counts.viewer = nullptr;
    }
    ViewerHook(const ViewerHook&) = delete;
    ViewerHook& operator=(const ViewerHook&) = delete;
    bool Hooked() const { return m_hook != nullptr; }

private:
    HHOOK m_hook = nullptr;
};

struct Rates {
    double framesPerSecond = 0, updatesPerSecond = 0;
};

// The viewer's frame above the animation at 100 %, a warm-up, then the
// counts over the measured stretch.
Rates MeasureViewer(HWND frame, HWND viewer)
{
    SetWindowPos(frame, HWND_TOPMOST, kFrameX, 0, kFrameW, kFrameH, SWP_SHOWWINDOW | SWP_NOACTIVATE);
    WaitUntil(
        [&] {
            DWORD_PTR result = 0;
            return SendMessageTimeoutW(viewer, WM_VIEWER_SET_SCALE, 100, 100, SMTO_NORMAL, 1000, &result) &&
                   result == 1;
        },
        10000);
    SetWindowPos(frame, HWND_TOPMOST, kFrameX, 0, kFrameW, kFrameH, SWP_SHOWWINDOW | SWP_NOACTIVATE);
    Sleep(kWarmUpMs);
    const uint64_t paints = g_counts.paints, updates = g_counts.updates;
    const int64_t start = NowUs();
    Sleep(MeasuredSeconds() * 1000);
    const double seconds = static_cast<double>(NowUs() - start) / 1e6;
    return {static_cast<double>(g_counts.paints - paints) / seconds,
            static_cast<double>(g_counts.updates - updates) / seconds};
}

void Report(const char* key, double value)
{
    std::printf("bench: %s=%.3f\n", key, value);
    std::fflush(stdout);
}

double ReadPeerNumber(const char* name)
{
    std::ifstream in(PeerFile(name));
    double v = 0;
    in >> v;
    return v;
}

void WritePeerNumbers(const char* name, const std::vector<double>& values)
{
    const std::string path = PeerFile(name);
    {
        std::ofstream out(path + ".part");
        out << std::fixed << std::setprecision(3);
        for (double v : values)
            out << v << "\n";
    }
    MoveFileExA((path + ".part").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

// The host core's pump against a server of the bench's own: the whole
// screen asked for every 50 ms, as in a meeting.
class Pump {
public:
    explicit Pump(vncServer& server)
        : m_thread([this, &server] {
              while (!m_stop) {
                  server.RequestScreenUpdate();
                  Sleep(50);
              }
          })
    {
    }
    ~Pump()
    {
        m_stop = true;
        m_thread.join();
    }
    Pump(const Pump&) = delete;
    Pump& operator=(const Pump&) = delete;

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// A viewer frame with its connection on a thread with its own loop, as the
// meeting's: hooked before its start exchange, measured, then closed in the
// core's order (windows, then the connection with its reader).
struct LoopbackFigures {
    Rates rates;
    double firstPictureMs = 0;
    bool ok = false;
};

LoopbackFigures ViewLoopback(SOCKET socket)
{
    LoopbackFigures out;
    std::atomic<HWND> frame{nullptr}, viewer{nullptr};
    std::atomic<DWORD> guiThread{0};
    std::atomic<int> ran{-1};
    std::atomic<int64_t> started{0};
    std::thread gui([&] {
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
        auto g = std::make_unique<TechnicianGUI>(nullptr, nullptr);
        g->CreateWindows();
        auto* conn = new ClientConnection(nullptr, socket);
        g->AttachConnection(conn);
        g->UpdateZoomDisplay();
        viewer = g->m_hwndViewer;
        frame = g->m_hwndFrame;
        guiThread = GetCurrentThreadId();
        WaitUntil([&] { return started.load() != 0; }, 10000);
        ran = conn->Run();
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (g->m_hwndToolbar && IsWindow(g->m_hwndToolbar))
            DestroyWindow(g->m_hwndToolbar);
        if (IsWindow(g->m_hwndFrame))
            DestroyWindow(g->m_hwndFrame);
        conn->m_active = 0;
        g.reset();
    });
    WaitUntil([&] { return guiThread.load() != 0; }, 10000);
    if (viewer.load()) {
        ViewerHook hook(viewer.load());
        started = NowUs();
        WaitUntil([&] { return ran.load() >= 0; }, 20000);
        if (ran.load() == 1 && WaitUntil([] { return g_counts.paints.load() > 0; }, 20000)) {
            out.firstPictureMs = (g_counts.firstPictureUs - started) / 1000.0;
            out.rates = MeasureViewer(frame, viewer);
            out.ok = true;
        } else {
            ADD_FAILURE() << "the loopback viewer got no picture";
        }
    } else {
        ADD_FAILURE() << "the loopback viewer has no window";
    }
    PostThreadMessageW(guiThread, WM_QUIT, 0, 0);
    gui.join();
    return out;
}

// The owner's side of the plain loopback connection: a server of the host
// program on the accepted socket, asked for the whole screen every 50 ms as
// the meeting's pump does, until the guest has measured.
void ServeLoopback()
{
    WinsockUser winsock;
    SocketHandle listener(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof(addr);
    ASSERT_TRUE(listener && bind(listener.get(), reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0 &&
                listen(listener.get(), 1) == 0 &&
                getsockname(listener.get(), reinterpret_cast<sockaddr*>(&addr), &len) == 0);
    WritePeerNumbers("loopback-port", {static_cast<double>(ntohs(addr.sin_port))});
    ASSERT_EQ(WaitReadable(listener.get(), 60000), 1) << "the guest's loopback viewer never connected";
    SocketHandle accepted(accept(listener.get(), nullptr, nullptr));
    ASSERT_TRUE(accepted);
    auto server = std::make_unique<vncServer>(nullptr, accepted.get());
    server->SetName("Loopback");
    ASSERT_EQ(server->AddClientDefault(1, 1), 1) << "the server did not start its session";
    {
        Pump pump(*server);
        EXPECT_TRUE(WaitUntil([] { return Signalled("loopback-figures"); }, (MeasuredSeconds() + 60) * 1000))
            << "the guest did not measure its loopback viewer";
    }
    server.reset();
    // The server told the session it was made; the meeting's own sharing
    // must not take that for its server's word.
    if (HANDLE made = OpenEventW(EVENT_MODIFY_STATE, FALSE, L"vnc server is created")) {
        ResetEvent(made);
        CloseHandle(made);
    }
}

// The guest's side: a viewer connected to the owner's port.
LoopbackFigures ViewOwnerOnLoopback()
{
    WinsockUser winsock;
    if (!WaitUntil([] { return Signalled("loopback-port"); }, 60000)) {
        ADD_FAILURE() << "the owner gave no loopback port";
        return {};
    }
    SocketHandle s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<u_short>(ReadPeerNumber("loopback-port")));
    if (!s || !ConnectWithin(s.get(), reinterpret_cast<sockaddr*>(&addr), sizeof(addr), 10000)) {
        ADD_FAILURE() << "no connection to the owner's loopback server";
        return {};
    }
    return ViewLoopback(s.get());
}

int Rows(HWND list)
{
    return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
}

class SharingBench : public ::testing::Test {
protected:
    static void SetUpTestSuite() { TrustRunCa(); }
};

// The owner: the loopback viewer first, then sharing through the appliance
// with the share command, the guest's figures read back and printed.
TEST_F(SharingBench, Owner)
{
    Instance a("sessA", L"alice", LaunchWithSession);
    ASSERT_TRUE(WaitUntil([&] { return a.InMeeting(); })) << "the owner did not enter";
    ASSERT_TRUE(MoveLobbyAside(a.M()));
    CMeetingLobby& lobby = *a.M().lobby;
    ASSERT_TRUE(WaitUntil([&] { return a.M().role == 1 && a.M().title == 1; }, 20000)) << "not host";
    Animation animation;
    ASSERT_TRUE(animation.Window());
    SetCursorPos(kPointerX, kPointerY);
    Signal("owner-in");
    ASSERT_TRUE(WaitUntil([&] { return Signalled("guest-in") && Rows(lobby.ListWindow()) == 2; }, 60000))
        << "the guest never showed in the owner's list";

    ServeLoopback();
    ASSERT_FALSE(HasFatalFailure());

    // The share command, as the toolbar's click gives it; again while the
    // lobby's button is not yet enabled.
    int64_t clicked = 0;
    ASSERT_TRUE(WaitUntil(
        [&] {
            if (a.M().sharingStep != 1)
                return true;
            clicked = NowUs();
            PostMessageW(lobby.Dialog(), WM_COMMAND, IDC_TB_SHARE, 0);
            Sleep(500);
            return a.M().sharingStep != 1;
        },
        20000))
        << "the share command did nothing";
    WritePeerNumbers("share-clicked", {static_cast<double>(clicked)});
    ASSERT_TRUE(WaitUntil([&] { return a.M().sharingStep == 4; }, 60000)) << "the owner did not reach sharing";

    EXPECT_TRUE(WaitUntil([] { return Signalled("guest-figures"); }, (MeasuredSeconds() + 120) * 1000))
        << "the guest gave no figures";
    std::ifstream in(PeerFile("guest-figures"));
    double fps = 0, ups = 0, firstPictureMs = 0, firstUpdateMs = 0;
    in >> fps >> ups >> firstPictureMs >> firstUpdateMs;
    std::ifstream direct(PeerFile("loopback-figures"));
    double loopbackFps = 0, loopbackUps = 0, loopbackFirstMs = 0;
    direct >> loopbackFps >> loopbackUps >> loopbackFirstMs;

    Report("loopback_frames_per_s", loopbackFps);
    Report("loopback_updates_per_s", loopbackUps);
    Report("loopback_first_picture_ms", loopbackFirstMs);
    Report("appliance_frames_per_s", fps);
    Report("appliance_updates_per_s", ups);
    Report("share_to_first_update_ms", firstUpdateMs);
    Report("share_to_first_picture_ms", firstPictureMs);
    if (loopbackFps > 0)
        Report("ratio_frames", fps / loopbackFps);
    Report("ratio_updates_to_pump", ups / 20.0);

    PostMessageW(lobby.Dialog(), WM_COMMAND, IDC_TB_SHARE, 0);
    EXPECT_TRUE(WaitUntil([&] { return a.M().sharingStep == 1 && a.M().vncServerObj == nullptr; }, 60000))
        << "sharing did not end";
    Signal("owner-stopped");
    EXPECT_TRUE(WaitUntil([] { return Signalled("guest-done"); }, 60000));
    a.Post(PLM_MEETING_LEFT, PLM_LEAVE_BUTTON);
    ASSERT_TRUE(WaitUntil([&] { return !a.M().InMeeting(); }, 15000));
}

// The guest: its lobby starts the viewer at the owner's share command; the
// viewer is hooked as soon as it exists and counted like the loopback one.
TEST_F(SharingBench, Guest)
{
    struct Done {
        ~Done() { Signal("guest-done"); }
    } done;
    ASSERT_TRUE(WaitUntil([] { return Signalled("owner-in"); }, 60000)) << "the owner did not enter";
    Instance b("sessB", L"bob", LaunchWithSession);
    ASSERT_TRUE(WaitUntil([&] { return b.InMeeting(); })) << "the guest did not enter";
    CManager& m = b.M();
    ASSERT_TRUE(MoveLobbyAside(m));
    Signal("guest-in");

    const LoopbackFigures loopback = ViewOwnerOnLoopback();
    WritePeerNumbers("loopback-figures",
                     {loopback.rates.framesPerSecond, loopback.rates.updatesPerSecond, loopback.firstPictureMs});
    ASSERT_TRUE(loopback.ok);

    // The lobby opens the view at the owner's share command: watched closely
    // so the hook is in before the viewer's first update.
    HWND viewer = nullptr, frame = nullptr;
    for (int64_t end = NowUs() + (MeasuredSeconds() + 120) * 1000000LL; !viewer && NowUs() < end; Sleep(1)) {
        TechnicianGUI* gui = m.viewerFrame;
        if (gui && gui->m_hwndViewer && gui->m_hwndFrame) {
            viewer = gui->m_hwndViewer;
            frame = gui->m_hwndFrame;
        }
    }
    ASSERT_TRUE(viewer) << "no view opened";
    ViewerHook hook(viewer);
    ASSERT_TRUE(hook.Hooked());
    ASSERT_TRUE(WaitUntil([] { return g_counts.paints.load() > 0; }, 60000)) << "no picture";
    ASSERT_TRUE(WaitUntil([] { return Signalled("share-clicked"); }, 10000));
    const double clicked = ReadPeerNumber("share-clicked");
    const double firstPictureMs = (g_counts.firstPictureUs - clicked) / 1000.0;
    const double firstUpdateMs = (g_counts.firstUpdateUs - clicked) / 1000.0;
    const Rates rates = MeasureViewer(frame, viewer);
    WritePeerNumbers("guest-figures", {rates.framesPerSecond, rates.updatesPerSecond, firstPictureMs, firstUpdateMs});

    ASSERT_TRUE(WaitUntil([] { return Signalled("owner-stopped"); }, 60000));
    ASSERT_TRUE(WaitUntil([&] { return m.viewerFrame == nullptr && m.sharingStep == 1; }, 30000)) << "the view stayed";
    b.Post(PLM_MEETING_LEFT, PLM_LEAVE_BUTTON);
    ASSERT_TRUE(WaitUntil([&] { return !m.InMeeting(); }, 15000));
}

} // namespace
