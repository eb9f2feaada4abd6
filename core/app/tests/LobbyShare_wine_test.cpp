// The lobby drives screen sharing between two programs: the meeting's owner
// and a guest, each a real manager with its real lobby window in a process
// (and Wine prefix) of its own on one X display, meet at the local appliance.
// The owner clicks "Start Sharing" on the lobby's toolbar; from there only
// the lobbies' refreshes and the appliance move both programs through the
// sharing steps, until the guest's viewer shows the owner's screen pixel for
// pixel. The owner then clicks "Stop Sharing" and both return to waiting.
// A second round: the owner shares again, the guest leaves and rejoins three
// times while it shares and gets its view back each time with nothing left
// behind, and the owner leaving while it shares closes the guest's view.
// The lobbies' rows, state texts and toolbar images are read back from the
// windows, and screenshots of each main state are saved.
//
// Run by tunnel_fixture.sh with CORVISK_FIXTURE_PEER_FILTER (the owner's
// suite in a second prefix), as the sharing view's test is.
#include "Technician/ui/TechnicianGUI.h"
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

std::wstring ItemText(HWND list, int row, int column)
{
    wchar_t text[256] = L"";
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 256;
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return text;
}

LPARAM ItemData(HWND list, int row)
{
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return item.lParam;
}

int Rows(HWND list)
{
    return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
}

// The button's value as its image shows it: image 4 x (id - 2500) + value.
int ButtonValue(HWND toolbar, int id)
{
    TBBUTTONINFOW info{};
    info.cbSize = sizeof(info);
    info.dwMask = TBIF_IMAGE;
    if (SendMessageW(toolbar, TB_GETBUTTONINFOW, id, reinterpret_cast<LPARAM>(&info)) < 0)
        return -100;
    return info.iImage - 4 * (id - 2500);
}

