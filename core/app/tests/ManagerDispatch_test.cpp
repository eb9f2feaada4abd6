// The main-thread dispatcher under Wine: every thread message is posted to the
// real loop and its effect checked against test doubles of the transport and
// the appliance services.
#include "core/app/tests/ManagerFakes.h"
#include "core/app/tests/DesktopEffects.h"

#include "Customer/session/vncServer.h"
#include "Technician/ui/TechnicianGUI.h"
#include "core/base/GdiObject_win.h"
#include "core/base/ThreadMessages.h"
#include "core/control/ControlPacketDispatcher.h"
#include "extras/CPollTree_win.h"
#include "extras/CScreenRecoderWnd.h"
#include "extras/tests/WmWriterDouble_win.h"
#include "meeting/CCtrlMenu.h"
#include "tests/support/AppLogFile_win.h"
#include "tests/support/WindowTest_win.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace {

// A plain top-level window that records the messages it receives.
struct RecordingWindow {
    static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l)
    {
        if (auto* self = reinterpret_cast<RecordingWindow*>(GetWindowLongPtrW(h, GWLP_USERDATA)))
            self->received.push_back({m, w});
        return DefWindowProcW(h, m, w, l);
    }
    explicit RecordingWindow(HWND parent = nullptr, DWORD style = WS_OVERLAPPEDWINDOW)
    {
        static ATOM cls = [] {
            WNDCLASSW c{};
            c.lpfnWndProc = Proc;
            c.hInstance = GetModuleHandleW(nullptr);
            c.lpszClassName = L"CorviskTestWindow";
            return RegisterClassW(&c);
        }();
        (void)cls;
        hwnd = CreateWindowExW(0, L"CorviskTestWindow", L"t", style, 0, 0, 300, 300, parent, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~RecordingWindow()
    {
        if (IsWindow(hwnd))
            DestroyWindow(hwnd);
    }
    bool Got(UINT m, WPARAM w)
    {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.hwnd == nullptr)
                continue;  // thread messages are for the loop under test
            DispatchMessageW(&msg);
        }
        for (auto& r : received)
            if (r.first == m && r.second == w)
                return true;
        return false;
    }
    HWND hwnd = nullptr;
    std::vector<std::pair<UINT, WPARAM>> received;
};

class Dispatcher : public ::testing::Test {
protected:
    void SetUp() override { Build(); }
    void Build()
    {
        auto t = std::make_unique<FakeTransport>(log);
        auto a = std::make_unique<FakeAppliance>(log);
        transport = t.get();
        appliance = a.get();
        ManagerServices s;
        s.transport = std::move(t);
        s.appliance = std::move(a);
        manager = std::make_unique<CManager>(GetModuleHandleW(nullptr), std::move(s));
        manager->mainThreadId = GetCurrentThreadId();
        manager->tunnelSettleMs = 0;
        manager->applianceHost = "vpn.example.com";
        manager->recordingAvailable = 1;  // as where the Windows Media library loads
        transport->manager = manager.get();
        appliance->manager = manager.get();
        // Drain what an earlier test left in the queue.
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    void TearDown() override { manager.reset(); }

    // Posts the message, then PLM_QUIT as a sentinel, and runs the real loop;
    // returns the message that ended it.
    UINT Post(UINT message, WPARAM w = 0, LPARAM l = 0)
    {
        PostThreadMessageW(GetCurrentThreadId(), message, w, l);
        PostThreadMessageW(GetCurrentThreadId(), PLM_QUIT, 0, 0);
        return manager->RunMessageLoop();
    }
    // Only the handler, without the sentinel (PLM_QUIT ends a meeting).
    void Dispatch(UINT message, WPARAM w = 0, LPARAM l = 0) { manager->OnThreadMessage(message, w, l); }

    void EnterMeeting(bool host)
    {
        manager->role = host ? 1 : 0;
        Dispatch(host ? PLM_START_MEETING : PLM_JOIN_MEETING);
        ASSERT_TRUE(manager->InMeeting());
        // The neighbours' windows are not built yet: give them test windows.
        lobbyWindow = std::make_unique<RecordingWindow>();
        manager->lobby->m_hWnd = lobbyWindow->hwnd;
    }

    CallLog log;
    FakeTransport* transport = nullptr;
    FakeAppliance* appliance = nullptr;
    std::unique_ptr<CManager> manager;
    std::unique_ptr<RecordingWindow> lobbyWindow;
};

} // namespace

TEST_F(Dispatcher, OnlyQuitAndLoginClosedEndTheLoop)
{
    const UINT all[] = {1029,  1032,  1036,  60101, 60102, 60103, 60104, 60105, 60106, 60107, 60108,
                        60109, 60110, 60111, 60112, 60113, 60114, 60115, 60116, 60117, 60118, 60119,
                        60120, 60121, 60122, 60123, 60124, 60125, 60126, 60127, 60128, 60129, 60130,
                        3,     4,     60100, 60131, 1030};
    for (UINT m : all) {
        // A real event so 60110 does not wait its full 10 s.
        SetEvent(manager->serverCreatedEvent.get());
        UINT ended = Post(m);
        if (m == PLM_QUIT || m == PLM_LOGIN_CLOSED) {
            EXPECT_EQ(ended, m) << m;
            MSG left;  // the sentinel still queued
            EXPECT_TRUE(PeekMessageW(&left, nullptr, PLM_QUIT, PLM_QUIT, PM_REMOVE));
        } else
            EXPECT_EQ(ended, PLM_QUIT) << m;
        for (HWND w : {FindWindowW(nullptr, L"About Secure Parlemo")})
            if (w)
                DestroyWindow(w);
    }
}

