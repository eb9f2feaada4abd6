// The lobby drives screen sharing between two programs: the meeting's owner
// and a guest, each a real manager with its real lobby window in a process
// (and Wine prefix) of its own on one X display, meet at the local appliance.
// The owner clicks "Start Sharing" on the lobby's toolbar; from there only
// the lobbies' refreshes and the appliance move both programs through the
// sharing steps, until the guest's viewer shows the owner's screen pixel for
// pixel. The owner then clicks "Stop Sharing" and both return to waiting.
// The lobbies' rows, state texts and toolbar images are read back from the
// windows, and screenshots of each main state are saved.
//
// Run by tunnel_fixture.sh with CORVISK_FIXTURE_PEER_FILTER (the owner's
// suite in a second prefix), as the sharing view's test is.
#include "Technician/ui/TechnicianGUI.h"
#include "core/app/tests/LobbyReadback_win.h"
#include "core/app/tests/SharePicture_win.h"
#include "meeting/CMeetingLobby.h"
#include "meeting/LobbyResources.h"
#include "tests/support/WindowTest_win.h"

#include <commctrl.h>

#include <cstdio>
#include <string>

namespace {

using namespace meetingtest;
using namespace sharetest;
using namespace lobbytest;

std::wstring StateText(CMeetingLobby& lobby)
{
    return wintest::ControlText(lobby.Dialog(), IDC_LOBBY_STATE);
}

// On top of everything for its picture, then back among the others.
void Progress(const char* what)
{
    std::printf("[%lu] %s\n", static_cast<unsigned long>(GetTickCount()), what);
    std::fflush(stdout);
}

void Shot(HWND frame, const wchar_t* state)
{
    lobbytest::Shot(frame, L"lobby_share", state);
}

class LobbySharePeers : public ::testing::Test {
protected:
    static void SetUpTestSuite() { TrustRunCa(); }
};

// The owner: enters, waits for the guest in its list, clicks "Start
// Sharing", shares until the guest has checked its picture, then clicks
// "Stop Sharing".
TEST_F(LobbySharePeers, Owner)
{
    // The owner joins with its session (caller role 1) as a participant; its
    // lobby takes the free host role of the started meeting.
    Instance a("sessA", L"alice", LaunchWithSession);
    ASSERT_TRUE(WaitUntil([&] { return a.InMeeting(); })) << "the owner did not enter";
    CMeetingLobby& lobby = *a.M().lobby;
    ASSERT_TRUE(WaitUntil([&] { return IsWindow(lobby.Window()) && lobby.ToolbarWindow(); }))
        << "no lobby window";
    ASSERT_TRUE(lobby.Dialog() && lobby.ListWindow());
    SetWindowPos(lobby.Window(), nullptr, kLobbyX, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    // Layered (own window), with the list's hidden fourth column.
    EXPECT_TRUE(GetWindowLongPtrW(lobby.Window(), GWL_EXSTYLE) & WS_EX_LAYERED);
    const HWND list = lobby.ListWindow();
    EXPECT_EQ(ListView_GetColumnWidth(list, 3), 0);
    EXPECT_GT(ListView_GetColumnWidth(list, 0), 0);

    ASSERT_TRUE(wintest::WaitFor([&] { return a.M().role == 1 && a.M().title == 1; }, 20000))
        << "the coordinator did not become host: role " << a.M().role << ", title " << a.M().title << ", meeting "
        << a.M().meetingState << ", rows " << Rows(list) << ", row 0 " << ItemText(list, 0, 1).size();

    PictureWindow picture;
    SetCursorPos(kPointerX, kPointerY);
    Signal("owner-in");

    // The guest arrives in the list at a refresh.
    ASSERT_TRUE(wintest::WaitFor([&] { return Signalled("guest-in") && Rows(list) == 2; }, 60000))
        << "the guest never showed in the owner's list";
    EXPECT_EQ(ItemText(list, 0, 0), L"alice");
    EXPECT_EQ(ItemData(list, 0), kMarkOwn);
    EXPECT_EQ(ItemText(list, 0, 1), L"Host(Coordinator)");
    EXPECT_EQ(ItemText(list, 0, 2), L"Waiting");
    EXPECT_EQ(ItemText(list, 1, 0), L"bob");
    EXPECT_EQ(ItemText(list, 1, 1), L"Participant");
    EXPECT_EQ(ItemText(list, 1, 3), L"bob");
    EXPECT_EQ(StateText(lobby), L"Started [Host is not sharing]");
    const HWND toolbar = lobby.ToolbarWindow();
    EXPECT_EQ(ButtonValue(toolbar, IDC_TB_SHARE), 1);
    EXPECT_EQ(ButtonValue(toolbar, IDC_TB_CONTROL), 0);
    EXPECT_EQ(ButtonValue(toolbar, IDC_TB_QUIT), 1);
    Shot(lobby.Window(), L"owner_before");

    // A greyed button's click does nothing.
    ClickButton(toolbar, IDC_TB_CONTROL);
    EXPECT_EQ(a.M().sharingStep, 1);

    const DWORD clicked = GetTickCount();
    ClickButton(toolbar, IDC_TB_SHARE);
    ASSERT_TRUE(wintest::WaitFor(
        [&] { return a.M().sharingStep == 4 && a.M().serverSharingState == 2 && ButtonValue(toolbar, IDC_TB_SHARE) == 3; },
        60000))
        << "the owner did not reach sharing: step " << a.M().sharingStep << ", meeting "
        << a.M().serverSharingState;
    EXPECT_TRUE(wintest::WaitFor([&] { return StateText(lobby) == L"Started [Host is sharing]"; }, 10000));
    EXPECT_EQ(ItemText(list, 0, 0), L"alice (Sharing)");
    EXPECT_EQ(ItemText(list, 0, 3), L"alice");
    EXPECT_EQ(ItemText(list, 0, 2), L"Started");
    EXPECT_NE(a.M().vncServerObj, nullptr);
    Signal("owner-sharing");
    std::printf("owner: sharing %lu ms after the click\n", static_cast<unsigned long>(GetTickCount() - clicked));

    EXPECT_TRUE(wintest::WaitFor([] { return Signalled("guest-viewed"); }, 120000)) << "the guest gave no end";
    Progress("owner: the guest has viewed");
    Shot(lobby.Window(), L"owner_sharing");
    Progress("owner: shot taken");

    SetWindowPos(lobby.Window(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    wintest::PumpFor(300);
    ClickButton(toolbar, IDC_TB_SHARE);
    Progress("owner: stop clicked");
    SetWindowPos(lobby.Window(), HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ASSERT_TRUE(wintest::WaitFor(
        [&] { return a.M().sharingStep == 1 && a.M().vncServerObj == nullptr && a.M().serverSharingState == 0; },
        60000))
        << "sharing did not end: step " << a.M().sharingStep << ", meeting " << a.M().serverSharingState;
    EXPECT_TRUE(wintest::WaitFor([&] { return StateText(lobby) == L"Started [Host is not sharing]"; }, 10000));
    EXPECT_EQ(ItemText(list, 0, 0), L"alice");
    EXPECT_EQ(ButtonValue(toolbar, IDC_TB_SHARE), 1);
    Signal("owner-stopped");

    EXPECT_TRUE(wintest::WaitFor([] { return Signalled("guest-done"); }, 60000));
    a.Post(PLM_MEETING_LEFT, PLM_LEAVE_BUTTON);
    ASSERT_TRUE(wintest::WaitFor([&] { return !a.M().InMeeting(); }, 15000));
}

// The guest: joins, sees the owner in its list, and from the owner's click
// on gets the picture in its viewer with no step of its own; back to its
// lobby when the owner stops.
TEST_F(LobbySharePeers, Guest)
{
    struct Done {
        ~Done() { Signal("guest-done"); Signal("guest-viewed"); }
    } done;
    ASSERT_TRUE(WaitUntil([] { return Signalled("owner-in"); }, 60000)) << "the owner did not enter";
    Instance b("sessB", L"bob", LaunchWithSession);
    ASSERT_TRUE(WaitUntil([&] { return b.InMeeting(); })) << "the guest did not enter";
    CManager& m = b.M();
    CMeetingLobby& lobby = *m.lobby;
    ASSERT_TRUE(WaitUntil([&] { return IsWindow(lobby.Window()) && lobby.ToolbarWindow(); }))
        << "no lobby window";
    const HWND list = lobby.ListWindow();
    SetWindowPos(lobby.Window(), nullptr, kLobbyX, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ASSERT_TRUE(wintest::WaitFor([&] { return Rows(list) == 2; }, 20000));
    // Own row first and marked, then the owner.
    EXPECT_EQ(ItemText(list, 0, 0), L"bob");
    EXPECT_EQ(ItemData(list, 0), kMarkOwn);
    EXPECT_EQ(ItemText(list, 1, 0), L"alice");
    EXPECT_EQ(ItemText(list, 1, 1), L"Host(Coordinator)");
    EXPECT_EQ(StateText(lobby), L"Started [Host is not sharing]");
    const HWND toolbar = lobby.ToolbarWindow();
    EXPECT_EQ(ButtonValue(toolbar, IDC_TB_SHARE), 0);
    EXPECT_EQ(ButtonValue(toolbar, IDC_TB_REQUEST_HOST), 1);
    Shot(lobby.Window(), L"guest_before");
    const size_t baseline = ThreadsOfThisProcess();
    Signal("guest-in");

    // The lobby opens the view and starts the viewer by itself.
    ASSERT_TRUE(wintest::WaitFor([&] { return m.viewerFrame != nullptr; }, 60000)) << "no view opened";
    TechnicianGUI* gui = m.viewerFrame;
    SetWindowPos(gui->m_hwndFrame, HWND_TOPMOST, kFrameX, 0, kFrameW, kFrameH, SWP_SHOWWINDOW);
    ASSERT_TRUE(wintest::WaitFor([&] { return m.sharingStep == 4 && m.serverSharingState == 2; }, 60000))
        << "the guest did not reach sharing: step " << m.sharingStep;
    const HWND view = gui->m_hwndViewer;
    ASSERT_TRUE(wintest::WaitFor(
        [&] {
            DWORD_PTR result = 0;
            return SendMessageTimeoutW(view, WM_VIEWER_SET_SCALE, 100, 100, SMTO_NORMAL, 1000, &result) &&
                   result == 1;
        },
        10000));
    viewertest::Picture shown;
    int bad = -1;
    wintest::WaitFor(
        [&] {
            // The frame may size itself to the picture once it has one.
            SetWindowPos(gui->m_hwndFrame, HWND_TOPMOST, kFrameX, 0, kFrameW, kFrameH, SWP_SHOWWINDOW);
            return (bad = Mismatches(shown = viewertest::Capture(view))) == 0;
        },
        20000);
    viewertest::SavePng(shown, "lobby_share_guest_view");
    EXPECT_EQ(bad, 0) << "view " << shown.width << " x " << shown.height;
    // The lobby reads the owner's sharing.
    EXPECT_EQ(StateText(lobby), L"Started [Host is sharing]");
    EXPECT_EQ(ItemText(list, 1, 0), L"alice (Sharing)");
    EXPECT_EQ(ButtonValue(toolbar, IDC_TB_CONTROL), 1);
    // Shown in the lobby (which hides while the view is up).
    EXPECT_TRUE(GetWindowLongPtrW(wintest::FindControl(lobby.Dialog(), IDC_LOBBY_NOTE), GWL_STYLE) & WS_VISIBLE);
    EXPECT_EQ(wintest::ControlText(lobby.Dialog(), IDC_LOBBY_NOTE), L"You don't have the control permission");
    Signal("guest-viewed");

    ASSERT_TRUE(wintest::WaitFor([] { return Signalled("owner-stopped"); }, 60000));
    ASSERT_TRUE(wintest::WaitFor([&] { return m.viewerFrame == nullptr && m.sharingStep == 1; }, 30000))
        << "the view stayed";
    EXPECT_TRUE(wintest::WaitFor([&] { return StateText(lobby) == L"Started [Host is not sharing]"; }, 10000));
    EXPECT_EQ(ButtonValue(toolbar, IDC_TB_CONTROL), 0);
    ShowWindow(lobby.Window(), SW_SHOW);
    Shot(lobby.Window(), L"guest_after");
    size_t threads = 0;
    wintest::WaitFor([&] { return (threads = ThreadsOfThisProcess()) <= baseline + 4; }, 5000);
    EXPECT_LE(threads, baseline + 4) << "a reader or relay outlived the view";

    b.Post(PLM_MEETING_LEFT, PLM_LEAVE_BUTTON);
    ASSERT_TRUE(wintest::WaitFor([&] { return !m.InMeeting(); }, 15000));
}

} // namespace
