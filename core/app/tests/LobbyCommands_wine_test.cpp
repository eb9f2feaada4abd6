// The lobby's commands between programs in one meeting, through the local
// appliance and the real tunnels: control and host requests and their
// answers, reject-all, assist permissions, view-only, kick, rename, the end
// of the meeting and quitting, with their dialogs and boxes driven under
// Wine on the display (a PNG of each). Each program is a manager with the
// program's services on a thread of its own; the lobby's commands are
// called as its toolbar and menu call them. Run by tunnel_fixture.sh with
// lobby_commands_scenario.json (sessA of alice, the owner of the started
// meeting 100001, and sessB, sessC, sessD).
#include "core/app/tests/MeetingScenario_win.h"
#include "meeting/CMeetingLobby.h"
#include "meeting/LobbyCommands.h"
#include "meeting/res/LobbyCommandResources.h"
#include "tests/support/WindowTest_win.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace meetingtest;
using Clock = std::chrono::steady_clock;

const wchar_t* const kTest = L"LobbyCommands";

// The participant list as the appliance has it now, read by the program.
bool Reread(Instance& i)
{
    return i.M().Appliance().ReadParticipants();
}

Participant Record(Instance& i, const std::string& session)
{
    std::lock_guard<std::mutex> l(i.M().participantLock);
    for (const Participant& p : i.M().participants)
        if (p.sessionID == session)
            return p;
    return {};
}

CMeetingLobby& Lobby(Instance& i)
{
    return *i.M().lobby;
}

// A started meeting: alice hosts and coordinates, the others join.
class LobbyCommandsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { TrustRunCa(); }
    void SetUp() override
    {
        WriteFaults("[]");
        ResetAppliance();
    }

    void Enter(std::vector<Instance*> others)
    {
        StartAsHost(*m_a);
        ASSERT_TRUE(WaitUntil([&] { return m_a->InMeeting(); })) << "the host did not enter";
        // Alice entered as the meeting setup's "start now" leaves her, with
        // no join request: the appliance learns that she coordinates here.
        ASSERT_EQ(logintest::ApplianceControl(AppliancePort(), L"POST", "/__control/participant",
                                              R"({"meeting": "100001", "session": "sessA", "caller_role": 1})")
                      .status,
                  200u);
        for (Instance* o : others)
            o->Post(PLM_JOIN_MEETING);
        ASSERT_TRUE(WaitUntil([&] {
            for (Instance* o : others)
                if (!o->InMeeting())
                    return false;
            return true;
        })) << "a participant did not enter";
        // The participants' own lists name alice as host and coordinator.
        for (Instance* o : others)
            ASSERT_TRUE(Reread(*o));
        ASSERT_TRUE(Reread(*m_a));
        // The tests set the sharing and meeting states themselves: the
        // lobbies' timed refresh would put the appliance's back.
        StopLobbyRefresh(m_a->M());
        for (Instance* o : others)
            StopLobbyRefresh(o->M());
    }

    // The appliance seats each program once it has read its hello; the
    // request goes again until alice has it.
    void AskHostUntilSeen(Instance& from)
    {
        for (int i = 0; i < 20; ++i) {
            auto pending = m_a->M().PendingHostRequests();
            if (std::find(pending.begin(), pending.end(), from.M().ownSessionId) != pending.end())
                return;
            Lobby(from).OnToolbarCommand(kButtonRequestHost, 1);
            WaitUntil([&] {
                auto p = m_a->M().PendingHostRequests();
                return std::find(p.begin(), p.end(), from.M().ownSessionId) != p.end();
            }, 1000);
        }
        FAIL() << "alice never heard " << from.M().ownSessionId << " ask";
    }

    std::unique_ptr<Instance> m_a = std::make_unique<Instance>("sessA", L"Alice", [](CManager&) {});
};

// Finds a top-level window of this process by title (dialogs and boxes).
HWND WaitForWindow(const wchar_t* title, int ms = 10000)
{
    HWND found = nullptr;
    WaitUntil([&] { return (found = wintest::FindTopLevel(nullptr, title)) != nullptr; }, ms);
    return found;
}

// Runs a command that shows a message box on a thread of its own, as the
// lobby's main thread would; the box is read, saved and answered here.
class BoxCommand {
public:
    explicit BoxCommand(std::function<void()> command) : m_thread([command, this] {
        command();
        m_done = true;
    })
    {
    }
    ~BoxCommand() { m_thread.join(); }
    bool Done() const { return m_done; }

private:
    std::atomic<bool> m_done{false};
    std::thread m_thread;
};