TEST_F(Dispatcher, LoginAndListSteps)
{
    appliance->login = true;
    manager->passwordExpired = 1;
    Dispatch(PLM_SHOW_ACTIVE_MEETINGS, 1);
    EXPECT_TRUE(log.Has("StoreDefaultProfile vpn.example.com:443"));
    EXPECT_TRUE(log.Has("DestroyLogin"));
    EXPECT_TRUE(log.Has("CreateMeetingList 1"));
    EXPECT_TRUE(log.Has("StartPasswordExpiryPrompt 0"));
    EXPECT_EQ(manager->openedFromList, 1);

    Dispatch(PLM_SHOW_MEETING_SETUP);
    EXPECT_TRUE(log.Has("DestroyMeetingList"));
    EXPECT_TRUE(log.Has("CreateMeetingSetup new"));
    EXPECT_EQ(manager->title, 1);

    log.Clear();
    Dispatch(PLM_SHOW_MEETING_LIST);
    EXPECT_TRUE(log.Has("DestroyMeetingSetup"));
    EXPECT_TRUE(log.Has("CreateMeetingList 1"));

    Dispatch(PLM_SET_FOREGROUND_WND, 0x1234);
    EXPECT_EQ(manager->foregroundWindow, reinterpret_cast<HWND>(0x1234));

    // A password change from the login window has ended: its server page.
    Dispatch(PLM_PASSWORD_CHANGE_ENDED);
    EXPECT_TRUE(log.Has("ReturnLoginToServerPage"));
}

TEST_F(Dispatcher, UpgradeConfirmsTheLoginWindow)
{
    RecordingWindow login;
    appliance->loginWindow = login.hwnd;
    Dispatch(PLM_UPGRADE_CLIENT, 1);
    EXPECT_TRUE(log.Has("UpgradeClient required"));
    EXPECT_TRUE(login.Got(WM_COMMAND, IDOK));
    appliance->upgradeResult = 0;
    login.received.clear();
    Dispatch(PLM_UPGRADE_CLIENT, 0);
    EXPECT_FALSE(login.Got(WM_COMMAND, IDOK));
}

TEST_F(Dispatcher, JoinCreatesTheMeetingInOrder)
{
    appliance->meetingList = true;
    EnterMeeting(false);
    for (const char* c : {"DestroyMeetingList", "StartLocalListener", "CreateLocalSockets 0", "OpenTunnel 0",
                          "ReadParticipants", "SendHello", "StartMeetingThreads", "CreateInvite"})
        EXPECT_TRUE(log.Has(c)) << c;
    EXPECT_LT(log.IndexOf("OpenTunnel 0"), log.IndexOf("SendHello"));
    EXPECT_LT(log.IndexOf("SendHello"), log.IndexOf("StartMeetingThreads"));
    EXPECT_NE(manager->lobby, nullptr);
    EXPECT_NE(manager->chat, nullptr);
    EXPECT_NE(manager->polling1, nullptr);
    EXPECT_EQ(manager->polling2->Kind(), 2);
    EXPECT_NE(manager->recorderWindow, nullptr);  // the default media folder exists
}

// Regression: a failed tunnel used to open the lobby on a dead connection,
// and a failed listener left the user with only a tray icon.
TEST_F(Dispatcher, FailedEntryReportsAndReopensTheList)
{
    struct {
        bool listener, sockets, tunnel;
    } cases[] = {{false, true, true}, {true, false, true}, {true, true, false}};
    for (const auto& c : cases) {
        log.Clear();
        transport->listenerOk = c.listener;
        transport->socketsOk = c.sockets;
        transport->tunnelOk = c.tunnel;
        Dispatch(PLM_JOIN_MEETING);
        EXPECT_FALSE(manager->InMeeting());
        EXPECT_EQ(manager->lobby, nullptr);
        EXPECT_FALSE(log.Has("StartMeetingThreads"));
        EXPECT_TRUE(log.Has("CloseAndJoin"));
        EXPECT_TRUE(log.Has("CreateMeetingList 0"));
    }
}

// Regression: a hello the appliance never got still opened the lobby.
TEST_F(Dispatcher, FailedHelloIsAFailedEntry)
{
    transport->helloOk = false;
    Dispatch(PLM_JOIN_MEETING);
    EXPECT_FALSE(manager->InMeeting());
    EXPECT_FALSE(log.Has("StartMeetingThreads"));
    EXPECT_EQ(manager->lobby, nullptr);
    EXPECT_TRUE(log.Has("CreateMeetingList 0"));
}

// A lost connection names its meeting: the report of an earlier meeting is
// ignored, the current one is left even before its lobby exists.
TEST_F(Dispatcher, LostConnectionLeavesOnlyItsOwnMeeting)
{
    EnterMeeting(false);
    uint32_t first = manager->MeetingSerial();
    Dispatch(PLM_MEETING_LEFT, 0, first + 1);
    EXPECT_TRUE(manager->InMeeting());
    DeleteAndClear(manager->chat);  // the plain leave would need it
    log.Clear();
    manager->PostConnectionLost(first, "test");
    EXPECT_EQ(Post(PLM_SET_FOREGROUND_WND), PLM_QUIT);
    EXPECT_FALSE(manager->InMeeting());
    EXPECT_TRUE(log.Has("CloseAndJoin"));
    EXPECT_TRUE(log.Has("CreateMeetingList 0"));
    // A second report of the same meeting finds nothing to leave.
    log.Clear();
    Dispatch(PLM_MEETING_LEFT, 0, first);
    EXPECT_FALSE(log.Has("CreateMeetingList 0"));
}

TEST_F(Dispatcher, SendersBuildTheirPacketsOrNothing)
{
    EXPECT_TRUE(manager->SendControlMessage(PLP_KICK, "s2", "", 0, 0, 0));
    EXPECT_FALSE(manager->SendControlMessage(PLP_CHAT, "s2", "", 0, 0, 0));
    EXPECT_FALSE(manager->SendControlMessage(PLP_POLL_OPEN_LAST, "s2", "", 0, 0, 0));
    EXPECT_TRUE(manager->SendTextMessage(PLP_POLL_OPEN_LAST, std::string(16000, 'q')));
    EXPECT_FALSE(manager->SendTextMessage(PLP_CANVAS, "MEMA:x"));
    EXPECT_TRUE(manager->SendCanvasMessage("MEMA:x"));
    EXPECT_TRUE(manager->SendPartiMarkMessage("1,2\nname"));
    std::vector<uint8_t> pcm(16000);
    EXPECT_TRUE(manager->SendAudioMessage(5, pcm.data(), pcm.size()));
    int polls = 0, audio = 0;
    for (const auto& c : log.calls) {
        polls += c == "SendPacket 15" || c == "SendPacket 14";
        audio += c == "SendPacket 30";
    }
    EXPECT_EQ(polls, 3);
    EXPECT_EQ(audio, 3);
    EXPECT_TRUE(log.Has("SendPacket 6"));
    EXPECT_TRUE(log.Has("SendPacket 27"));
    EXPECT_TRUE(log.Has("SendPacket 28"));
}

