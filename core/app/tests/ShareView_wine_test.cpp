// The presenter's screen through the meeting's sharing tunnel: two program
// instances, each a real manager in a process (and Wine prefix) of its own on
// one X display, join one meeting at the local appliance. The host shares the
// screen it grabs; the participant's viewer shows it. The test stops the
// lobby's refresh and posts the sharing steps itself, and compares the viewer's window at true
// size with a picture the host paints, pixel for pixel, through pauses and
// resumes, and ends with every thread of the sharing joined.
//
// Run by tunnel_fixture.sh with CORVISK_FIXTURE_PEER_FILTER: the fixture
// starts this program twice, the host's suite in a second prefix, and both
// meet in CORVISK_PEER_DIR, a folder where each leaves a file when it reaches
// a point the other waits for.
#include "Technician/connection/ClientConnection.h"
#include "Technician/ui/TechnicianGUI.h"
#include "core/app/tests/SharePicture_win.h"

#include <string>

namespace {

using namespace meetingtest;
using namespace sharetest;

class ShareViewPeers : public ::testing::Test {
protected:
    static void SetUpTestSuite() { TrustRunCa(); }
};

// The host: enters, puts the picture up, shares (60109, 60110, 60112) and
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

    // What the lobby sets and posts on the host when sharing starts.
    a.M().serverSharingState = 1;
    a.Post(PLM_OPEN_SHARING_VIEW);
    ASSERT_TRUE(viewertest::PumpUntil([&] { return a.M().sharingStep == 2; }, 15000)) << "no sharing view";
    a.Post(PLM_CREATE_VNC_SERVER);
    ASSERT_TRUE(viewertest::PumpUntil([&] { return a.M().sharingStep == 3; }, 15000)) << "no server";
    a.Post(PLM_START_MAG_CAPTURE);
    ASSERT_TRUE(viewertest::PumpUntil([&] { return a.M().sharingStep == 4; }, 15000)) << "no pump";
    Signal("host-sharing");

    // The picture stays up and painted until the participant has seen it
    // through every pause.
    EXPECT_TRUE(viewertest::PumpUntil([] { return Signalled("viewer-done"); }, 100000)) << "participant gave no end";

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
// true size, pauses and resumes three times (60115, 60111), then 60116 and
// 60113 with no thread left.
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
    const size_t baseline = ThreadsOfThisProcess();

    CManager& m = b.M();
    m.serverSharingState = 1;
    b.Post(PLM_OPEN_SHARING_VIEW);
    ASSERT_TRUE(viewertest::PumpUntil([&] { return m.sharingStep == 2 && m.viewerFrame; }, 15000)) << "no view";
    TechnicianGUI* gui = m.viewerFrame;
    const HWND frame = gui->m_hwndFrame;
    HWND view = gui->m_hwndViewer;
    ASSERT_TRUE(IsWindow(frame) && IsWindow(view));
    SetWindowPos(frame, HWND_TOPMOST, kFrameX, 0, kFrameW, kFrameH, SWP_SHOWWINDOW);

    auto startViewer = [&](int cycle) {
        b.Post(PLM_CREATE_VIEWER);
        ASSERT_TRUE(viewertest::PumpUntil([&] { return m.sharingStep == 3; }, 20000)) << "no viewer " << cycle;
        // True size, once the view has its picture.
        ASSERT_TRUE(viewertest::PumpUntil(
            [&] {
                DWORD_PTR result = 0;
                return SendMessageTimeoutW(view, WM_VIEWER_SET_SCALE, 100, 100, SMTO_NORMAL, 1000, &result) &&
                       result == 1;
            },
            10000))
            << "the view took no true size " << cycle;
        viewertest::Picture shown;
        int bad = -1;
        viewertest::PumpUntil([&] { return (bad = Mismatches(shown = viewertest::Capture(view))) == 0; }, 15000);
        viewertest::SavePng(shown, "share_view_shown_" + std::to_string(cycle));
        EXPECT_EQ(bad, 0) << "cycle " << cycle << ", view " << shown.width << " x " << shown.height;
    };

    startViewer(0);
    ASSERT_FALSE(HasFatalFailure());
    for (int cycle = 1; cycle <= 3; ++cycle) {
        // The lobby's pause: the step before set to 4, then the resume step.
        m.prevSharingStep = 4;
        b.Post(PLM_SHARING_RESUME_B);
        ASSERT_TRUE(viewertest::PumpUntil([&] { return m.sharingStep == 2 && m.prevSharingStep == 1; }, 10000));
        viewertest::Picture paused;
        EXPECT_TRUE(viewertest::PumpUntil([&] { return AllBlack(paused = viewertest::Capture(view)); }, 5000))
            << "cycle " << cycle;
        viewertest::SavePng(paused, "share_view_paused_" + std::to_string(cycle));
        ASSERT_TRUE(IsWindow(frame)) << "a pause closed the frame";
        startViewer(cycle);
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
            EXPECT_LE(steady, baseline + 4) << "more than the system's own threads after the first view";
            return;
        }
        size_t threads = 0;
        viewertest::PumpUntil([&] { return (threads = ThreadsOfThisProcess()) <= steady; }, 5000);
        EXPECT_LE(threads, steady) << "a reader or relay outlived the view " << cycle;
    };
    auto openView = [&](int cycle) {
        b.Post(PLM_OPEN_SHARING_VIEW);
        ASSERT_TRUE(viewertest::PumpUntil([&] { return m.sharingStep == 2 && m.viewerFrame; }, 15000))
            << "no view " << cycle;
        gui = m.viewerFrame;
        view = gui->m_hwndViewer;
        SetWindowPos(gui->m_hwndFrame, HWND_TOPMOST, kFrameX, 0, kFrameW, kFrameH, SWP_SHOWWINDOW);
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
        StopLobbyRefresh(m);
        m.serverSharingState = 1;
    }

    b.Post(PLM_MEETING_LEFT);
    ASSERT_TRUE(viewertest::PumpUntil([&] { return !m.InMeeting(); }, 15000));
}

} // namespace