std::wstring BoxText(HWND box)
{
    return wintest::ControlText(box, 0xFFFF);  // the static text of a message box
}

TEST_F(LobbyCommandsTest, ControlIsAskedPassedReleasedAndTakenBackFromTheLobby)
{
    Instance b("sessB", L"Bob", [](CManager&) {});
    Enter({&b});
    m_a->M().serverSharingState = 2;
    b.M().serverSharingState = 2;

    // A greyed button (never set, or set without bit 0) sends nothing.
    for (int value : {-1, 0, 2})
        Lobby(b).OnToolbarCommand(kButtonControl, value);
    Sleep(800);
    EXPECT_TRUE(m_a->M().PendingControlRequests().empty());

    // "Request Control" until alice has it (the appliance seats bob first).
    ASSERT_TRUE(WaitUntil([&] {
        Lobby(b).OnToolbarCommand(kButtonControl, 1);
        return WaitUntil([&] { return !m_a->M().PendingControlRequests().empty(); }, 1000);
    }, 20000));
    Sleep(500);  // a second request still on its way lands before the answer
    EXPECT_EQ(m_a->M().PendingControlRequests(), std::vector<std::string>{"sessB"});

    // Alice passes control from the menu: bob holds it, the list is empty.
    Lobby(*m_a).OnParticipantCommand(kCmdPassControl, "sessB");
    ASSERT_TRUE(WaitUntil([&] { return b.M().ControlHeld(); }, 10000));
    EXPECT_TRUE(m_a->M().PendingControlRequests().empty());
    EXPECT_EQ(m_a->M().ControlHolderSession(), "sessB");

    // Bob's button now releases it: packet 12 reaches alice.
    Lobby(b).OnToolbarCommand(kButtonControl, 3);
    EXPECT_FALSE(b.M().ControlHeld());
    ASSERT_TRUE(WaitUntil([&] { return m_a->M().ControlHolderSession().empty(); }, 10000));

    // Passed without a request, then taken back by alice.
    Lobby(*m_a).OnParticipantCommand(kCmdPassControl, "sessB");
    ASSERT_TRUE(WaitUntil([&] { return b.M().ControlHeld(); }, 10000));
    Lobby(*m_a).OnParticipantCommand(kCmdTakeBackControl, "sessB");
    EXPECT_TRUE(m_a->M().ControlHolderSession().empty());
    ASSERT_TRUE(WaitUntil([&] { return !b.M().ControlHeld(); }, 10000));
}

// The host's share button asks the appliance to start (0 to 1) and to stop
// (2 to 4); the coordinator's start/end button starts a waiting meeting and
// ends a started one for everyone.
TEST_F(LobbyCommandsTest, ShareAndStartEndButtonsSendTheirPackets)
{
    Instance b("sessB", L"Bob", [](CManager&) {});
    ASSERT_EQ(logintest::ApplianceControl(AppliancePort(), L"POST", "/__control/meeting",
                                          R"({"id": "100001", "state": "ready"})")
                  .status,
              200u);
    Enter({&b});
    ASSERT_EQ(b.M().meetingState, 1);
    m_a->M().meetingState = 1;
    Lobby(*m_a).OnToolbarCommand(kButtonStartEnd, 1);
    ASSERT_TRUE(WaitUntil([&] { return Reread(b) && b.M().meetingState == 2; }, 10000)) << "not started";

    m_a->M().meetingState = 2;
    m_a->M().serverSharingState = 0;
    Lobby(*m_a).OnToolbarCommand(kButtonShare, 1);
    ASSERT_TRUE(WaitUntil([&] { return Reread(b) && b.M().serverSharingState == 1; }, 10000));
    m_a->M().serverSharingState = 2;
    Lobby(*m_a).OnToolbarCommand(kButtonShare, 3);
    ASSERT_TRUE(WaitUntil([&] { return Reread(b) && b.M().serverSharingState == 4; }, 10000));

    // A participant's clicks on either button send nothing.
    b.M().meetingState = 2;
    Lobby(b).OnToolbarCommand(kButtonStartEnd, 3);
    Lobby(b).OnToolbarCommand(kButtonShare, 1);
    Sleep(800);
    ASSERT_TRUE(Reread(b));
    EXPECT_EQ(b.M().serverSharingState, 4);

    Lobby(*m_a).OnToolbarCommand(kButtonStartEnd, 3);
    EXPECT_TRUE(WaitUntil([&] { return !Reread(b); }, 10000)) << "the meeting did not end";
}