// The appliance echoes poll packets to their sender: the client that opened
// the poll neither shows its own text nor obeys its own end; another client
// shows the poll once its last piece is in, keeps the editing panel shut
// while it is shown, and on the end sends what it had answered.
TEST_F(Dispatcher, PollPacketsFollowTheOwnerFlag)
{
    EnterMeeting(false);
    ControlPacketHandler& handler = manager->PacketHandler();
    HWND answering = manager->polling2->Window();
    HWND editing = manager->polling1->Window();
    ASSERT_TRUE(answering);
    ASSERT_TRUE(editing);

    manager->pollOwner = 1;
    manager->pollActive = 1;
    handler.OnPollPiece(false, "PL_POLLING_OPEN: \r\nPL_CHECK_QIZ: Q\r\nPL_ANS: A\r\n\r\n");
    handler.OnPollClose();
    wintest::Pump();
    EXPECT_FALSE(IsWindowVisible(answering));
    EXPECT_EQ(manager->pollActive, 1);

    manager->pollOwner = 0;
    manager->pollActive = 0;
    handler.OnPollPiece(true, "PL_POLLING_OPEN: \r\nPL_CHECK_QIZ: Q\r\n");
    wintest::Pump();
    EXPECT_FALSE(IsWindowVisible(answering));  // only the last piece shows it
    EXPECT_EQ(manager->pollActive, 0);
    handler.OnPollPiece(false, "PL_ANS: A\r\n\r\n");
    wintest::Pump();
    EXPECT_TRUE(IsWindowVisible(answering));
    EXPECT_EQ(manager->pollActive, 1);
    Dispatch(PLM_TOGGLE_POLLING);
    EXPECT_FALSE(IsWindowVisible(editing));

    log.Clear();
    handler.OnPollClose();
    wintest::Pump();
    EXPECT_EQ(manager->pollActive, 0);
    EXPECT_FALSE(IsWindowVisible(answering));
    EXPECT_TRUE(log.Has("SendPacket 16"));
    Dispatch(PLM_TOGGLE_POLLING);
    EXPECT_TRUE(IsWindowVisible(editing));
}

// "Open Polling" with nobody else in the meeting: the warning is shown with
// the participant list's lock free, so the receive threads never wait on it.
TEST_F(Dispatcher, ThePollWarningIsShownWithTheParticipantLockFree)
{
    EnterMeeting(true);
    manager->ownSessionId = "me";
    {
        std::lock_guard<std::mutex> l(manager->participantLock);
        Participant own;
        own.sessionID = "me";
        own.name = L"Me";
        manager->participants = {own};
    }
    HWND panel = manager->polling1->Window();
    ShowWindow(panel, SW_SHOW);
    ASSERT_TRUE(manager->polling1->Editor()->LoadPollFile("PL_POLLING_OPEN: \r\nPL_CHECK_QIZ: Q\r\nPL_ANS: A\r\n\r\n"));
    log.Clear();
    wintest::Click(panel, 1078);
    HWND box = nullptr;
    ASSERT_TRUE(wintest::WaitFor([&] {
        box = wintest::FindTopLevel(L"#32770", L"Warning");
        return box != nullptr;
    }));
    ASSERT_TRUE(manager->participantLock.try_lock());
    manager->participantLock.unlock();
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(wintest::WaitFor([&] { return !IsWindow(box); }));
    EXPECT_FALSE(log.Has("SendPacket 14"));
    EXPECT_EQ(manager->pollActive, 0);
}

TEST_F(Dispatcher, LogoutTearsDownThenShowsLogin)
{
    EnterMeeting(true);
    manager->sharingStep = 4;
    manager->OnControlRequest(PLP_REQUEST_CONTROL, "s1", manager->ownSessionId);
    ASSERT_EQ(manager->ControlRequests().size(), 1u);
    Dispatch(PLM_LOGOUT);
    EXPECT_TRUE(transport->objectsAliveAtJoin);
    EXPECT_EQ(manager->lobby, nullptr);
    EXPECT_EQ(manager->chat, nullptr);
    EXPECT_EQ(manager->polling1, nullptr);
    EXPECT_EQ(manager->recorderWindow, nullptr);
    EXPECT_TRUE(log.Has("DestroyInvite"));
    EXPECT_EQ(manager->sharingStep, 1);
    EXPECT_EQ(manager->role, 0);
    EXPECT_TRUE(manager->ControlRequests().empty());
    EXPECT_EQ(manager->loginFields.step, 1);
    EXPECT_LT(log.IndexOf("CloseAndJoin"), log.IndexOf("CreateLogin"));
    EXPECT_FALSE(manager->InMeeting());
}

TEST_F(Dispatcher, LeaveNeedsChatAndLobbyAndAlwaysDropsTheViewer)
{
    Dispatch(PLM_MEETING_LEFT, PLM_LEAVE_BUTTON);
    EXPECT_FALSE(log.Has("CreateMeetingList 0"));

    EnterMeeting(false);
    manager->viewerFrame = new TechnicianGUI(manager.get(), nullptr);
    manager->sharingStep = 7;  // removed by the administrator: balloon, then the same teardown
    Dispatch(PLM_MEETING_LEFT, 0);  // posted by the participant-list handler (a kick)
    EXPECT_EQ(manager->viewerFrame, nullptr);
    EXPECT_EQ(manager->lobby, nullptr);
    EXPECT_TRUE(log.Has("CreateMeetingList 0"));
    EXPECT_EQ(manager->sharingStep, 1);
}

