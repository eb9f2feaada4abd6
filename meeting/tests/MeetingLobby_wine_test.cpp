// The lobby window against a test double of its context: its participant
// request runs on a worker while the window keeps answering, one request at a
// time, and a refresh result's box is shown once and leaves once however many
// refreshes are asked for while it is open.
#include "meeting/CMeetingLobby.h"

#include "core/base/ThreadMessages.h"
#include "core/base/tests/QuietMeetingContext.h"
#include "meeting/LobbyResources.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

class FakeContext : public LobbyContext {
public:
    std::atomic<int> requests{0};
    std::atomic<int> running{0};
    std::atomic<int> mostAtOnce{0};
    std::atomic<int> result{0};
    std::atomic<DWORD> requestMs{0};
    DWORD mainThread = GetCurrentThreadId();
    QuietMeetingContext meeting;

    HINSTANCE Instance() const override { return GetModuleHandleW(nullptr); }
    DWORD MainThreadId() const override { return mainThread; }
    MeetingContext& Meeting() override { return meeting; }
    std::function<int()> PrepareParticipantsRequest() override
    {
        return [this] {
            ++requests;
            const int now = ++running;
            int most = mostAtOnce;
            while (now > most && !mostAtOnce.compare_exchange_weak(most, now)) {
            }
            Sleep(requestMs);
            --running;
            return result.load();
        };
    }
    LobbySnapshot Snapshot() override
    {
        LobbySnapshot s;
        s.participants = {{"me", L"Me", 0, 0, 1, false, 0}, {"h", L"Host", 1, 1, 1, false, 0}};
        s.meetingState = 2;
        s.meetingName = "Weekly sync";
        return s;
    }
    std::string OwnSessionId() const override { return "me"; }
    std::wstring OwnDisplayName() const override { return L"Me"; }
    void SetOwnDisplayName(const std::wstring&) override {}
    LobbyOwnState Own() const override { return {}; }
    void SetRoles(int, int, int) override {}
    void SetSharingStates(int, int) override {}
    void ClearHostRequestPending() override {}
    void SyncRequestLists() override {}
    std::vector<std::string> ControlRequests() const override { return {}; }
    std::vector<std::string> HostRequests() const override { return {}; }
    std::string ControlHolder() const override { return {}; }
    bool HandoverUnderway() const override { return false; }
    void LogEvent(int, const wchar_t*) override {}
    void Balloon(const wchar_t*, const wchar_t*) override {}
    void HideChat() override {}
    void CloseHostTools() override {}
    void ClosePlayback() override {}
};

// Pumps this thread's window messages; thread messages are counted.
struct Pump {
    int leaves = 0;
    WPARAM leaveWParam = 0;
    void For(DWORD ms)
    {
        const DWORD end = GetTickCount() + ms;
        do {
            MSG m;
            while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
                if (!m.hwnd) {
                    if (m.message == PLM_MEETING_LEFT) {
                        ++leaves;
                        leaveWParam = m.wParam;
                    }
                    continue;
                }
                TranslateMessage(&m);
                DispatchMessageW(&m);
            }
            Sleep(5);
        } while (static_cast<int>(end - GetTickCount()) > 0);
    }
};

HWND FindBox(const wchar_t* title)
{
    return FindWindowW(L"#32770", title);
}

// Regression: the refresh ran its request on the main thread, so the window
// froze for the length of each request.
TEST(MeetingLobbyWindow, RequestRunsOnAWorkerWhileTheWindowAnswers)
{
    auto context = std::make_shared<FakeContext>();
    context->requestMs = 1500;
    CMeetingLobby lobby(context);
    lobby.Create();
    ASSERT_TRUE(IsWindow(lobby.Window()));
    Pump pump;
    pump.For(200);
    ASSERT_EQ(context->running, 1) << "the first request is on its way";
    // Another thread asks for a list and gets one fetched after its call; the
    // window answers meanwhile.
    std::atomic<bool> fresh{false};
    std::atomic<DWORD> answerMs{0};
    std::thread other([&] {
        const DWORD t0 = GetTickCount();
        DWORD_PTR r = 0;
        SendMessageTimeoutW(lobby.Window(), WM_NULL, 0, 0, SMTO_BLOCK, 5000, &r);
        answerMs = GetTickCount() - t0;
        fresh = lobby.RefreshNow(5000);
    });
    pump.For(4000);
    other.join();
    EXPECT_LT(answerMs.load(), 500u);
    EXPECT_TRUE(fresh);
    EXPECT_EQ(context->requests, 2);
    EXPECT_EQ(context->mostAtOnce, 1);
    EXPECT_EQ(ListView_GetItemCount(lobby.ListWindow()), 2);
    EXPECT_EQ(pump.leaves, 0);
}

// Regression: the box of a refresh result ran its own message loop, where the
// next refresh showed a second box and posted the leave twice.
TEST(MeetingLobbyWindow, ResultBoxShowsOnceAndLeavesOnce)
{
    auto context = std::make_shared<FakeContext>();
    context->result = 47;  // the meeting is gone
    CMeetingLobby lobby(context);
    lobby.Create();
    ASSERT_TRUE(IsWindow(lobby.Window()));
    std::atomic<int> boxes{0};
    std::thread clicker([&] {
        HWND box = nullptr;
        for (int i = 0; i < 200 && !(box = FindBox(L"Warning")); ++i)
            Sleep(25);
        if (!box)
            return;
        ++boxes;
        for (int i = 0; i < 3; ++i) {
            DWORD_PTR r = 0;
            SendMessageTimeoutW(lobby.Window(), WM_TIMER, kLobbyRefreshTimer, 0, SMTO_BLOCK, 2000, &r);
            Sleep(300);
        }
        if (FindBox(L"Warning") != box)
            ++boxes;  // a second one
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    Pump pump;
    pump.For(4000);
    clicker.join();
    pump.For(300);
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(context->requests, 1);
    EXPECT_EQ(pump.leaves, 1);
    EXPECT_EQ(pump.leaveWParam, 0x101u);
}

} // namespace