TEST_F(LobbyCommandsTest, AHostRequestAcceptedFromTheMenuSwapsTheRolesAtTheNextList)
{
    Instance b("sessB", L"Bob", [](CManager&) {});
    Enter({&b});
    AskHostUntilSeen(b);
    // Set as host on a requester accepts the request: packet 3 for bob.
    Lobby(*m_a).OnParticipantCommand(kCmdSetHost, "sessB");
    EXPECT_TRUE(m_a->M().PendingHostRequests().empty());
    ASSERT_TRUE(WaitUntil([&] { return Reread(b) && Record(b, "sessB").role == 1; }, 10000));
    EXPECT_EQ(Record(b, "sessA").role, 0);
}

// Regression: reject-all handed its thread one shared queue, which a second
// reject-all rewrote under it. Three host requests are refused 200 ms apart,
// each requester hears its own refusal once, and a control reject-all
// started meanwhile leaves them alone.
TEST_F(LobbyCommandsTest, RejectAllRefusesEachRequesterTwoHundredMsApart)
{
    Instance b("sessB", L"Bob", [](CManager&) {});
    Instance c("sessC", L"Carol", [](CManager&) {});
    Instance d("sessD", L"Dave", [](CManager&) {});
    Enter({&b, &c, &d});
    for (Instance* i : {&b, &c, &d})
        AskHostUntilSeen(*i);
    Sleep(500);
    ASSERT_EQ(m_a->M().PendingHostRequests().size(), 3u);
    for (Instance* i : {&b, &c, &d})
        ASSERT_TRUE(i->M().PendingHostRequests().empty());

    auto t0 = Clock::now();
    Lobby(*m_a).OnParticipantCommand(kCmdRejectAllHost, "sessB");
    Lobby(*m_a).StartRejectAll({}, PLP_REJECT_CONTROL);
    std::vector<long long> heard(3, -1);
    Instance* who[] = {&b, &c, &d};
    // Each requester's own request flag drops when its refusal arrives.
    ASSERT_TRUE(WaitUntil([&] {
        for (int i = 0; i < 3; ++i)
            if (heard[i] < 0 && !who[i]->M().HostRequestPending())
                heard[i] = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
        return heard[0] >= 0 && heard[1] >= 0 && heard[2] >= 0;
    }, 5000));
    std::sort(heard.begin(), heard.end());
    EXPECT_GE(heard[0], 150) << "the first refusal waits its 200 ms";
    EXPECT_GE(heard[1] - heard[0], 120);
    EXPECT_GE(heard[2] - heard[1], 120);
    EXPECT_TRUE(m_a->M().PendingHostRequests().empty());
}

TEST_F(LobbyCommandsTest, AssistDialogSendsTheChosenBitsAndUnsetClearsThem)
{
    Instance b("sessB", L"Bob", [](CManager&) {});
    Enter({&b});
    Lobby(*m_a).OnParticipantCommand(kCmdSetAssist, "sessB");
    HWND dialog = WaitForWindow(L"Set Assist Permission");
    ASSERT_NE(dialog, nullptr);
    wintest::Click(dialog, IDC_ASSIST_ALL);
    for (int id : {IDC_ASSIST_START_END, IDC_ASSIST_SET_HOST, IDC_ASSIST_VIEW_ONLY, IDC_ASSIST_POLLING,
                   IDC_ASSIST_KICK, IDC_ASSIST_INVITE, IDC_ASSIST_RESCHEDULE})
        EXPECT_EQ(IsDlgButtonChecked(dialog, id), BST_CHECKED) << id;
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog, IDC_ASSIST_UNUSED)));
    EXPECT_TRUE(GetWindowLongPtrW(dialog, GWL_EXSTYLE) & WS_EX_LAYERED);
    wintest::PumpFor(200);
    EXPECT_FALSE(wintest::SaveScreenshot(dialog, kTest, L"assist_all").empty());
    wintest::Click(dialog, IDC_ASSIST_NONE);
    wintest::Click(dialog, IDC_ASSIST_SET_HOST);
    wintest::Click(dialog, IDC_ASSIST_KICK);
    wintest::Click(dialog, IDC_ASSIST_INVERSE);
    wintest::Click(dialog, IDC_ASSIST_INVERSE);  // back to the two
    wintest::Click(dialog, IDOK);
    ASSERT_TRUE(WaitUntil([&] {
        Reread(b);
        return Record(b, "sessB").callerRole == 2;
    }, 10000));
    EXPECT_EQ(Record(b, "sessB").assistpermission, 0x12);

    // Unset assist: packet 4 with caller role 0 and no bits.
    ASSERT_TRUE(Reread(*m_a));
    Lobby(*m_a).OnParticipantCommand(kCmdUnsetAssist, "sessB");
    ASSERT_TRUE(WaitUntil([&] {
        Reread(b);
        return Record(b, "sessB").callerRole == 0;
    }, 10000));
    EXPECT_EQ(Record(b, "sessB").assistpermission, 0);
}