TEST_F(Dispatcher, ParticipantSharingSteps)
{
    EnterMeeting(false);
    manager->serverSharingState = 2;
    Dispatch(PLM_OPEN_SHARING_VIEW);
    EXPECT_EQ(manager->sharingStep, 1);  // state 2 starts no view

    manager->serverSharingState = 1;
    Dispatch(PLM_OPEN_SHARING_VIEW);
    EXPECT_TRUE(log.Has("CreateLocalSockets 1"));
    EXPECT_TRUE(log.Has("OpenTunnel 1"));
    EXPECT_NE(manager->viewerFrame, nullptr);
    EXPECT_NE(manager->controlMenu, nullptr);
    EXPECT_FALSE(IsWindowVisible(lobbyWindow->hwnd));
    EXPECT_EQ(manager->chat->GetPaneState(), 6);
    EXPECT_EQ(manager->recorderWindow->FrameSource(), kFrameSourceViewer);
    EXPECT_EQ(manager->sharingStep, 2);
    EXPECT_TRUE(log.Has("SendSharingState 1 2"));

    // No host answers on the sharing channel: after the start schedule the
    // whole meeting ends and login opens.
    Dispatch(PLM_CREATE_VIEWER);
    EXPECT_FALSE(manager->InMeeting());
    EXPECT_EQ(manager->viewerFrame, nullptr);
    EXPECT_TRUE(log.Has("CreateLogin"));
    EXPECT_TRUE(transport->objectsAliveAtJoin);
}

// The viewing ended by an error (a WM_CLOSE to the viewer's frame): the
// core is asked to end the view as at the end of sharing; the meeting stays.
TEST_F(Dispatcher, ViewerErrorEndEndsTheViewLikeTheEndOfSharing)
{
    EnterMeeting(false);
    manager->serverSharingState = 1;
    Dispatch(PLM_OPEN_SHARING_VIEW);
    ASSERT_NE(manager->viewerFrame, nullptr);
    SendMessageW(manager->viewerFrame->m_hwndFrame, WM_CLOSE, 0, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, PLM_STOP_SHARING, PLM_STOP_SHARING, PM_REMOVE));
    Dispatch(msg.message, msg.wParam, msg.lParam);
    EXPECT_EQ(manager->viewerFrame, nullptr);
    EXPECT_TRUE(manager->InMeeting());
    EXPECT_EQ(manager->sharingStep, 1);
}

TEST_F(Dispatcher, HostSharingStepsPumpAndStop)
{
    EnterMeeting(true);
    manager->serverSharingState = 3;
    Dispatch(PLM_OPEN_SHARING_VIEW);
    ASSERT_EQ(manager->sharingStep, 2);
    EXPECT_EQ(manager->chat->GetPaneState(), 5);

    SetEvent(manager->serverCreatedEvent.get());
    Dispatch(PLM_CREATE_VNC_SERVER);
    EXPECT_NE(manager->vncServerObj, nullptr);
    EXPECT_EQ(manager->sharingStep, 3);
    // Its gate no longer holds: a repeat does nothing.
    ::vncServer* first = manager->vncServerObj;
    Dispatch(PLM_CREATE_VNC_SERVER);
    EXPECT_EQ(manager->vncServerObj, first);

    Dispatch(PLM_START_MAG_CAPTURE);  // gate: the step before is 2
    EXPECT_EQ(manager->sharingStep, 4);
    Dispatch(PLM_START_MAG_CAPTURE);  // the step before is now 3: nothing
    EXPECT_EQ(manager->prevSharingStep, 3);
    // Regression: the pump and the resume wrote their records into the
    // viewer's byte stream, where they could land inside a viewer message.
    // The host's pump asks its own server; nothing enters the stream.
    Sleep(300);  // several pump periods
    EXPECT_TRUE(transport->Writes().empty()) << "the pump wrote into the sharing channel";

    // The lobby set 4 as the step before: the resume stops the server's
    // session directly, again without a byte on the channel.
    manager->prevSharingStep = 4;
    Dispatch(PLM_SHARING_RESUME_A);
    EXPECT_TRUE(transport->Writes().empty()) << "the resume wrote into the sharing channel";
    for (int i = 0; i < 200 && !manager->vncServerObj->SessionEnded(); ++i)
        Sleep(10);
    EXPECT_TRUE(manager->vncServerObj->SessionEnded());
    EXPECT_EQ(manager->sharingStep, 2);
    EXPECT_EQ(manager->prevSharingStep, 1);
    EXPECT_NE(manager->vncServerObj, nullptr);  // still owned, deleted when sharing ends

    Dispatch(PLM_STOP_SHARING);
    EXPECT_TRUE(log.Has("DropSharing"));
    // The server was woken and joined while its channel was still open.
    EXPECT_LT(log.IndexOf("ShutdownSharing"), log.IndexOf("DropSharing"));
    EXPECT_EQ(transport->endpointsWokenBeforeClose, 1);
    EXPECT_FALSE(transport->endpointsAliveAtClose);
    EXPECT_EQ(manager->vncServerObj, nullptr);
    EXPECT_EQ(manager->controlMenu, nullptr);
    EXPECT_EQ(manager->sharingStep, 1);
    size_t after = transport->Writes().size();
    Sleep(150);
    EXPECT_EQ(transport->Writes().size(), after);  // the pump has ended
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, PLM_DOCK_PANEL, PLM_DOCK_PANEL, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 1u);
}

