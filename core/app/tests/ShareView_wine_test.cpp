// The presenter's screen through the meeting's sharing tunnel: two program
// instances, each a real manager in a process (and Wine prefix) of its own on
// one X display, join one meeting at the local appliance. The host shares the
// screen it grabs; the participant's viewer shows it. The test stops the
// lobby's refresh and posts the sharing steps itself, and compares the viewer's window at true
// size with a picture the host paints, pixel for pixel, through sharing
// restarts and new views, and ends with every thread of the sharing joined.
//
// Run by tunnel_fixture.sh with CORVISK_FIXTURE_PEER_FILTER: the fixture
// starts this program twice, the host's suite in a second prefix, and both
// meet in CORVISK_PEER_DIR, a folder where each leaves a file when it reaches
// a point the other waits for.
#include "Technician/connection/ClientConnection.h"
#include "Technician/ui/TechnicianGUI.h"
#include "core/app/tests/SharePicture_win.h"
#include "tests/support/AppLogFile_win.h"

#include <cstdio>
#include <memory>
#include <string>

namespace {

using namespace meetingtest;
using namespace sharetest;

// Sharing restarts in a row, each with a view that must show the picture.
constexpr int kRestarts = 3;

// The participant's view, placed beside the picture.
HWND PlaceView(CManager& m)
{
    SetWindowPos(m.viewerFrame->m_hwndFrame, HWND_TOPMOST, kFrameX, 0, kFrameW, kFrameH, SWP_SHOWWINDOW);
    return m.viewerFrame->m_hwndViewer;
}

// Where a view the restart opens stands before it is moved aside: over the
// host's picture.
constexpr int kCoverX = 40, kCoverY = 40;

// The view has had an update: a new picture is one colour until then.
bool ShowsAnUpdate(const viewertest::Picture& shown)
{
    for (int y = 0; y < shown.height; ++y)
        for (int x = 0; x < shown.width; ++x)
            if (shown.at(x, y) != shown.at(0, 0))
                return true;
    return false;
}

// True size, once the view has its picture.
bool TakesTrueSize(HWND view)
{
    return viewertest::PumpUntil(
        [&] {
            DWORD_PTR result = 0;
            return SendMessageTimeoutW(view, WM_VIEWER_SET_SCALE, 100, 100, SMTO_NORMAL, 1000, &result) &&
                   result == 1;
        },
        10000);
}

// Waits until the view shows the known picture; saves what it shows.
int ShownMismatches(CManager& m, HWND view, int colourDepth, const std::string& name)
{
    viewertest::Picture shown;
    int bad = -1;
    viewertest::PumpUntil(
        [&] {
            HideControlBar(m);
            return (bad = Mismatches(shown = viewertest::Capture(view), colourDepth)) == 0;
        },
        15000);
    viewertest::SavePng(shown, name);
    return bad;
}

class ShareViewPeers : public ::testing::Test {
protected:
    static void SetUpTestSuite() { TrustRunCa(); }
};

// The host: enters, puts the picture up, shares (60109, 60110, 60112),
// restarts the sharing as the participant asks (60114, 60110, 60112) and
// serves until the participant is done; then 60116 and 60113.
TEST_F(ShareViewPeers, Host)
{
    Instance a("sessA", L"Alice", [](CManager&) {});
    StartAsHost(a);
    ASSERT_TRUE(WaitUntil([&] { return a.InMeeting(); })) << "host did not enter";
    StopLobbyRefresh(a.M());
    ASSERT_TRUE(MoveLobbyAside(a.M()));
    ShowWindow(a.M().lobby->Window(), SW_HIDE);
    const size_t baseline = ThreadsOfThisProcess();

    PictureWindow picture;
    SetCursorPos(kPointerX, kPointerY);
    viewertest::PumpUntil([] { return false; }, 300);
    // Not the foreground window, which every cycle compares whole: changes
    // in the picture are the poll grid's to find.
    EXPECT_NE(GetForegroundWindow(), picture.Window());

    // What the lobby sets and posts on the host when sharing starts.
    a.M().serverSharingState = 1;
    a.Post(PLM_OPEN_SHARING_VIEW);
    ASSERT_TRUE(viewertest::PumpUntil([&] { return a.M().sharingStep == 2; }, 15000)) << "no sharing view";
    HideControlBar(a.M());
    a.Post(PLM_CREATE_VNC_SERVER);
    ASSERT_TRUE(viewertest::PumpUntil([&] { return a.M().sharingStep == 3; }, 15000)) << "no server";
    a.Post(PLM_START_MAG_CAPTURE);
    ASSERT_TRUE(viewertest::PumpUntil([&] { return a.M().sharingStep == 4; }, 15000)) << "no pump";
    Signal("host-sharing");

    // The picture is painted now and then until the participant asks for a
    // restart; from then on it stands still, so what a restarted view shows
    // comes from the restart alone. A participant that ends (or asks for no
    // restart at all) ends every wait.
    auto waitFor = [&](const std::string& name, bool paint) {
        viewertest::PumpUntil(
            [&] {
                if (paint)
                    KeepPictureClear(a.M(), picture);
                HideControlBar(a.M());
                return Signalled(name) || Signalled("viewer-done");
            },
            200000);
        return Signalled(name);
    };
    // The lobby's restart on the host, each step once the participant has
    // taken its own: the session ends (60114), a new server starts (60110)
    // and its pump runs once the viewer has started (60112).
    for (int cycle = 1; cycle <= kRestarts && waitFor("restart-" + std::to_string(cycle), cycle == 1); ++cycle) {
        const std::string c = std::to_string(cycle);
        a.M().prevSharingStep = 4;
        a.Post(PLM_SHARING_RESUME_A);
        ASSERT_TRUE(viewertest::PumpUntil([&] { return a.M().sharingStep == 2 && a.M().prevSharingStep == 1; }, 10000))
            << "cycle " << cycle;
        Signal("host-resumed-" + c);
        ASSERT_TRUE(waitFor("viewer-paused-" + c, false)) << "cycle " << cycle;
        a.Post(PLM_CREATE_VNC_SERVER);
        ASSERT_TRUE(viewertest::PumpUntil([&] { return a.M().sharingStep == 3; }, 15000)) << "no server " << cycle;
        Signal("host-server-" + c);
        ASSERT_TRUE(waitFor("viewer-started-" + c, false)) << "cycle " << cycle;
        a.Post(PLM_START_MAG_CAPTURE);
        ASSERT_TRUE(viewertest::PumpUntil([&] { return a.M().sharingStep == 4; }, 15000)) << "no pump " << cycle;
    }
    EXPECT_TRUE(waitFor("viewer-done", true)) << "participant gave no end";

    a.Post(PLM_STOP_SHARING);
    ASSERT_TRUE(viewertest::PumpUntil([&] { return a.M().vncServerObj == nullptr && a.M().sharingStep == 1; }, 10000));
    a.Post(PLM_MEETING_LEFT, PLM_LEAVE_BUTTON);
    ASSERT_TRUE(viewertest::PumpUntil([&] { return !a.M().InMeeting(); }, 15000));
    // Server, client thread and pump are gone with the meeting's threads
    // that came after the baseline.
    size_t threads = 0;
    viewertest::PumpUntil([&] { return (threads = ThreadsOfThisProcess()) <= baseline; }, 5000);
    EXPECT_LE(threads, baseline);
}

// The participant: joins, opens the view (60109, 60111), sees the picture at
// true size, goes through three sharing restarts with the host (60115,
// 60111), then 60116 and 60113 with no thread left.
TEST_F(ShareViewPeers, Participant)
{
    struct Done {
        ~Done() { Signal("viewer-done"); }
    } done;
    ASSERT_TRUE(WaitUntil([] { return Signalled("host-sharing"); }, 60000)) << "the host did not share";
    Instance b("sessB", L"Bob", [](CManager&) {});
    b.Post(PLM_JOIN_MEETING);
    ASSERT_TRUE(WaitUntil([&] { return b.InMeeting(); })) << "participant did not enter";
    StopLobbyRefresh(b.M());
    // The participant's lobby stands beside the picture too: over it, the
    // host would share it as another program's window.
    ASSERT_TRUE(MoveLobbyAside(b.M()));
    const size_t baseline = ThreadsOfThisProcess();
    const std::string baselineStarts = ThreadStartsOfThisProcess();

    CManager& m = b.M();
    m.serverSharingState = 1;
    b.Post(PLM_OPEN_SHARING_VIEW);
    ASSERT_TRUE(viewertest::PumpUntil([&] { return m.sharingStep == 2 && m.viewerFrame; }, 15000)) << "no view";
    HideControlBar(m);
    const HWND frame = m.viewerFrame->m_hwndFrame;
    HWND view = PlaceView(m);
    ASSERT_TRUE(IsWindow(frame) && IsWindow(view));

    auto startViewer = [&](int cycle) {
        b.Post(PLM_CREATE_VIEWER);
        ASSERT_TRUE(viewertest::PumpUntil([&] { return m.sharingStep == 3; }, 20000)) << "no viewer " << cycle;
        // True size, once the view has its picture.
        ASSERT_TRUE(TakesTrueSize(view)) << "the view took no true size " << cycle;
        EXPECT_EQ(ShownMismatches(m, view, 1, "share_view_shown_" + std::to_string(cycle)), 0) << "cycle " << cycle;
    };

    startViewer(0);
    ASSERT_FALSE(HasFatalFailure());
    // The sharing restart a joining participant causes, as the lobbies
    // drive it on both sides, while the host's picture stands still: each
    // restarted view must show all of it.
    for (int cycle = 1; cycle <= kRestarts; ++cycle) {
        const std::string c = std::to_string(cycle);
        Signal("restart-" + c);
        ASSERT_TRUE(viewertest::PumpUntil([&] { return Signalled("host-resumed-" + c); }, 20000)) << "cycle " << cycle;
        // The lobby's pause: the step before set to 4, then the resume step.
        m.prevSharingStep = 4;
        b.Post(PLM_SHARING_RESUME_B);
        ASSERT_TRUE(viewertest::PumpUntil([&] { return m.sharingStep == 2 && m.prevSharingStep == 1; }, 10000));
        viewertest::Picture paused;
        EXPECT_TRUE(viewertest::PumpUntil([&] { return AllBlack(paused = viewertest::Capture(view)); }, 5000))
            << "cycle " << cycle;
        viewertest::SavePng(paused, "share_view_paused_" + c);
        ASSERT_TRUE(IsWindow(frame)) << "a pause closed the frame";
        Signal("viewer-paused-" + c);
        ASSERT_TRUE(viewertest::PumpUntil([&] { return Signalled("host-server-" + c); }, 20000)) << "cycle " << cycle;
        // The first restart leaves the host's screen as it is. After it, the
        // view stands where a newly opened one would, over the host's
        // picture on this one display, until it is moved aside once it
        // shows something: what the host's first update holds of it is gone
        // from the host's screen before the pump runs again.
        const bool covered = cycle > 1;
        if (covered)
            SetWindowPos(frame, HWND_TOPMOST, kCoverX, kCoverY, kFrameW, kFrameH, SWP_SHOWWINDOW);
        b.Post(PLM_CREATE_VIEWER);
        ASSERT_TRUE(viewertest::PumpUntil([&] { return m.sharingStep == 3; }, 20000)) << "no viewer " << cycle;
        ASSERT_TRUE(TakesTrueSize(view)) << "the view took no true size " << cycle;
        if (covered) {
            ASSERT_TRUE(viewertest::PumpUntil([&] { return ShowsAnUpdate(viewertest::Capture(view)); }, 15000))
                << "no first update " << cycle;
            viewertest::SavePng(viewertest::Capture(view), "share_view_restart_covered_" + c);
            view = PlaceView(m);
        }
        Signal("viewer-started-" + c);
        EXPECT_EQ(ShownMismatches(m, view, 1, "share_view_restarted_" + c), 0) << "cycle " << cycle;
        ASSERT_FALSE(HasFatalFailure());
    }

    // The end of sharing joins the reader and the sharing relay. The
    // system starts some threads of its own once (GDI+, sockets), so the
    // count after the first view is the one every later view returns to.
    size_t steady = 0;
    auto stopSharing = [&](int cycle) {
        b.Post(PLM_STOP_SHARING);
        ASSERT_TRUE(viewertest::PumpUntil([&] { return m.viewerFrame == nullptr && m.sharingStep == 1; }, 10000))
            << "the view stayed " << cycle;
        if (steady == 0) {
            viewertest::PumpUntil([] { return false; }, 1000);
            steady = ThreadsOfThisProcess();
            EXPECT_LE(steady, baseline + 4) << "more than the system's own threads after the first view:\n"
                                            << ThreadStartsOfThisProcess() << "against\n" << baselineStarts;
            return;
        }
        size_t threads = 0;
        viewertest::PumpUntil([&] { return (threads = ThreadsOfThisProcess()) <= steady; }, 5000);
        EXPECT_LE(threads, steady) << "a reader or relay outlived the view " << cycle << ":\n"
                                   << ThreadStartsOfThisProcess();
    };
    auto openView = [&](int cycle) {
        b.Post(PLM_OPEN_SHARING_VIEW);
        ASSERT_TRUE(viewertest::PumpUntil([&] { return m.sharingStep == 2 && m.viewerFrame; }, 15000))
            << "no view " << cycle;
        view = PlaceView(m);
    };
    stopSharing(0);
    ASSERT_FALSE(HasFatalFailure());

    // Twenty more views, started and stopped through the core; some on a
    // sharing tunnel the appliance cuts into pieces, stalls inside the
    // host's stream or closes inside a frame. Each ends in the picture or a
    // clean end of viewing, and no thread is left.
    struct Fault {
        int cycle;
        const char* json;
        bool picture;
    };
    const Fault faults[] = {
        {4, R"([{"service": "PL-PARTICIPANT", "split": 7}])", true},
        {8, R"([{"service": "PL-PARTICIPANT", "stall_once_after": [3000, 3]}])", true},
        {12, R"([{"service": "PL-PARTICIPANT", "close_after": 5000}])", false},
        {16, R"([{"service": "PL-PARTICIPANT", "split": 1}])", true},
    };
    for (int cycle = 1; cycle <= 20; ++cycle) {
        const Fault* fault = nullptr;
        for (const Fault& f : faults)
            if (f.cycle == cycle)
                fault = &f;
        WriteFaults(fault ? fault->json : "[]");
        openView(cycle);
        WriteFaults("[]");
        ASSERT_FALSE(HasFatalFailure());
        if (!fault || fault->picture) {
            startViewer(100 + cycle);
            stopSharing(cycle);
            ASSERT_FALSE(HasFatalFailure());
            continue;
        }
        // Cut inside the host's stream: inside an update the view ends by
        // itself (the viewer asks the core to end it); before the start
        // reply the viewer's start fails, which ends the meeting as a
        // failed start does. Either way the program goes on.
        b.Post(PLM_CREATE_VIEWER);
        ASSERT_TRUE(viewertest::PumpUntil(
            [&] { return (m.viewerFrame == nullptr && m.sharingStep == 1) || !m.InMeeting(); }, 20000))
            << "a view on a cut tunnel stayed";
        if (m.InMeeting()) {
            stopSharing(cycle);
            continue;
        }
        b.Post(PLM_JOIN_MEETING);
        ASSERT_TRUE(viewertest::PumpUntil([&] { return b.InMeeting(); }, 20000)) << "no way back in";
        // The failed start opened the login window, which stays behind the
        // meeting; the later views must not be read through it.
        if (HWND login = m.Appliance().LoginWindow())
            ShowWindow(login, SW_HIDE);
        StopLobbyRefresh(m);
        ASSERT_TRUE(MoveLobbyAside(m));
        m.serverSharingState = 1;
    }

    b.Post(PLM_MEETING_LEFT);
    ASSERT_TRUE(viewertest::PumpUntil([&] { return !m.InMeeting(); }, 15000));
}

// The participant again, for what the first run leaves out: the picture in
// full colour and in 8 bits through Hextile and Raw as well as ZRLE, and the
// meeting ended while a view reads, while the host's stream stalls inside a
// rectangle, by a logout and by the program's exit. Each end takes the view
// and its reader with it at once and leaves no thread behind.
TEST_F(ShareViewPeers, ParticipantFormatsAndEnds)
{
    struct Done {
        ~Done() { Signal("viewer-done"); }
    } done;
    ASSERT_TRUE(WaitUntil([] { return Signalled("host-sharing"); }, 60000)) << "the host did not share";
    const size_t idle = ThreadsOfThisProcess();
    // The program's log, shown when the test fails.
    AppLogShownOnFailure log("share_view_ends");

    auto join = [](Instance& b) {
        b.Post(PLM_JOIN_MEETING);
        ASSERT_TRUE(WaitUntil([&] { return b.InMeeting(); })) << "participant did not enter";
        StopLobbyRefresh(b.M());
        ASSERT_TRUE(MoveLobbyAside(b.M()));
    };
    // Opens a view whose connection asks for the depth and encoding given and
    // waits for the known picture in it.
    auto view = [](Instance& b, int colourDepth, int encoding, const std::string& name) {
        CManager& m = b.M();
        m.serverSharingState = 1;
        b.Post(PLM_OPEN_SHARING_VIEW);
        ASSERT_TRUE(viewertest::PumpUntil([&] { return m.sharingStep == 2 && m.viewerFrame; }, 15000)) << name;
        HideControlBar(m);
        const HWND hwnd = PlaceView(m);
        m.viewerFrame->Options().colourDepth = colourDepth;
        auto* conn = new ClientConnection(&m, m.Transport().SharingClientEnd());
        m.viewerFrame->AttachConnection(conn);
        conn->Options().preferredEncoding = encoding;
        b.Post(PLM_CREATE_VIEWER);
        ASSERT_TRUE(viewertest::PumpUntil([&] { return m.sharingStep == 3; }, 20000)) << "no viewer " << name;
        ASSERT_TRUE(TakesTrueSize(hwnd)) << name;
        EXPECT_EQ(ShownMismatches(m, hwnd, colourDepth, name), 0) << name;
    };
    auto viewGone = [](Instance& b) { return b.M().viewerFrame == nullptr && b.M().sharingStep == 1; };

    auto b = std::make_unique<Instance>("sessB", L"Bob", [](CManager&) {});
    join(*b);
    ASSERT_FALSE(HasFatalFailure());
    struct Format {
        int depth, encoding;
        const char* name;
    };
    const Format formats[] = {{0, 16, "share_view_full_zrle"}, {0, 5, "share_view_full_hextile"},
                              {0, 0, "share_view_full_raw"},   {1, 5, "share_view_bgr233_hextile"},
                              {1, 0, "share_view_bgr233_raw"}};
    for (const Format& f : formats) {
        view(*b, f.depth, f.encoding, f.name);
        ASSERT_FALSE(HasFatalFailure());
        b->Post(PLM_STOP_SHARING);
        ASSERT_TRUE(viewertest::PumpUntil([&] { return viewGone(*b); }, 10000)) << f.name;
    }

    // Leaving while the view reads.
    view(*b, 1, 16, "share_view_before_leaving");
    ASSERT_FALSE(HasFatalFailure());
    b->Post(PLM_MEETING_LEFT);
    ASSERT_TRUE(viewertest::PumpUntil([&] { return !b->M().InMeeting() && viewGone(*b); }, 10000));
    viewertest::PumpUntil([] { return false; }, 1000);
    const size_t left = ThreadsOfThisProcess();
    EXPECT_LE(left, idle + 4) << "more than the system's own threads after leaving";

    // Leaving while the host's stream stalls inside the first update: the
    // view ends long before the stall would.
    join(*b);
    ASSERT_FALSE(HasFatalFailure());
    WriteFaults(R"([{"service": "PL-PARTICIPANT", "stall_once_after": [3000, 12]}])");
    b->M().serverSharingState = 1;
    b->Post(PLM_OPEN_SHARING_VIEW);
    ASSERT_TRUE(viewertest::PumpUntil([&] { return b->M().sharingStep == 2 && b->M().viewerFrame; }, 15000));
    WriteFaults("[]");
    b->Post(PLM_CREATE_VIEWER);
    ASSERT_TRUE(viewertest::PumpUntil([&] { return b->M().sharingStep == 3; }, 20000)) << "no stalled viewer";
    viewertest::PumpUntil([] { return false; }, 1500);
    const DWORD leaving = GetTickCount();
    b->Post(PLM_MEETING_LEFT);
    ASSERT_TRUE(viewertest::PumpUntil([&] { return !b->M().InMeeting() && viewGone(*b); }, 15000));
    EXPECT_LT(GetTickCount() - leaving, 6000u) << "leaving waited for the stalled stream";
    size_t threads = 0;
    viewertest::PumpUntil([&] { return (threads = ThreadsOfThisProcess()) <= left; }, 5000);
    EXPECT_LE(threads, left) << "the stalled reader outlived the meeting";

    // A logout while the view reads ends the meeting and opens the login.
    join(*b);
    ASSERT_FALSE(HasFatalFailure());
    view(*b, 1, 16, "share_view_before_logout");
    ASSERT_FALSE(HasFatalFailure());
    b->Post(PLM_LOGOUT);
    ASSERT_TRUE(viewertest::PumpUntil([&] { return !b->M().InMeeting() && viewGone(*b); }, 10000));
    viewertest::PumpUntil([&] { return (threads = ThreadsOfThisProcess()) <= left; }, 5000);
    EXPECT_LE(threads, left) << "a reader outlived the logout";
    b.reset();

    // The program's exit while the view reads (the logout ended sessB): the
    // instance's loop ends and its manager goes, view and reader with it.
    auto c = std::make_unique<Instance>("sessB2", L"Bob", [](CManager&) {});
    join(*c);
    ASSERT_FALSE(HasFatalFailure());
    view(*c, 1, 16, "share_view_before_exit");
    ASSERT_FALSE(HasFatalFailure());
    const DWORD exiting = GetTickCount();
    c.reset();
    EXPECT_LT(GetTickCount() - exiting, 6000u) << "the exit waited for the view";
    viewertest::PumpUntil([&] { return (threads = ThreadsOfThisProcess()) <= idle + 4; }, 5000);
    EXPECT_LE(threads, idle + 4) << "a thread of the view outlived the program's manager";
}

} // namespace
