// The lobby window against a test double of its context: its participant
// request runs on a worker while the window keeps answering, one request at a
// time, and a refresh result's box is shown once and leaves once however many
// refreshes are asked for while it is open.
#include "meeting/CMeetingLobby.h"

#include "core/base/ThreadMessages.h"
#include "core/base/tests/QuietMeetingContext.h"
#include "meeting/LobbyResources.h"
#include "tests/support/WindowTest_win.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

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
    std::vector<LobbyParticipant> participants{{"me", L"Me", 0, 0, 1, false, 0}, {"h", L"Host", 1, 1, 1, false, 0}};
    int meetingSharingState = 0;
    LobbyOwnState own;
    LobbySnapshot Snapshot() override
    {
        LobbySnapshot s;
        s.participants = participants;
        s.meetingState = 2;
        s.meetingSharingState = meetingSharingState;
        s.meetingName = "Weekly sync";
        return s;
    }
    std::string OwnSessionId() const override { return "me"; }
    std::wstring OwnDisplayName() const override { return L"Me"; }
    void SetOwnDisplayName(const std::wstring&) override {}
    LobbyOwnState Own() const override { return own; }
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

// The participant menu of the coordinator who hosts and shares, on the
// second of two guests with one name: its items, and the record it acts on is
// the row's own (regression: the row was found by its name, so commands went
// to the first guest of that name).
TEST(MeetingLobbyWindow, ParticipantMenuActsOnTheRowsParticipant)
{
    auto context = std::make_shared<FakeContext>();
    context->participants = {{"me", L"Me", 1, 1, 4, false, 0},
                             {"g1", L"Guest", 0, 0, 4, false, 0},
                             {"g2", L"Guest", 0, 0, 4, false, 0}};
    context->meetingSharingState = 2;
    context->own.role = 1;
    context->own.callerRole = 1;
    context->own.sharingState = 4;
    context->own.prevSharingState = 3;
    CMeetingLobby lobby(context);
    lobby.Create();
    Pump pump;
    pump.For(500);
    const HWND list = lobby.ListWindow();
    ASSERT_EQ(ListView_GetItemCount(list), 3);
    ASSERT_EQ(lobby.RowSession(2), "g2");
    ListView_SetItemState(list, 2, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);

    std::vector<std::wstring> items;
    std::thread reader([&] {
        HWND menu = nullptr;
        for (int i = 0; i < 200 && !(menu = FindWindowW(L"#32768", nullptr)); ++i)
            Sleep(25);
        if (!menu)
            return;
        Sleep(200);
        wintest::SaveScreenshot(menu, L"meeting_lobby", L"participant_menu");
        HMENU popup = reinterpret_cast<HMENU>(SendMessageW(menu, MN_GETHMENU, 0, 0));
        for (int i = 0; popup && i < GetMenuItemCount(popup); ++i) {
            wchar_t text[128] = L"";
            GetMenuStringW(popup, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
            items.push_back(text);
        }
        PostMessageW(menu, WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageW(lobby.Dialog(), WM_CANCELMODE, 0, 0);
    });
    NMITEMACTIVATE click{};
    click.hdr.hwndFrom = list;
    click.hdr.idFrom = IDC_LOBBY_LIST;
    click.hdr.code = NM_RCLICK;
    click.iItem = 2;
    SendMessageW(lobby.Dialog(), WM_NOTIFY, IDC_LOBBY_LIST, reinterpret_cast<LPARAM>(&click));
    reader.join();
    EXPECT_EQ(lobby.Selected().session, "g2");
    EXPECT_EQ(items, (std::vector<std::wstring>{L"Pass Keyboard and Mouse Control", L"Set as Host", L"Set as Assist",
                                                 L"Set as view-only", L"Kick Out"}));
    // The sharing host's row and the toolbar as the window shows them.
    wchar_t name[64] = L"";
    ListView_GetItemText(list, 0, 0, name, 64);
    EXPECT_STREQ(name, L"Me (Sharing)");
    EXPECT_TRUE(ButtonEnabled(lobby.Buttons(), IDC_TB_SHARE));
    EXPECT_EQ(Button(lobby.Buttons(), IDC_TB_SHARE), 3);
}

} // namespace