// The participant's resume record goes into the viewer's channel; when it
// cannot (the channel's queue is full) that is logged, and the resume still
// ends the viewer's session and steps back.
TEST_F(Dispatcher, ParticipantResumeRecordThatDoesNotGoOutIsLogged)
{
    AppLogFile appLog("corvisk_dispatch_test");
    EnterMeeting(false);
    manager->serverSharingState = 1;
    Dispatch(PLM_OPEN_SHARING_VIEW);
    ASSERT_EQ(manager->sharingStep, 2);
    manager->prevSharingStep = 4;
    transport->writeOk = false;
    Dispatch(PLM_SHARING_RESUME_B);
    ASSERT_EQ(transport->Writes().size(), 1u);
    EXPECT_EQ(transport->Writes()[0], std::vector<unsigned char>({13, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(appLog.Contains("The sharing resume record did not go out.")) << appLog.Text();
    EXPECT_EQ(manager->sharingStep, 2);
    EXPECT_EQ(manager->prevSharingStep, 1);
}

// The first entry of the list with the own session id and a name names us
// in the hello; the list request itself leaves the name alone, so a later
// refresh on another thread never rewrites it under a reader.
TEST_F(Dispatcher, EnteringTakesTheOwnNameFromTheParticipantList)
{
    manager->ownSessionId = "S1";
    manager->ownDisplayName = L"launch name";
    Participant nameless, other, own;
    nameless.sessionID = "S1";
    other.sessionID = "S2";
    other.name = L"Bob";
    own.sessionID = "S1";
    own.name = L"Ann Lee";
    appliance->participants = {nameless, other, own};
    appliance->participantsOk = false;  // a failed read changes nothing
    EnterMeeting(false);
    EXPECT_EQ(manager->ownDisplayName, L"launch name");
    Dispatch(PLM_MEETING_LEFT, PLM_LEAVE_BUTTON);
    appliance->participantsOk = true;
    EnterMeeting(false);
    EXPECT_EQ(manager->ownDisplayName, L"Ann Lee");
}

// Regression: a sharing tunnel that failed still opened the view and sent
// step 2; the viewer start on the dead channel then logged the user out.
// Regression: a server that never reported its start was waited for and then
// announced as ready, so participants waited for a picture that never came.
TEST_F(Dispatcher, HostServerThatNeverStartsEndsSharing)
{
    EnterMeeting(true);
    manager->serverSharingState = 3;
    manager->serverCreatedWaitMs = 50;
    // An event of its own that no server can reach: the wait runs out.
    manager->serverCreatedEvent.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    Dispatch(PLM_OPEN_SHARING_VIEW);
    ASSERT_EQ(manager->sharingStep, 2);
    Dispatch(PLM_CREATE_VNC_SERVER);
    EXPECT_EQ(manager->vncServerObj, nullptr);
    EXPECT_EQ(manager->sharingStep, 1);
    EXPECT_TRUE(log.Has("DropSharing"));
    EXPECT_FALSE(log.Has("SendSharingState 2 3"));
    EXPECT_TRUE(manager->InMeeting());
}

TEST_F(Dispatcher, FailedSharingTunnelKeepsTheMeetingAndTriesAgain)
{
    EnterMeeting(false);
    manager->serverSharingState = 1;
    transport->sharingTunnelOk = false;
    Dispatch(PLM_OPEN_SHARING_VIEW);
    EXPECT_TRUE(log.Has("DropSharing"));
    EXPECT_EQ(manager->sharingStep, 1);
    EXPECT_EQ(manager->viewerFrame, nullptr);
    EXPECT_FALSE(log.Has("SendSharingState 1 2"));
    Dispatch(PLM_CREATE_VIEWER);  // no sharing view: nothing, no logout
    EXPECT_TRUE(manager->InMeeting());
    EXPECT_FALSE(log.Has("CreateLogin"));

    transport->sharingTunnelOk = true;
    Dispatch(PLM_OPEN_SHARING_VIEW);
    EXPECT_EQ(manager->sharingStep, 2);
    EXPECT_NE(manager->viewerFrame, nullptr);
}

// Regression: a sharing message still queued when its meeting had ended
// created a server (and waited 10 s for it) or, for the viewer, logged out.
TEST_F(Dispatcher, LateSharingMessagesAfterTheMeetingDoNothing)
{
    appliance->meetingList = true;
    Dispatch(PLM_CREATE_VNC_SERVER);
    EXPECT_EQ(manager->vncServerObj, nullptr);
    Dispatch(PLM_CREATE_VIEWER);
    EXPECT_FALSE(log.Has("CreateLogin"));
    EXPECT_TRUE(appliance->meetingList);
    Dispatch(PLM_STOP_SHARING);
    Dispatch(PLM_OPEN_SHARING_VIEW);
    for (const auto& c : log.calls)
        EXPECT_EQ(c.rfind("SendSharingState", 0), std::string::npos) << c;
}

// Logout, leave and exit in the middle of sharing: the server or viewer is
// woken through its channel and joined before that channel is closed.
TEST_F(Dispatcher, EndingAMeetingWhileSharingJoinsTheEndpointsFirst)
{
    const struct {
        bool host;
        UINT end;
    } cases[] = {{false, PLM_LOGOUT}, {true, PLM_MEETING_LEFT}, {true, PLM_QUIT}, {false, PLM_QUIT}};
    for (const auto& c : cases) {
        log.Clear();
        transport->endpointsWokenBeforeClose = 0;
        transport->endpointsAliveAtClose = false;
        transport->endpointsAliveAtStop = 0;
        EnterMeeting(c.host);
        manager->serverSharingState = 1;
        Dispatch(PLM_OPEN_SHARING_VIEW);
        if (c.host) {
            SetEvent(manager->serverCreatedEvent.get());
            Dispatch(PLM_CREATE_VNC_SERVER);
            ASSERT_NE(manager->vncServerObj, nullptr);
        } else {
            ASSERT_NE(manager->viewerFrame, nullptr);
        }
        Dispatch(c.end, c.end == PLM_MEETING_LEFT ? PLM_LEAVE_BUTTON : 0);
        EXPECT_FALSE(manager->InMeeting()) << c.end;
        EXPECT_EQ(transport->endpointsWokenBeforeClose, 1) << c.end;
        EXPECT_FALSE(transport->endpointsAliveAtClose) << c.end;
        // Regression: the endpoints and the pump were joined while the relay
        // and the tunnels still ran, and a pump waiting on a relay that
        // waited on a stalled appliance held the main thread for ever. The
        // traffic stops first, before anything is joined.
        EXPECT_EQ(transport->endpointsAliveAtStop, 1) << c.end;
        ASSERT_GE(log.IndexOf("StopTraffic"), 0) << c.end;
        EXPECT_LT(log.IndexOf("StopTraffic"), log.IndexOf("ShutdownSharing")) << c.end;
        EXPECT_EQ(manager->vncServerObj, nullptr);
        EXPECT_EQ(manager->viewerFrame, nullptr);
    }
}

TEST_F(Dispatcher, ChatPaneStates)
{
    EnterMeeting(false);
    RecordingWindow pane(nullptr, WS_POPUP | WS_CAPTION);
    manager->chat->m_hPane = pane.hwnd;
    struct {
        UINT message;
        WPARAM w;
        int before, after;
    } cases[] = {
        {PLM_SHOW_CHAT, 0, 1, 2},  // shown, floating: hide
        {PLM_SHOW_CHAT, 0, 2, 1},  // hidden, floating: show
        {PLM_SHOW_CHAT, 0, 5, 5},  // shown and docked
        {PLM_SHOW_CHAT, 0, 6, 1},  // hidden and docked: undock
        {PLM_DOCK_PANEL, 1, 1, 5}, // floating: dock
        {PLM_DOCK_PANEL, 1, 6, 5}, // hidden and docked: show the lobby
        {PLM_DOCK_PANEL, 0, 5, 6}, // shown and docked, undock request: hide the lobby
    };
    for (const auto& c : cases) {
        manager->chat->SetPaneState(c.before);
        Dispatch(c.message, c.w);
        EXPECT_EQ(manager->chat->GetPaneState(), c.after) << c.message << " from " << c.before;
    }
    manager->chat->m_hPane = nullptr;  // the test owns that window
}

TEST_F(Dispatcher, TrayActivationPollsRescheduleRecorder)
{
    EnterMeeting(false);
    RecordingWindow bar;
    manager->controlMenu = manager->MakeControlMenu();
    DestroyWindow(manager->controlMenu->m_hWnd);  // the recording window stands in
    manager->controlMenu->m_hWnd = bar.hwnd;
    manager->foregroundWindow = lobbyWindow->hwnd;
    Dispatch(PLM_TRAY_ACTIVATE, 0);
    EXPECT_TRUE(bar.Got(WM_CTRL_MENU_COMMAND, kCtrlMenuTrayActivate));
    manager->controlMenu->m_hWnd = nullptr;

    RecordingWindow panel;
    manager->polling1->m_hWnd = panel.hwnd;
    Dispatch(PLM_TOGGLE_POLLING);
    EXPECT_TRUE(IsWindowVisible(panel.hwnd));
    manager->lobby->m_pollLocked = 1;
    Dispatch(PLM_TOGGLE_POLLING);
    EXPECT_TRUE(IsWindowVisible(panel.hwnd));  // locked: unchanged
    manager->lobby->m_pollLocked = 0;
    Dispatch(PLM_TOGGLE_POLLING);
    EXPECT_FALSE(IsWindowVisible(panel.hwnd));
    manager->polling1->m_hWnd = nullptr;

    ShowWindow(lobbyWindow->hwnd, SW_SHOW);
    Dispatch(PLM_RESCHEDULE);
    EXPECT_FALSE(IsWindowVisible(lobbyWindow->hwnd));
    EXPECT_TRUE(log.Has("CreateMeetingSetup reschedule"));
    Dispatch(PLM_SETUP_DONE, 1, 0);
    EXPECT_TRUE(log.Has("DestroyMeetingSetup"));
    EXPECT_TRUE(IsWindowVisible(lobbyWindow->hwnd));
    EXPECT_TRUE(lobbyWindow->Got(PLM_SETUP_DONE, 1));

    Dispatch(PLM_FOCUS_PANEL);
    EXPECT_TRUE(log.Has("ShowInvite"));

    HWND recorder = manager->recorderWindow->Window();
    ASSERT_TRUE(IsWindow(recorder));
    Dispatch(PLM_TOGGLE_RECORDER, 4);  // from the lobby: never shows it
    EXPECT_FALSE(IsWindowVisible(recorder));
    Dispatch(PLM_TOGGLE_RECORDER, 0);
    EXPECT_TRUE(IsWindowVisible(recorder));
    Dispatch(PLM_TOGGLE_RECORDER, 0);
    EXPECT_FALSE(IsWindowVisible(recorder));

    // Mark the bar so its replacement is told apart even at the same address.
    manager->controlMenu->m_hWnd = reinterpret_cast<HWND>(1);
    Dispatch(PLM_RESET_CTRL_MENU);
    ASSERT_NE(manager->controlMenu, nullptr);
    EXPECT_NE(manager->controlMenu->m_hWnd, reinterpret_cast<HWND>(1));
    EXPECT_TRUE(IsWindow(manager->controlMenu->m_hWnd)) << "a bar made for the role";
    EXPECT_EQ(manager->recorderWindow->FrameSource(), kFrameSourceViewer);

    // Regression: 60106 deleted the chat under the meeting's threads, which
    // still reach it; in a meeting it goes only with the meeting.
    Dispatch(PLM_DELETE_CHAT);
    EXPECT_NE(manager->chat, nullptr);
    Dispatch(PLM_MEETING_LEFT, PLM_LEAVE_BUTTON);
    EXPECT_EQ(manager->chat, nullptr);
    Dispatch(PLM_DELETE_CHAT);  // none: nothing
    EXPECT_EQ(manager->chat, nullptr);
}

// Without the Windows Media library no console is made, and 60129 shows
// nothing.
TEST_F(Dispatcher, NoRecordingConsoleWithoutTheWindowsMediaLibrary)
{
    manager->recordingAvailable = 0;
    EnterMeeting(true);
    EXPECT_EQ(manager->recorderWindow, nullptr);
    Dispatch(PLM_TOGGLE_RECORDER, 0);
    EXPECT_EQ(FindWindowW(L"RecorderWnd", nullptr), nullptr);
}

// A running recording ends, its thread joined and the writer released, when
// the lobby hides the console (60129 with 4), when sharing stops and when
// the meeting is left; no recording outlives its console.
TEST_F(Dispatcher, HidingStopSharingAndLeavingStopTheRecording)
{
    wmdouble::Library library;
    EnterMeeting(true);
    CScreenRecoderWnd* console = manager->recorderWindow;
    ASSERT_NE(console, nullptr);
    ASSERT_TRUE(IsWindow(console->Window()));
    console->SetWriterBinding(library.Binding());
    console->SetFramesPerSecond(25);
    auto record = [&] {
        const size_t before = library.SampleCount(wmdouble::Library::kVideoInput);
        SendMessageW(console->Window(), WM_COMMAND, kRecorderRecordCommand, 0);
        EXPECT_TRUE(console->IsRecording());
        EXPECT_TRUE(
            wintest::WaitFor([&] { return library.SampleCount(wmdouble::Library::kVideoInput) > before; }));
    };

    record();
    Dispatch(PLM_TOGGLE_RECORDER, 0);
    ASSERT_TRUE(IsWindowVisible(console->Window()));
    Dispatch(PLM_TOGGLE_RECORDER, 4);
    EXPECT_FALSE(IsWindowVisible(console->Window()));
    EXPECT_FALSE(console->IsRecording());
    EXPECT_EQ(console->State(), ConsoleState::Idle);
    EXPECT_EQ(library.LiveObjects(), 0) << "thread joined, writer released";

    record();
    Dispatch(PLM_STOP_SHARING);
    EXPECT_FALSE(console->IsRecording());
    EXPECT_EQ(library.LiveObjects(), 0);

    record();
    Dispatch(PLM_MEETING_LEFT, PLM_LEAVE_BUTTON);
    EXPECT_EQ(manager->recorderWindow, nullptr);
    EXPECT_EQ(library.LiveObjects(), 0);
    EXPECT_EQ(FindWindowW(L"RecorderWnd", nullptr), nullptr);
}

// The viewer's frame copies: the recording thread gets the ones it takes,
// this handler deletes every other, so no bitmap outlives its last owner.
TEST_F(Dispatcher, RecordFramesGoToTheRecorderOrAreDeleted)
{
    auto frame = [] { return reinterpret_cast<WPARAM>(CreateBitmap(8, 8, 1, 32, nullptr)); };
    auto alive = [](WPARAM f) { return GetObjectType(reinterpret_cast<HGDIOBJ>(f)) == OBJ_BITMAP; };
    MSG msg;

    // No meeting, no recorder: deleted.
    ASSERT_EQ(manager->recorderWindow, nullptr);
    EXPECT_FALSE(manager->RecordingViewerFrames());
    WPARAM f = frame();
    Dispatch(PLM_RECORD_FRAME, f);
    EXPECT_FALSE(alive(f));

    EnterMeeting(false);
    CScreenRecoderWnd& recorder = *manager->recorderWindow;
    recorder.SetFrameSource(kFrameSourceViewer);
    EXPECT_FALSE(manager->RecordingViewerFrames()) << "not recording";
    recorder.m_recording = 1;
    EXPECT_TRUE(manager->RecordingViewerFrames());
    recorder.SetFrameSource(kFrameSourceOwnCapture);
    EXPECT_FALSE(manager->RecordingViewerFrames()) << "recording its own capture";

    // The recorder's own capture, or no recording thread: deleted.
    f = frame();
    Dispatch(PLM_RECORD_FRAME, f);
    EXPECT_FALSE(alive(f));
    recorder.SetFrameSource(kFrameSourceViewer);
    f = frame();
    Dispatch(PLM_RECORD_FRAME, f);
    EXPECT_FALSE(alive(f));

    // A recording thread: forwarded, alive, the receiver's.
    recorder.m_recordThreadId = GetCurrentThreadId();
    f = frame();
    Dispatch(PLM_RECORD_FRAME, f);
    ASSERT_TRUE(PeekMessageW(&msg, reinterpret_cast<HWND>(-1), PLM_RECORD_FRAME, PLM_RECORD_FRAME, PM_REMOVE));
    EXPECT_EQ(msg.wParam, f);
    EXPECT_TRUE(alive(f));
    DeleteGdiObject(reinterpret_cast<HGDIOBJ>(f));
    // A thread that has gone: the post fails and the frame is deleted.
    recorder.m_recordThreadId = 0xFFFFFFF0u;
    f = frame();
    Dispatch(PLM_RECORD_FRAME, f);
    EXPECT_FALSE(alive(f));
    recorder.m_recordThreadId = 0;

    // A thousand frames through the real loop, none forwarded: the count of
    // GDI objects stays where it was.
    const unsigned before = wintest::GdiObjectCount();
    for (int i = 0; i < 1000; ++i)
        EXPECT_EQ(Post(PLM_RECORD_FRAME, frame()), PLM_QUIT);
    EXPECT_LE(wintest::GdiObjectCount(), before + 1);
}

TEST_F(Dispatcher, AboutBoxOpensWithItsTexts)
{
    Dispatch(PLM_SHOW_ABOUT, 0);
    HWND about = FindWindowW(nullptr, L"About Secure Parlemo");
    ASSERT_NE(about, nullptr);
    wchar_t text[64] = L"";
    GetDlgItemTextW(about, 2029, text, 64);
    EXPECT_STREQ(text, L"8.0.0.6");
    DestroyWindow(about);
}

// Menu fade and animation are off for the whole run, the other four from the
// host's sharing view on; every one is back to the user's value once the
// manager is gone. Checked through Wine's own settings.
TEST_F(Dispatcher, VisualEffectsOffForTheRunAndTheUsersValuesBackAfterIt)
{
    const Effects before = ReadEffects();
    for (const Effects& user : kUserPatterns) {
        manager.reset();
        SetEffects(user);
        ASSERT_EQ(ReadEffects(), user);
        Build();
        EXPECT_EQ(ReadEffects(), (Effects{0, 0, user[2], user[3], user[4], user[5]}));
        EnterMeeting(true);
        manager->serverSharingState = 3;
        Dispatch(PLM_OPEN_SHARING_VIEW);
        ASSERT_EQ(manager->sharingStep, 2);
        EXPECT_EQ(ReadEffects(), (Effects{0, 0, 0, 0, 0, 0}));
        manager.reset();
        EXPECT_EQ(ReadEffects(), user);
    }
    SetEffects(before);
}

// Exit, logout, leave and failures all join the network threads before the
// objects they use go; run many times with a thread that keeps calling in.
TEST_F(Dispatcher, RepeatedTeardownsNeverDeleteUnderARunningThread)
{
    transport->runWorker = true;
    const UINT ends[] = {PLM_MEETING_LEFT, PLM_LOGOUT, PLM_QUIT, PLM_JOIN_MEETING};
    for (int i = 0; i < 200; ++i) {
        Dispatch(PLM_JOIN_MEETING);
        ASSERT_TRUE(manager->InMeeting());
        Sleep(i % 3);
        UINT end = ends[i % 4];
        Dispatch(end, end == PLM_MEETING_LEFT ? PLM_LEAVE_BUTTON : 0);
        if (end == PLM_JOIN_MEETING)
            Dispatch(PLM_QUIT);  // re-entry ended the first meeting; now exit
        ASSERT_FALSE(manager->InMeeting()) << i;
        ASSERT_TRUE(transport->objectsAliveAtJoin) << i;
    }
    EXPECT_GE(transport->joinsInMeeting, 200);
    EXPECT_GT(transport->workerCalls.load(), 0);
}

namespace {

// The visible message box that owner's thread shows over owner, or nullptr.
HWND BoxOver(HWND owner)
{
    struct Search {
        HWND owner;
        HWND found;
    } search{owner, nullptr};
    EnumThreadWindows(
        GetWindowThreadProcessId(owner, nullptr),
        [](HWND w, LPARAM p) {
            auto* s = reinterpret_cast<Search*>(p);
            wchar_t cls[16] = L"";
            GetClassNameW(w, cls, 16);
            if (!IsWindowVisible(w) || GetWindow(w, GW_OWNER) != s->owner || lstrcmpW(cls, L"#32770") != 0)
                return TRUE;
            s->found = w;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace

// The lobby's rescheduled box runs its own loop on the main thread: thread
// messages posted meanwhile (here: show the About box) reach the loop once
// the box is gone, and a quit closes the box, ends the meeting and the loop.
// If the quit were lost, the watchdog closes the box and ends the loop with
// 60105 instead.
TEST_F(Dispatcher, ThreadMessagesDuringALobbyBoxAreNotLost)
{
    for (const bool clickOk : {false, true}) {
        SCOPED_TRACE(clickOk ? "box closed by its button" : "box open at the quit");
        manager->role = 1;
        Dispatch(PLM_START_MEETING);
        ASSERT_TRUE(manager->InMeeting());
        ASSERT_NE(manager->lobby, nullptr);
        HWND lobbyWindow = manager->lobby->Window();
        ASSERT_NE(lobbyWindow, nullptr);
        const DWORD mainThread = GetCurrentThreadId();
        HANDLE loopEnded = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HWND box = nullptr;
        std::thread driver([&] {
            for (int i = 0; i < 200 && !box; ++i, Sleep(50))
                box = BoxOver(lobbyWindow);
            if (!box)
                return (void)PostThreadMessageW(mainThread, PLM_LOGIN_CLOSED, 0, 0);
            wintest::SaveScreenshot(box, L"ManagerModalLoop", L"rescheduled_box");
            PostThreadMessageW(mainThread, PLM_SHOW_ABOUT, 0, 0);
            if (clickOk)
                PostMessageW(box, WM_COMMAND, IDOK, 0);
            PostThreadMessageW(mainThread, PLM_QUIT, 0, 0);
            if (WaitForSingleObject(loopEnded, 10000) == WAIT_OBJECT_0)
                return;
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            PostThreadMessageW(mainThread, PLM_LOGIN_CLOSED, 0, 0);
        });
        PostThreadMessageW(mainThread, PLM_SETUP_DONE, 1, 0);  // a reschedule went through
        const UINT ended = manager->RunMessageLoop();
        SetEvent(loopEnded);
        driver.join();
        CloseHandle(loopEnded);

        ASSERT_NE(box, nullptr) << "no box came";
        EXPECT_EQ(ended, PLM_QUIT);
        EXPECT_FALSE(manager->InMeeting());
        EXPECT_FALSE(IsWindow(box));
        HWND about = FindWindowW(nullptr, L"About Secure Parlemo");
        EXPECT_NE(about, nullptr);
        if (about)
            DestroyWindow(about);
        MSG left;  // no WM_QUIT is left for a later loop
        EXPECT_FALSE(PeekMessageW(&left, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
        while (PeekMessageW(&left, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
}

TEST(ManagerState, ClearLoginStateKeepsServerAndSession)
{
    CallLog log;
    ManagerServices s;
    s.transport = std::make_unique<FakeTransport>(log);
    s.appliance = std::make_unique<FakeAppliance>(log);
    CManager m(GetModuleHandleW(nullptr), std::move(s));
    m.applianceHost = "vpn.example.com";
    m.appliancePort = 8443;
    m.ownSessionId = "S";
    m.applianceAddress = "10.0.0.1";
    m.launchMode = 4;
    m.loginFields.step = 3;
    m.ownDisplayName = L"n";
    m.password.Assign("pw", 2);
    m.proxyFromBrowser = 1;
    m.ClearLoginState();
    EXPECT_EQ(m.launchMode, 0);
    EXPECT_EQ(m.loginFields.step, 1);
    EXPECT_TRUE(m.applianceAddress.empty());
    EXPECT_TRUE(m.ownDisplayName.empty());
    EXPECT_EQ(m.password.Length(), 0u);
    EXPECT_EQ(m.proxyFromBrowser, 0);
    EXPECT_EQ(m.applianceHost, "vpn.example.com");
    EXPECT_EQ(m.appliancePort, 8443);
    EXPECT_EQ(m.ownSessionId, "S");
}

TEST(ManagerState, EventPrefixIsBoundedAndPerCall)
{
    CallLog log;
    ManagerServices s;
    s.transport = std::make_unique<FakeTransport>(log);
    s.appliance = std::make_unique<FakeAppliance>(log);
    CManager m(GetModuleHandleW(nullptr), std::move(s));
    m.role = 1;
    m.title = 1;
    m.ownDisplayName = L"Ann";
    EXPECT_EQ(m.MakeEventPrefix(0), L"Host(Coordinator)\tAnn\t");
    EXPECT_EQ(m.MakeEventPrefix(1), L"\tAnn\t");
    m.ownDisplayName = std::wstring(300, L'x');
    std::wstring p = m.MakeEventPrefix(0);
    EXPECT_EQ(p.size(), 160u);
    EXPECT_EQ(p.back(), L'\t');
    // Many threads at once each get their own whole text.
    m.ownDisplayName = L"Bob";
    std::vector<std::thread> threads;
    std::atomic<int> bad{0};
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i)
                if (m.MakeEventPrefix(0) != L"Host(Coordinator)\tBob\t")
                    ++bad;
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(bad.load(), 0);
}
