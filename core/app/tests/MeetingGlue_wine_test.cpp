// Two application managers with the program's own services in one test
// program, each on a thread with its own message loop, against the local
// appliance: launches that enter a meeting through the real tunnels, control
// requests between the two, leave and logout with every thread joined, and
// a tunnel the appliance cuts. Run by tunnel_fixture.sh with the scenario
// meeting_glue_scenario.json (sessions "sessA" of alice, "sessB" of bob, and
// alice's started meeting 100001).
#include "core/app/LaunchParameters.h"
#include "core/app/tests/MeetingInstance_win.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <memory>
#include <thread>
#include <vector>

namespace {

using namespace meetingtest;

// A launch with a session and a meeting (mode 3): session test, the meeting
// looked up in the meeting list for its name and wait message, then 60108.
void LaunchSessionMeeting(CManager& m)
{
    LaunchWithSession(m);
    EXPECT_EQ(m.meetingName, "Weekly sync");
    EXPECT_EQ(m.waitMessage, "The host starts soon");
}

// The appliance seats each client once it has read its hello. The request is
// sent again until the host has it (the appliance may not relay the first
// ones yet); a copy still on its way when the first is seen lands during the
// quiet spell, before the host answers, not after.
void RequestControlUntilSeen(Instance& from, Instance& host)
{
    for (int i = 0; i < 20 && host.M().ControlRequests().empty(); ++i) {
        ASSERT_TRUE(from.M().SendControlMessage(PLP_REQUEST_CONTROL, from.M().ownSessionId,
                                                host.M().ownSessionId, 0, 0, 0));
        WaitUntil([&] { return !host.M().ControlRequests().empty(); }, 1000);
    }
    Sleep(500);
    ASSERT_EQ(host.M().ControlRequests(), std::vector<std::string>{from.M().ownSessionId});
}

class MeetingGlue : public ::testing::Test {
protected:
    static void SetUpTestSuite() { TrustRunCa(); }
    void SetUp() override { WriteFaults("[]"); }
};

TEST_F(MeetingGlue, LaunchEntersAndRequestsFlowAndEveryLeaveJoinsItsThreads)
{
    Instance a("sessA", L"Alice", [](CManager&) {});
    Instance b("sessB", L"Bob", LaunchSessionMeeting);
    StartAsHost(a);
    ASSERT_TRUE(WaitUntil([&] { return a.InMeeting(); })) << "host did not enter";
    // The launch posted 60108 to its own loop, which entered the meeting.
    ASSERT_TRUE(WaitUntil([&] { return b.InMeeting(); })) << "the launch did not enter";
    // The participant list's meeting fields reached the manager.
    {
        std::lock_guard<std::mutex> l(b.M().participantLock);
        EXPECT_EQ(b.M().meetingExpires, 1800);
        EXPECT_FALSE(b.M().meetingEndDate.empty());
        EXPECT_NE(b.M().meetingEndTime.find(':'), std::string::npos) << b.M().meetingEndTime;
        EXPECT_EQ(b.M().meetingName, "Weekly sync");
    }

    size_t baseline = 0;
    for (int round = 0; round < 3; ++round) {
        if (round > 0) {
            StartAsHost(a);
            b.Post(PLM_JOIN_MEETING);
            ASSERT_TRUE(WaitUntil([&] { return a.InMeeting() && b.InMeeting(); })) << round;
        }
        // Control asked for by the participant, seen by the host; given by
        // the host, held by the participant: packets both ways through the
        // appliance and the real tunnels.
        RequestControlUntilSeen(b, a);
        a.M().AcceptControlRequest("sessB");
        ASSERT_TRUE(WaitUntil([&] { return b.M().ControlHeld(); }, 10000)) << round;
        EXPECT_TRUE(a.M().ControlRequests().empty());
        // The host's sharing server lets the viewer's input act by this one
        // (regression: it asked ControlHeld, which only a participant sets).
        EXPECT_TRUE(a.M().RemoteControlActive());
        EXPECT_FALSE(a.M().ControlHeld());
        EXPECT_FALSE(b.M().RemoteControlActive());

        // The host leaves by its button, the participant logs out.
        a.Post(PLM_MEETING_LEFT, PLM_LEAVE_BUTTON);
        b.Post(PLM_LOGOUT);
        ASSERT_TRUE(WaitUntil([&] { return !a.M().InMeeting() && !b.M().InMeeting(); })) << round;
        EXPECT_EQ(a.M().lobby, nullptr);
        EXPECT_EQ(b.M().chat, nullptr);
        EXPECT_FALSE(b.M().ControlHeld());
        EXPECT_FALSE(a.M().RemoteControlActive());
        // Relay, receive and accept threads of both meetings are gone: the
        // count comes back to where the first round left it.
        size_t threads = 0;
        WaitUntil([&] { return (threads = ThreadsOfThisProcess()) == baseline || baseline == 0; }, 5000);
        if (round == 0)
            baseline = threads;
        else
            EXPECT_EQ(threads, baseline) << round;
    }
}

TEST_F(MeetingGlue, TunnelCutByTheApplianceLeavesTheMeetingWithAnError)
{
    Instance a("sessA", L"Alice", [](CManager&) {});
    Instance b("sessB", L"Bob", [](CManager&) {});
    // The appliance closes the participant's control tunnel inside the first
    // frame it relays to it.
    WriteFaults(R"([{"service": "PL_CONTROL", "session": "sessB", "close_after": 10}])");
    StartAsHost(a);
    b.Post(PLM_JOIN_MEETING);
    ASSERT_TRUE(WaitUntil([&] { return a.InMeeting() && b.InMeeting(); }));
    uint32_t serial = b.M().MeetingSerial();
    ASSERT_TRUE(WaitUntil(
        [&] {
            a.M().SendCanvasMessage("MEMA:" + std::string(200, 'z'));
            return !b.M().InMeeting();
        },
        20000))
        << "the participant kept a dead meeting";
    EXPECT_EQ(b.M().lobby, nullptr);
    EXPECT_TRUE(a.InMeeting());  // the host is unaffected

    // The program goes on: the participant enters again, on a sound tunnel.
    WriteFaults("[]");
    b.Post(PLM_JOIN_MEETING);
    ASSERT_TRUE(WaitUntil([&] { return b.InMeeting(); }));
    EXPECT_GT(b.M().MeetingSerial(), serial);
    RequestControlUntilSeen(b, a);
}

long long MsSince(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
}

// The host shares as the lobby's steps do it: view, server, capture and pump.
void ShareAsHost(Instance& a)
{
    StopLobbyRefresh(a.M());
    a.M().serverSharingState = 3;
    a.Post(PLM_OPEN_SHARING_VIEW);
    ASSERT_TRUE(WaitUntil([&] { return a.M().sharingStep == 2; })) << "no sharing view";
    a.Post(PLM_CREATE_VNC_SERVER);
    ASSERT_TRUE(WaitUntil([&] { return a.M().sharingStep == 3; })) << "the server did not start";
    a.Post(PLM_START_MAG_CAPTURE);
    ASSERT_TRUE(WaitUntil([&] { return a.M().sharingStep == 4; })) << "no capture";
}

// With the host sharing, the appliance stops reading both of the host's
// tunnels and the control channel fills. Logout and exit through the
// manager each still end the meeting within the teardown's limit, and no
// thread of the meeting is left behind.
TEST_F(MeetingGlue, LogoutAndExitWhileSharingWithAStalledApplianceEndInTimeAndLeaveNoThread)
{
    // Wine starts threads of its own on the way and keeps them: the count
    // after the first round is the baseline for the others.
    size_t baseline = 0;
    const UINT ends[] = {PLM_LOGOUT, PLM_QUIT, PLM_LOGOUT, PLM_QUIT};
    for (size_t round = 0; round < std::size(ends); ++round) {
        const UINT end = ends[round];
        WriteFaults(R"([{"session": "sessA", "stall_after_hello": 60}])");
        auto a = std::make_unique<Instance>("sessA", L"Alice", [](CManager&) {});
        StartAsHost(*a);
        ASSERT_TRUE(WaitUntil([&] { return a->InMeeting(); })) << "host did not enter";
        ShareAsHost(*a);
        // Meeting packets until the control channel is full; each fails
        // within its bound rather than hanging.
        const std::string text = "MEMA:" + std::string(60000, 'c');
        bool went = true;
        for (int i = 0; i < 2000 && went; ++i)
            went = a->M().SendCanvasMessage(text);
        EXPECT_FALSE(went) << "the control channel never filled";

        auto t0 = std::chrono::steady_clock::now();
        if (end == PLM_LOGOUT) {
            a->Post(PLM_LOGOUT);
            EXPECT_TRUE(WaitUntil([&] { return !a->M().InMeeting(); }, 30000));
            EXPECT_LT(MsSince(t0), 5000) << "logout, round " << round;
            a.reset();
        } else {
            a.reset();  // 60101, the loop ends and the manager goes
            EXPECT_LT(MsSince(t0), 5000) << "exit, round " << round;
        }
        size_t now = 0;
        WaitUntil([&] { return (now = ThreadsOfThisProcess()) <= baseline || round == 0; }, 5000);
        if (round == 0)
            baseline = now;
        else
            EXPECT_LE(now, baseline) << "threads left behind, round " << round;
    }
}

// The participant list read on entry leaves its meeting fields on the
// manager: the meeting's state, its sharing state and its wait message
// (over what the launch left in them).
TEST_F(MeetingGlue, EnteringReadsTheMeetingStateSharingStateAndWaitMessage)
{
    Instance a("sessA", L"Alice", [](CManager&) {});
    StartAsHost(a);
    ASSERT_TRUE(WaitUntil([&] { return a.InMeeting(); }));
    Instance b("sessB", L"Bob", [](CManager& m) {
        LaunchSessionMeeting(m);
        m.serverSharingState = 7;
        m.waitMessage = "not from the appliance";
    });
    ASSERT_TRUE(WaitUntil([&] { return b.InMeeting(); }));
    std::lock_guard<std::mutex> l(b.M().participantLock);
    EXPECT_EQ(b.M().meetingState, 2);  // started, as the participant list says it
    EXPECT_EQ(b.M().serverSharingState, 0);
    EXPECT_EQ(b.M().waitMessage, "The host starts soon");
}

// A meeting link for a guest (mode 2): meeting test, then the join worker
// logs in as a guest, lists and joins the meeting and posts 60108.
TEST_F(MeetingGlue, GuestLinkJoinsThroughTheJoinWorker)
{
    Instance a("sessA", L"Alice", [](CManager&) {});
    StartAsHost(a);
    ASSERT_TRUE(WaitUntil([&] { return a.InMeeting(); }));
    Instance c("", L"Guest Carol", [](CManager& m) {
        m.launchMode = kLaunchMeetingLink;
        ASSERT_TRUE(m.OpenFirstWindow());
    });
    ASSERT_TRUE(WaitUntil([&] { return c.InMeeting(); })) << "the guest did not enter";
    EXPECT_FALSE(c.M().ownSessionId.empty());  // from the guest login's cookie
    EXPECT_EQ(c.M().meetingName, "Weekly sync");
    RequestControlUntilSeen(c, a);
}

} // namespace