TEST_F(LobbyCommandsTest, ViewOnlyAndKickReachTheAppliance)
{
    Instance b("sessB", L"Bob", [](CManager&) {});
    Enter({&b});
    Lobby(*m_a).OnParticipantCommand(kCmdSetViewOnly, "sessB");
    ASSERT_TRUE(WaitUntil([&] { return Reread(b) && Record(b, "sessB").viewonly == 0; }, 10000));
    Lobby(*m_a).OnParticipantCommand(kCmdUnsetViewOnly, "sessB");
    ASSERT_TRUE(WaitUntil([&] { return Reread(b) && Record(b, "sessB").viewonly == 1; }, 10000));

    // Kicking oneself gets the box and sends nothing.
    {
        BoxCommand kickSelf([&] { Lobby(*m_a).OnParticipantCommand(kCmdKick, "sessA"); });
        HWND box = WaitForWindow(L"Warn");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(BoxText(box), L"You are kicking out yourself, please use quit meeting.");
        EXPECT_FALSE(wintest::SaveScreenshot(box, kTest, L"kick_self").empty());
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    ASSERT_TRUE(Reread(b));
    // A coordinator kicks anyone else: bob's session is ended.
    Lobby(*m_a).OnParticipantCommand(kCmdKick, "sessB");
    EXPECT_TRUE(WaitUntil([&] { return !Reread(b); }, 10000)) << "bob is still in the meeting";
    EXPECT_TRUE(Reread(*m_a));
}

// Regression: the menu chose its participant by display name, so with two
// guests of one name kick, view-only and the rest hit the first of them;
// and the dialogs acted on the lobby's one selection, which the next right
// click replaced while a dialog was open.
TEST_F(LobbyCommandsTest, SameNamesAndOpenDialogsActOnTheirOwnParticipant)
{
    Instance b("sessB", L"Bob", [](CManager&) {});
    Instance c("sessC", L"Bob", [](CManager&) {});
    Enter({&b, &c});
    Lobby(*m_a).OnParticipantCommand(kCmdSetAssist, "sessC");
    HWND dialog = WaitForWindow(L"Set Assist Permission");
    ASSERT_NE(dialog, nullptr);
    // Meanwhile the next command, on the other Bob.
    Lobby(*m_a).OnParticipantCommand(kCmdSetViewOnly, "sessB");
    wintest::Click(dialog, IDC_ASSIST_INVITE);
    wintest::Click(dialog, IDOK);
    ASSERT_TRUE(WaitUntil([&] {
        Reread(*m_a);
        return Record(*m_a, "sessC").callerRole == 2 && Record(*m_a, "sessB").viewonly == 0;
    }, 10000));
    EXPECT_EQ(Record(*m_a, "sessC").assistpermission, 0x40);
    EXPECT_EQ(Record(*m_a, "sessC").viewonly, 1);
    EXPECT_EQ(Record(*m_a, "sessB").callerRole, 0);

    Lobby(*m_a).OnParticipantCommand(kCmdKick, "sessC");
    EXPECT_TRUE(WaitUntil([&] { return !Reread(c); }, 10000)) << "the second Bob was not kicked";
    EXPECT_TRUE(Reread(b)) << "the first Bob was kicked";
}

TEST_F(LobbyCommandsTest, RenameDialogCoversEmptyTakenNoReplyLongAndAcceptedNames)
{
    Instance b("sessB", L"Bob", [](CManager&) {});
    Enter({&b});
    Lobby(b).OnParticipantCommand(kCmdRename, "sessB");
    HWND dialog = WaitForWindow(L"Set the name");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(wintest::ControlText(dialog, IDC_RENAME_EDIT), L"Bob");
    EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_RENAME_EDIT, EM_GETLIMITTEXT, 0, 0), 127);

    wintest::SetControlText(dialog, IDC_RENAME_EDIT, L"");
    wintest::Click(dialog, IDOK);
    EXPECT_EQ(wintest::ControlText(dialog, IDC_RENAME_MESSAGE), L"The name cannot be empty.");

    // Alice's name is taken: 25, no rename.
    wintest::SetControlText(dialog, IDC_RENAME_EDIT, L"Alice");
    wintest::Click(dialog, IDOK);
    EXPECT_EQ(wintest::ControlText(dialog, IDC_RENAME_MESSAGE), L"The name is used by another user.");
    wintest::PumpFor(200);
    EXPECT_FALSE(wintest::SaveScreenshot(dialog, kTest, L"rename_taken").empty());
    ASSERT_TRUE(Reread(*m_a));
    EXPECT_EQ(Record(*m_a, "sessB").name, L"Bob");

    // No reply within 1.5 s: the rename is reported failed, the dialog stays.
    WriteFaults(R"([{"service": "PL_CONTROL", "session": "sessB", "withhold_rename_reply": true}])");
    // Tunnel faults apply to new tunnels: bob leaves and enters again.
    auto reenterAndRename = [&] {
        HWND before = dialog;
        b.Post(PLM_MEETING_LEFT, PLM_LEAVE_BUTTON);
        EXPECT_TRUE(WaitUntil([&] { return !b.M().InMeeting(); }));
        EXPECT_FALSE(IsWindow(before)) << "leaving closes the lobby's dialogs";
        b.Post(PLM_JOIN_MEETING);
        EXPECT_TRUE(WaitUntil([&] { return b.InMeeting(); }));
        EXPECT_TRUE(Reread(b));
        Lobby(b).OnParticipantCommand(kCmdRename, "sessB");
        return WaitForWindow(L"Set the name");
    };
    dialog = reenterAndRename();
    ASSERT_NE(dialog, nullptr);
    wintest::SetControlText(dialog, IDC_RENAME_EDIT, L"Robert");
    auto t0 = Clock::now();
    wintest::Click(dialog, IDOK);
    EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(1400));
    EXPECT_EQ(wintest::ControlText(dialog, IDC_RENAME_MESSAGE), L"Rename failed, please try again.");
    EXPECT_TRUE(IsWindowVisible(dialog));
    wintest::Click(dialog, IDCANCEL);

    // With replies again: 43 three-byte characters (129 bytes) arrive as
    // 42 whole ones, and the dialog closes on 26.
    WriteFaults("[]");
    dialog = reenterAndRename();
    ASSERT_NE(dialog, nullptr);
    wintest::SetControlText(dialog, IDC_RENAME_EDIT, std::wstring(43, L'\x20AC'));
    wintest::Click(dialog, IDOK);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, 3000)) << "an accepted rename closes the dialog";
    ASSERT_TRUE(Reread(*m_a));
    EXPECT_EQ(Record(*m_a, "sessB").name, std::wstring(42, L'\x20AC'));
}

