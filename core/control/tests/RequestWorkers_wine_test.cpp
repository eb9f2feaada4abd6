#include "core/control/RequestWorkers_win.h"
#include "tests/support/AppLogFile_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace {

struct SlowMeeting : HandoverEnv, ControlRequestsHost {
    std::mutex m;
    std::vector<uint8_t> sent;
    std::atomic<int> refreshes{0};
    std::string OwnSessionId() override { return "me"; }
    std::string CurrentHost() override { return "old"; } // never changes
    uint32_t SharingState() override { return 2; }       // never ends
    void RefreshParticipants() override { ++refreshes; }
    bool AllParticipantsReady() override { return false; }
    void CloseCanvases() override {}
    bool Send(const ControlPacket& p) override
    {
        std::lock_guard<std::mutex> l(m);
        sent.push_back(p[0]);
        return true;
    }
    void Pause(uint32_t ms) override { Sleep(ms); }
    bool Cancelled() override { return false; }
    // ControlRequestsHost
    bool SendPacket(const ControlPacket& p) override { return Send(p); }
    std::string ParticipantName(const std::string&) override { return {}; }
    bool HasParticipant(const std::string&) override { return true; }
    void Notify(RequestNotice, const std::string&, bool) override {}
    void RefreshLobbyList() override {}
    void SetInputWatch(bool) override {}
    void HideForControlHolder() override {}
    void StartHostInvitationPrompt(const std::string&) override {}
    void StartHostHandover(const std::string&) override {}
};

TEST(RequestWorkers, EachStartRunsWithItsOwnArgumentsAndCancelJoinsThem)
{
    SlowMeeting meeting;
    ControlRequests requests(meeting);
    RequestWorkers workers(meeting, requests);
    workers.StartHandover("p1");
    workers.StartHandover("p2");
    workers.StartSharingRequest("p3");
    workers.StartHostPrompt(L"Do you want to be a host to share your screen?", "coord");
    Sleep(300);
    workers.CancelAndJoin();
    EXPECT_EQ(workers.Running(), 0u);
    size_t after;
    {
        std::lock_guard<std::mutex> l(meeting.m);
        after = meeting.sent.size();
    }
    Sleep(300);
    std::lock_guard<std::mutex> l(meeting.m);
    EXPECT_EQ(meeting.sent.size(), after) << "a worker still sent after being joined";
    // Nothing starts once cancelled.
    workers.StartHandover("p4");
    EXPECT_EQ(workers.Running(), 0u);
}

// Regression: a cancel that came before the prompt's message box existed
// found no window to answer, and the join then waited for the user.
TEST(RequestWorkers, CancelRightAfterAPromptStartsDoesNotWaitForTheUser)
{
    SlowMeeting meeting;
    ControlRequests requests(meeting);
    for (int i = 0; i < 5; ++i) {
        RequestWorkers workers(meeting, requests);
        workers.StartHostPrompt(L"Do you want to be a host to share your screen?", "coord");
        DWORD t0 = GetTickCount();
        workers.CancelAndJoin();
        EXPECT_LT(GetTickCount() - t0, 10000u);
    }
    std::lock_guard<std::mutex> l(meeting.m);
    EXPECT_TRUE(meeting.sent.empty()) << "a cancelled prompt sent its answer";
}

// A participant refresh that does not come back (an appliance that stopped
// answering) until the test lets it go.
struct HangingMeeting : SlowMeeting {
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> inRefresh{false};
    ~HangingMeeting() { CloseHandle(release); }
    void RefreshParticipants() override
    {
        inRefresh = true;
        WaitForSingleObject(release, 30000);
    }
};

// A worker held past the join's limit: the join returns at the limit, says
// so and logs it, and the workers' object may go. The worker, let go later,
// still finds its cancellation (it was freed with the object before) and
// sends nothing.
TEST(RequestWorkers, AWorkerPastTheLimitIsLeftBehindWithWhatItUses)
{
    AppLogFile log("corvisk_workers_test");
    HangingMeeting meeting;
    ControlRequests requests(meeting);
    auto workers = std::make_unique<RequestWorkers>(meeting, requests);
    workers->StartReadyWait();
    for (int i = 0; i < 250 && !meeting.inRefresh; ++i)
        Sleep(20);
    ASSERT_TRUE(meeting.inRefresh);
    ULONGLONG t0 = GetTickCount64();
    EXPECT_FALSE(workers->CancelAndJoin());
    ULONGLONG ms = GetTickCount64() - t0;
    EXPECT_GE(ms, RequestWorkers::kJoinMs - 100);
    EXPECT_LT(ms, RequestWorkers::kJoinMs + 1500);
    EXPECT_EQ(workers->Running(), 0u);
    t0 = GetTickCount64();
    workers.reset();
    EXPECT_LT(GetTickCount64() - t0, 1000u);
    // The heap hands out what the object held, filled with something else.
    std::vector<std::unique_ptr<char[]>> reuse;
    for (size_t size = 16; size <= 256; size += 8)
        for (int i = 0; i < 8; ++i) {
            reuse.emplace_back(new char[size]);
            std::fill(reuse.back().get(), reuse.back().get() + size, '\xDD');
        }
    EXPECT_TRUE(log.Contains("A meeting request worker did not end in 3000 ms."));
    SetEvent(meeting.release);
    Sleep(500);
    std::lock_guard<std::mutex> l(meeting.m);
    EXPECT_TRUE(meeting.sent.empty()) << "a worker left behind sent after its cancel";
}

} // namespace