// A user's click in the middle of a toolbar button, as the toolbar gets it
// (the X server's stacking of two processes' top-most windows is not part
// of what is tested).
void ClickButton(HWND toolbar, int id)
{
    RECT r{};
    SendMessageW(toolbar, TB_GETRECT, id, reinterpret_cast<LPARAM>(&r));
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PostMessageW(toolbar, WM_MOUSEMOVE, 0, at);
    PostMessageW(toolbar, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(toolbar, WM_LBUTTONUP, 0, at);
    wintest::PumpFor(300);
    SetCursorPos(kPointerX, kPointerY);
}

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
    SetWindowPos(frame, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    wintest::PumpFor(500);
    EXPECT_FALSE(wintest::SaveScreenshot(frame, L"lobby_share", state).empty()) << state;
    SetWindowPos(frame, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

// Counts a leak would grow: threads, kernel handles, GDI objects.
struct Footprint {
    size_t threads;
    DWORD handles, gdi;
};

Footprint FootprintNow()
{
    Footprint f{ThreadsOfThisProcess(), 0, GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS)};
    GetProcessHandleCount(GetCurrentProcess(), &f.handles);
    return f;
}

// Waits for the view the lobby opens, puts it at true size and compares what
// it shows with the owner's picture window; saves it as png.
void ExpectThePicture(CManager& m, const char* png)
{
    ASSERT_TRUE(wintest::WaitFor([&] { return m.viewerFrame != nullptr; }, 60000)) << "no view opened: " << png;
    wintest::WaitFor([&] { return m.controlMenu != nullptr; }, 5000);
    HideControlBar(m);
    TechnicianGUI* gui = m.viewerFrame;
    SetWindowPos(gui->m_hwndFrame, HWND_TOPMOST, kFrameX, 0, kFrameW, kFrameH, SWP_SHOWWINDOW);
    ASSERT_TRUE(wintest::WaitFor([&] { return m.sharingStep == 4 && m.serverSharingState == 2; }, 60000))
        << "the guest did not reach sharing: step " << m.sharingStep << " (" << png << ")";
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
    // The view follows the presenter's pointer: it rests below the picture.
    SetCursorPos(kPointerX, kPointerY);
    wintest::WaitFor(
        [&] {
            // The frame may size itself to the picture once it has one.
            SetWindowPos(gui->m_hwndFrame, HWND_TOPMOST, kFrameX, 0, kFrameW, kFrameH, SWP_SHOWWINDOW);
            HideControlBar(m);
            return (bad = Mismatches(shown = viewertest::Capture(view))) == 0;
        },
        20000);
    viewertest::SavePng(shown, png);
    EXPECT_EQ(bad, 0) << "view " << shown.width << " x " << shown.height << " (" << png << ")";
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
    // Its tooltip still shows while the pointer rests on it.
    {
        const HWND tips = reinterpret_cast<HWND>(SendMessageW(toolbar, TB_GETTOOLTIPS, 0, 0));
        // A toolbar's tips show over the active window, as a user's would.
        SetWindowPos(lobby.Window(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        SetForegroundWindow(lobby.Window());
        RECT r{};
        SendMessageW(toolbar, TB_GETRECT, IDC_TB_CONTROL, reinterpret_cast<LPARAM>(&r));
        POINT at{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        const LPARAM client = MAKELPARAM(at.x, at.y);
        ClientToScreen(toolbar, &at);
        SetCursorPos(at.x, at.y);
        PostMessageW(toolbar, WM_MOUSEMOVE, 0, client);
        EXPECT_TRUE(wintest::WaitFor([&] { return tips && IsWindowVisible(tips); }, 5000))
            << "no tooltip over the greyed button";
        EXPECT_FALSE(wintest::SaveScreenshot(lobby.Window(), L"lobby_share", L"owner_greyed_tooltip").empty());
        SetCursorPos(kPointerX, kPointerY);
        SetWindowPos(lobby.Window(), HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    }

    const DWORD clicked = GetTickCount();
    ClickButton(toolbar, IDC_TB_SHARE);
    wintest::WaitFor([&] { return a.M().controlMenu != nullptr; }, 10000);
    HideControlBar(a.M());
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

    EXPECT_TRUE(wintest::WaitFor([&] { return KeepPictureClear(a.M(), picture) && Signalled("guest-viewed"); }, 120000))
        << "the guest gave no end";
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
        << "sharing did not end: step " << a.M().sharingStep << ", meeting " << a.M().serverSharingState
        << ", button " << ButtonValue(toolbar, IDC_TB_SHARE) << ", state " << a.M().meetingState;
    EXPECT_TRUE(wintest::WaitFor([&] { return StateText(lobby) == L"Started [Host is not sharing]"; }, 10000));
    EXPECT_EQ(ItemText(list, 0, 0), L"alice");
    EXPECT_TRUE(wintest::WaitFor([&] { return ButtonValue(toolbar, IDC_TB_SHARE) == 1; }, 10000));
    Signal("owner-stopped");

    // Second round: sharing again while the guest comes and goes, then the
    // owner leaves while it shares.
    ASSERT_TRUE(wintest::WaitFor([] { return Signalled("guest-again"); }, 60000)) << "the guest gave no end";
    SetWindowPos(lobby.Window(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    wintest::PumpFor(300);
    ClickButton(toolbar, IDC_TB_SHARE);
    SetWindowPos(lobby.Window(), HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    wintest::WaitFor([&] { return a.M().controlMenu != nullptr; }, 10000);
    HideControlBar(a.M());
    ASSERT_TRUE(wintest::WaitFor([&] { return a.M().sharingStep == 4 && a.M().serverSharingState == 2; }, 60000))
        << "the owner did not share again: step " << a.M().sharingStep;
    Signal("owner-sharing-again");
    EXPECT_TRUE(wintest::WaitFor([&] { return KeepPictureClear(a.M(), picture) && Signalled("guest-rejoined"); }, 240000))
        << "the guest gave no end";
    Progress("owner: leaving while sharing");
    a.Post(PLM_MEETING_LEFT, PLM_LEAVE_BUTTON);
    ASSERT_TRUE(wintest::WaitFor([&] { return !a.M().InMeeting(); }, 15000));
    EXPECT_EQ(a.M().vncServerObj, nullptr);
    EXPECT_EQ(a.M().sharingStep, 1);
    Signal("owner-left");
    EXPECT_TRUE(wintest::WaitFor([] { return Signalled("guest-done"); }, 60000));
}

// The guest: joins, sees the owner in its list, and from the owner's click
// on gets the picture in its viewer with no step of its own; back to its
// lobby when the owner stops.
TEST_F(LobbySharePeers, Guest)
{
    struct Done {
        ~Done()
        {
            Signal("guest-done");
            Signal("guest-viewed");
            Signal("guest-again");
            Signal("guest-rejoined");
        }
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
    ExpectThePicture(m, "lobby_share_guest_view");
    ASSERT_FALSE(HasFatalFailure());
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
    ShowWindow(lobby.Window(), SW_HIDE);  // hidden again, as the program left it
    size_t threads = 0;
    wintest::WaitFor([&] { return (threads = ThreadsOfThisProcess()) <= baseline + 4; }, 5000);
    EXPECT_LE(threads, baseline + 4) << "a reader or relay outlived the view";

    // Second round: the owner shares again; the guest leaves and rejoins
    // three times while it shares and gets the owner's whole picture back
    // each time, also where its new windows stood over the picture on this
    // one display before they were moved aside or hidden.
    Signal("guest-again");
    ASSERT_TRUE(wintest::WaitFor([] { return Signalled("owner-sharing-again"); }, 60000));
    ExpectThePicture(m, "lobby_share_guest_view_again");
    ASSERT_FALSE(HasFatalFailure());
    Footprint before{};
    for (int round = 0; round < 3; ++round) {
        b.Post(PLM_MEETING_LEFT, PLM_LEAVE_BUTTON);
        ASSERT_TRUE(wintest::WaitFor([&] { return !m.InMeeting() && m.viewerFrame == nullptr; }, 15000))
            << "round " << round;
        if (round == 0) {
            wintest::PumpFor(1000);
            before = FootprintNow();
        }
        b.Post(PLM_JOIN_MEETING);
        ASSERT_TRUE(wintest::WaitFor([&] { return m.InMeeting() && m.lobby; }, 30000)) << "round " << round;
        const std::string png = "lobby_share_guest_rejoined_" + std::to_string(round + 1);
        ExpectThePicture(m, png.c_str());
        ASSERT_FALSE(HasFatalFailure());
    }
    // Out once more, to compare with the first time out.
    b.Post(PLM_MEETING_LEFT, PLM_LEAVE_BUTTON);
    ASSERT_TRUE(wintest::WaitFor([&] { return !m.InMeeting() && m.viewerFrame == nullptr; }, 15000));
    Footprint after{};
    wintest::WaitFor(
        [&] {
            after = FootprintNow();
            return after.threads <= before.threads && after.handles <= before.handles + 8 &&
                   after.gdi <= before.gdi + 8;
        },
        10000);
    EXPECT_LE(after.threads, before.threads);
    EXPECT_LE(after.handles, before.handles + 8);
    EXPECT_LE(after.gdi, before.gdi + 8);
    b.Post(PLM_JOIN_MEETING);
    ASSERT_TRUE(wintest::WaitFor([&] { return m.InMeeting() && m.lobby; }, 30000));
    ExpectThePicture(m, "lobby_share_guest_back");
    ASSERT_FALSE(HasFatalFailure());
    Signal("guest-rejoined");

    // The owner leaves while it shares: the view goes and the lobby says so.
    ASSERT_TRUE(wintest::WaitFor([] { return Signalled("owner-left"); }, 60000));
    ASSERT_TRUE(wintest::WaitFor([&] { return m.viewerFrame == nullptr && m.sharingStep == 1; }, 30000))
        << "the view stayed after the host left";
    CMeetingLobby& back = *m.lobby;
    EXPECT_TRUE(wintest::WaitFor([&] { return StateText(back) == L"Started [Host is not sharing]"; }, 15000))
        << "state: " << std::string(StateText(back).begin(), StateText(back).end());
    ShowWindow(back.Window(), SW_SHOW);
    Shot(back.Window(), L"guest_host_left");

    b.Post(PLM_MEETING_LEFT, PLM_LEAVE_BUTTON);
    ASSERT_TRUE(wintest::WaitFor([&] { return !m.InMeeting(); }, 15000));
}

} // namespace