TEST_F(LobbyCommandsTest, CloseAsksTheCoordinatorAndEndMeetingEndsItForEveryone)
{
    Instance b("sessB", L"Bob", [](CManager&) {});
    Enter({&b});
    m_a->M().serverSharingState = 0;
    // Cancel stays.
    Lobby(*m_a).OnClose();
    HWND dialog = WaitForWindow(L"End Meeting");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(wintest::ControlText(dialog, IDC_END_TEXT), L"Do you want to quit the meeting or end the meeting?");
    wintest::PumpFor(200);
    EXPECT_FALSE(wintest::SaveScreenshot(dialog, kTest, L"end_meeting").empty());
    wintest::Click(dialog, IDCANCEL);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }));
    Sleep(500);
    ASSERT_TRUE(Reread(b));

    // "Quit Meeting" clicks the lobby's quit button: WM_COMMAND 2510 at the
    // lobby's window, caught here before the lobby acts on it.
    static std::atomic<WPARAM> command{0};
    static WNDPROC lobbyProc = nullptr;
    const HWND lobbyWindow = Lobby(*m_a).m_hWnd;
    ASSERT_NE(lobbyWindow, nullptr);
    WNDPROC catcher = [](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
        if (m == WM_COMMAND && wp == static_cast<WPARAM>(kButtonQuit)) {
            command = wp;
            return 0;
        }
        return CallWindowProcW(lobbyProc, w, m, wp, lp);
    };
    lobbyProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(lobbyWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(catcher)));
    Lobby(*m_a).OnClose();
    HWND quitDialog = nullptr;
    ASSERT_TRUE(wintest::WaitFor([&] { return (quitDialog = wintest::FindTopLevel(nullptr, L"End Meeting")); }));
    PostMessageW(quitDialog, WM_COMMAND, IDC_END_QUIT, 0);
    EXPECT_TRUE(wintest::WaitFor([&] { return command.load() == static_cast<WPARAM>(kButtonQuit); }, 5000));
    SetWindowLongPtrW(lobbyWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(lobbyProc));
    EXPECT_TRUE(m_a->InMeeting());

    // "End Meeting": packet 10, and the meeting is gone for bob too.
    Lobby(*m_a).OnClose();
    dialog = WaitForWindow(L"End Meeting");
    ASSERT_NE(dialog, nullptr);
    wintest::Click(dialog, IDC_END_END);
    EXPECT_TRUE(WaitUntil([&] { return !Reread(b); }, 10000)) << "the meeting did not end";
}

TEST_F(LobbyCommandsTest, QuitAsksALastCoordinatorHostAndCancelStays)
{
    Instance b("sessB", L"Bob", [](CManager&) {});
    Enter({&b});
    {
        BoxCommand quit([&] { Lobby(*m_a).OnToolbarCommand(kButtonQuit, 1); });
        HWND box = WaitForWindow(L"Warning");
        ASSERT_NE(box, nullptr);
        EXPECT_NE(BoxText(box).find(L"No meeting assist exists."), std::wstring::npos);
        EXPECT_FALSE(wintest::SaveScreenshot(box, kTest, L"quit_confirm").empty());
        PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
    }
    Sleep(500);
    EXPECT_TRUE(m_a->InMeeting());
    {
        BoxCommand quit([&] { Lobby(*m_a).OnToolbarCommand(kButtonQuit, 1); });
        HWND box = WaitForWindow(L"Warning");
        ASSERT_NE(box, nullptr);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    EXPECT_TRUE(WaitUntil([&] { return !m_a->M().InMeeting(); })) << "OK leaves the meeting";
    // A participant quits without a question.
    b.M().lobby->OnToolbarCommand(kButtonQuit, 1);
    EXPECT_TRUE(WaitUntil([&] { return !b.M().InMeeting(); }));
}

TEST_F(LobbyCommandsTest, RescheduleResultsShowTheirBoxOrEndAnExpiredMeeting)
{
    Instance b("sessB", L"Bob", [](CManager&) {});
    Enter({&b});
    m_a->M().rescheduleTexts = {L"2026-12-11", L"10:00", L"2026-12-12", L"11:30"};
    {
        BoxCommand done([&] { Lobby(*m_a).OnRescheduleResult(1, 0); });
        HWND box = WaitForWindow(L"Information");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(BoxText(box), L"The meeting has been rescheduled from 2026-12-11 10:00 to 2026-12-12 11:30");
        EXPECT_FALSE(wintest::SaveScreenshot(box, kTest, L"rescheduled").empty());
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    {
        BoxCommand failed([&] { Lobby(*m_a).OnRescheduleResult(0, 0); });
        HWND box = WaitForWindow(L"Rescheduling Results");
        ASSERT_NE(box, nullptr);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    // Refreshes run again after the result.
    EXPECT_TRUE(Lobby(*m_a).RefreshNow(10000));
    StopLobbyRefresh(m_a->M());
    ASSERT_TRUE(Reread(b));
    // An expired meeting that could not be rescheduled ends.
    m_a->M().meetingExpires = -1;
    Lobby(*m_a).OnRescheduleResult(0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !Reread(b); }, 10000));
    // The lobby's refresh, running again, finds the meeting gone: its box,
    // then the leave.
    HWND ended = WaitForWindow(L"Warning", 20000);
    ASSERT_NE(ended, nullptr);
    EXPECT_EQ(BoxText(ended), L"Meeting has been terminated or broken, please create/join a meeting again.");
    EXPECT_FALSE(wintest::SaveScreenshot(ended, kTest, L"meeting_ended").empty());
    PostMessageW(ended, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitUntil([&] { return !m_a->InMeeting(); }, 10000));
}

} // namespace
