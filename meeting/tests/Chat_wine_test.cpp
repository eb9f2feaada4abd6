// The chat's windows against a test double of the program: docked in a real
// lobby and floating, typed into and clicked, fed frames on a loopback chat
// channel as the appliance writes them, with the packets it sends captured.
#include "meeting/CChat.h"

#include "core/base/FrameMessages.h"
#include "core/base/ThreadMessages.h"
#include "meeting/ChatResources.h"
#include "meeting/tests/ChatFrameBytes.h"
#include "meeting/CMeetingLobby.h"
#include "core/base/tests/QuietMeetingContext.h"
#include "tests/support/AppLogFile_win.h"
#include "tests/support/LoopbackSockets_win.h"
#include "tests/support/WindowTest_win.h"

#include <gtest/gtest.h>
#include <richedit.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

namespace {

AppLogFile& Log()
{
    static AppLogFile log("corvisk-chat-test");
    return log;
}

class FakeChat : public ChatContext {
public:
    LoopbackSockets channel;
    std::mutex lock;
    std::vector<ChatPeer> peers{{"S1", L"Alice"}, {"S2", L"Bob"}, {"S3", L"Carol"}};
    std::vector<std::vector<uint8_t>> sent;
    bool sendWorks = true;
    bool hostSharing = false;
    int refreshAsks = 0;
    DWORD mainThread = GetCurrentThreadId();

    HINSTANCE Instance() const override { return GetModuleHandleW(nullptr); }
    DWORD MainThreadId() const override { return mainThread; }
    std::string OwnSessionId() const override { return "S1"; }
    std::vector<ChatPeer> Peers() override
    {
        std::lock_guard<std::mutex> l(lock);
        return peers;
    }
    bool SendPacket(const std::vector<uint8_t>& packet) override
    {
        std::lock_guard<std::mutex> l(lock);
        sent.push_back(packet);
        return sendWorks;
    }
    std::uintptr_t ChatChannel() override { return static_cast<std::uintptr_t>(channel.feature); }
    bool HostSharing() const override { return hostSharing; }
    std::wstring EventPrefix() const override { return L"Participant\tAlice\t"; }
    void AskRefresh() override { ++refreshAsks; }

    std::vector<std::vector<uint8_t>> Sent()
    {
        std::lock_guard<std::mutex> l(lock);
        return sent;
    }
};

void Write(FakeChat& chat, const std::string& bytes)
{
    ASSERT_EQ(send(chat.channel.peer, bytes.data(), static_cast<int>(bytes.size()), 0), static_cast<int>(bytes.size()));
}

std::wstring History(CChat& chat)
{
    std::wstring text = wintest::ControlText(chat.PaneWindow(), IDC_CHAT_HISTORY);
    text.erase(std::remove(text.begin(), text.end(), L'\r'), text.end());
    return text;
}

size_t Lines(CChat& chat)
{
    const std::wstring h = History(chat);
    size_t n = 0;
    for (size_t at = h.find(L"> To <"); at != std::wstring::npos; at = h.find(L"> To <", at + 1))
        ++n;
    return n;
}

// Colour and face of the history's character at the start of text.
CHARFORMAT2W FormatAt(CChat& chat, const std::wstring& text)
{
    HWND history = GetDlgItem(chat.PaneWindow(), IDC_CHAT_HISTORY);
    const size_t at = History(chat).find(text);
    CHARFORMAT2W f{};
    f.cbSize = sizeof(f);
    if (at == std::wstring::npos)
        return f;
    SendMessageW(history, EM_SETSEL, at, at + 1);
    SendMessageW(history, EM_GETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&f));
    return f;
}

void Type(HWND input, const std::wstring& text)
{
    for (wchar_t c : text)
        SendMessageW(input, WM_CHAR, c, 0);
}

std::vector<uint8_t> Packet(const std::string& to, const std::string& text)
{
    const size_t n = 2 + to.size() + text.size();
    std::vector<uint8_t> p{8, 0, uint8_t((n + 6) >> 8), uint8_t((n + 6) & 0xFF), 8, 0, uint8_t(n >> 8), uint8_t(n & 0xFF), 2,
                           uint8_t(to.size())};
    for (char c : "S1" + to + text)
        p.push_back(static_cast<uint8_t>(c));
    return p;
}

// A started chat, floating unless a parent is given.
struct Rig {
    std::shared_ptr<FakeChat> context = std::make_shared<FakeChat>();
    std::unique_ptr<CChat> chat;
    std::vector<MSG> threadMessages;
    explicit Rig(HWND parent = nullptr)
    {
        wintest::SetThreadMessageSink([this](const MSG& m) { threadMessages.push_back(m); });
        chat = std::make_unique<CChat>(parent, context);
    }
    ~Rig() { wintest::SetThreadMessageSink({}); }
    bool Start()
    {
        return chat->CreateDlg() == 1 && chat->StartReceive() &&
               wintest::WaitFor([&] { return chat->Listening(); }, 3000);
    }
    HWND Input() const { return GetDlgItem(chat->PaneWindow(), IDC_CHAT_INPUT); }
    HWND Recipients() const { return GetDlgItem(chat->PaneWindow(), IDC_CHAT_RECIPIENTS); }
    bool WaitLines(size_t n) { return wintest::WaitFor([&] { return Lines(*chat) >= n; }, 5000); }
};

// The lobby the chat docks into, with a quiet program behind it.
class QuietLobby : public LobbyContext {
public:
    DWORD mainThread = GetCurrentThreadId();
    QuietMeetingContext meeting;
    HWND chatPane = nullptr;
    HINSTANCE Instance() const override { return GetModuleHandleW(nullptr); }
    DWORD MainThreadId() const override { return mainThread; }
    MeetingContext& Meeting() override { return meeting; }
    std::function<int()> PrepareParticipantsRequest() override
    {
        return [] { return 0; };
    }
    LobbySnapshot Snapshot() override
    {
        LobbySnapshot s;
        s.participants = {{"S1", L"Alice", 0, 0, 1, false, 0}, {"S2", L"Bob", 1, 1, 1, false, 0},
                          {"S3", L"Carol", 0, 0, 1, false, 0}};
        s.meetingState = 2;
        s.meetingName = "Weekly sync";
        return s;
    }
    std::string OwnSessionId() const override { return "S1"; }
    std::wstring OwnDisplayName() const override { return L"Alice"; }
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
    void ParticipantsRefreshed() override
    {
        if (chatPane)
            PostMessageW(chatPane, WM_CHAT_RECIPIENTS, 0, 0);
    }
};

TEST(ChatWindow, DockedInTheLobbyBelowItsPageWithAConversation)
{
    auto lobbyContext = std::make_shared<QuietLobby>();
    CMeetingLobby lobby(lobbyContext);
    lobby.Create();
    ASSERT_TRUE(IsWindow(lobby.Window()));
    RECT before{};
    GetWindowRect(lobby.Window(), &before);

    Rig rig(lobby.Window());
    ASSERT_TRUE(rig.Start());
    lobbyContext->chatPane = rig.chat->PaneWindow();
    HWND pane = rig.chat->PaneWindow();
    EXPECT_EQ(GetParent(pane), lobby.Window());
    EXPECT_TRUE(GetWindowLongPtrW(pane, GWL_STYLE) & WS_CHILD);
    EXPECT_EQ(rig.chat->GetPaneState(), kChatPaneShown | kChatPaneDocked);
    RECT after{}, page{}, chatRect{};
    GetWindowRect(lobby.Window(), &after);
    GetWindowRect(lobby.Dialog(), &page);
    GetWindowRect(pane, &chatRect);
    EXPECT_GT(after.bottom - after.top, before.bottom - before.top) << "the frame grows by the pane";
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_LE(after.bottom, work.bottom) << "and stays on the screen";
    EXPECT_LE(page.bottom, chatRect.top) << "the lobby's page ends above the chat";
    EXPECT_GT(chatRect.bottom - chatRect.top, 100);

    // The frame's resize moves the band with it.
    SetWindowPos(lobby.Window(), nullptr, 0, 0, after.right - after.left + 80, after.bottom - after.top + 40,
                 SWP_NOZORDER);
    wintest::Pump();
    RECT grown{};
    GetWindowRect(pane, &grown);
    EXPECT_EQ(grown.right - grown.left, chatRect.right - chatRect.left + 80);
    GetWindowRect(lobby.Dialog(), &page);
    EXPECT_LE(page.bottom, grown.top);

    Write(*rig.context, ChatFrameBytes("S2", "ALL", "Good morning, everyone."));
    ASSERT_TRUE(rig.WaitLines(1));
    Type(rig.Input(), L"Morning Bob!");
    wintest::Click(pane, IDC_CHAT_SEND);
    Write(*rig.context, ChatFrameBytes("S3", "S1", "Can you share the agenda?"));
    ASSERT_TRUE(rig.WaitLines(3));
    EXPECT_EQ(History(*rig.chat), L"<Bob> To <All>:\nGood morning, everyone.\n<Me> To <All>:\nMorning Bob!\n"
                                  L"<Carol> To <Me>:\nCan you share the agenda?\n");
    wintest::PumpFor(300);
    EXPECT_FALSE(wintest::SaveScreenshot(lobby.Window(), L"chat", L"docked_conversation").empty());

    // A line typed with Enter while docked stops the frame's flashing.
    SendMessageW(lobby.Window(), WM_FRAME_FLASH_START, 0, 0);
    ASSERT_TRUE(lobby.Flashing());
    Type(rig.Input(), L"On it.\r");
    wintest::PumpFor(100);
    EXPECT_FALSE(lobby.Flashing());
    EXPECT_EQ(rig.context->Sent().back(), Packet("ALL", "On it.\r\n"));
    lobbyContext->chatPane = nullptr;
}

TEST(ChatWindow, FloatingDialogClosesToHiddenAndLinesAreColouredAndLogged)
{
    Log();
    Rig rig;
    ASSERT_TRUE(rig.Start());
    HWND pane = rig.chat->PaneWindow();
    EXPECT_FALSE(GetWindowLongPtrW(pane, GWL_STYLE) & WS_CHILD);
    EXPECT_TRUE(IsWindowVisible(pane));
    EXPECT_EQ(wintest::Text(pane), L"Chat");
    EXPECT_EQ(wintest::ControlText(pane, IDCANCEL), L"Close");
    EXPECT_EQ(wintest::ControlText(pane, IDC_CHAT_SEND), L"Send");

    Write(*rig.context, ChatFrameBytes("S2", "ALL", "hello"));
    ASSERT_TRUE(rig.WaitLines(1));
    Type(rig.Input(), L"hi there");
    wintest::Click(pane, IDC_CHAT_SEND);
    ASSERT_EQ(Lines(*rig.chat), 2u);
    const CHARFORMAT2W received = FormatAt(*rig.chat, L"<Bob>");
    EXPECT_EQ(received.crTextColor, RGB(255, 0, 0));
    EXPECT_STREQ(received.szFaceName, L"Arial");
    const CHARFORMAT2W own = FormatAt(*rig.chat, L"<Me>");
    EXPECT_EQ(own.crTextColor, RGB(0, 0, 255));
    EXPECT_STREQ(own.szFaceName, L"Arial");
    const CHARFORMAT2W text = FormatAt(*rig.chat, L"hello");
    EXPECT_TRUE(text.dwEffects & CFE_AUTOCOLOR) << "the text is in the default colour";
    EXPECT_TRUE(Log().Contains("Participant\tAlice\t[Chat Log]\tFrom <Bob> to <All> : hello\n"));
    EXPECT_TRUE(Log().Contains("[Chat Log]\tFrom <Me> to <All> : hi there\n"));
    wintest::PumpFor(200);
    EXPECT_FALSE(wintest::SaveScreenshot(pane, L"chat", L"floating").empty());

    wintest::Click(pane, IDCANCEL);
    EXPECT_FALSE(IsWindowVisible(pane));
    EXPECT_TRUE(IsWindow(pane)) << "closing a floating chat only hides it";
    EXPECT_EQ(rig.chat->GetPaneState(), kChatPaneHidden);
}

TEST(ChatWindow, SendsWithTheButtonAndWithEnter)
{
    Rig rig;
    ASSERT_TRUE(rig.Start());
    HWND pane = rig.chat->PaneWindow();
    SetForegroundWindow(pane);
    // The button: no line end, exactly the bytes peers read.
    Type(rig.Input(), L"hi");
    wintest::Click(pane, IDC_CHAT_SEND);
    // Enter: sent with its line end.
    Type(rig.Input(), L"hi\r");
    // Enter in an empty input: cleared, nothing sent.
    Type(rig.Input(), L"\r");
    EXPECT_EQ(wintest::Text(rig.Input()), L"");
    const auto sent = rig.context->Sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0], (std::vector<uint8_t>{0x08, 0x00, 0x00, 0x0D, 0x08, 0x00, 0x00, 0x07, 0x02, 0x03, 'S', '1', 'A',
                                             'L', 'L', 'h', 'i'}));
    EXPECT_EQ(sent[1], Packet("ALL", "hi\r\n"));
    EXPECT_EQ(Lines(*rig.chat), 2u) << "one history line each";
    EXPECT_EQ(History(*rig.chat), L"<Me> To <All>:\nhi\n<Me> To <All>:\nhi\n");
    if (GetForegroundWindow() == pane) {
        EXPECT_EQ(GetFocus(), rig.Input()) << "the button puts the focus back";
    }
}

TEST(ChatWindow, RecipientListKeepsTheChoiceAndPrivateMessagesGoToOneSession)
{
    Rig rig;
    ASSERT_TRUE(rig.Start());
    HWND list = rig.Recipients();
    ASSERT_EQ(SendMessageW(list, CB_GETCOUNT, 0, 0), 3);
    wchar_t first[64] = {};
    SendMessageW(list, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(first));
    EXPECT_STREQ(first, L"All Participants");
    EXPECT_EQ(SendMessageW(list, CB_GETCURSEL, 0, 0), 0);

    SendMessageW(list, CB_SETCURSEL, 2, 0);  // Carol
    SendMessageW(rig.chat->PaneWindow(), WM_COMMAND, MAKEWPARAM(IDC_CHAT_RECIPIENTS, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
    Type(rig.Input(), L"just you");
    wintest::Click(rig.chat->PaneWindow(), IDC_CHAT_SEND);
    ASSERT_EQ(rig.context->Sent().size(), 1u);
    EXPECT_EQ(rig.context->Sent()[0], Packet("S3", "just you"));
    EXPECT_NE(History(*rig.chat).find(L"<Me> To <Carol>:"), std::wstring::npos);

    // A new list with Dave first keeps Carol chosen.
    {
        std::lock_guard<std::mutex> l(rig.context->lock);
        rig.context->peers.insert(rig.context->peers.begin() + 1, {"S4", L"Dave"});
    }
    SendMessageW(rig.chat->PaneWindow(), WM_CHAT_RECIPIENTS, 0, 0);
    EXPECT_EQ(SendMessageW(list, CB_GETCOUNT, 0, 0), 4);
    EXPECT_EQ(SendMessageW(list, CB_GETCURSEL, 0, 0), 3);
    // Carol leaves: "All Participants" again.
    {
        std::lock_guard<std::mutex> l(rig.context->lock);
        rig.context->peers.pop_back();
    }
    SendMessageW(rig.chat->PaneWindow(), WM_CHAT_RECIPIENTS, 0, 0);
    EXPECT_EQ(SendMessageW(list, CB_GETCURSEL, 0, 0), 0);

    // Bob chosen, then gone before the list is rebuilt: nothing is sent.
    SendMessageW(list, CB_SETCURSEL, 2, 0);
    {
        std::lock_guard<std::mutex> l(rig.context->lock);
        rig.context->peers.erase(rig.context->peers.begin() + 2);
    }
    Type(rig.Input(), L"anyone?");
    wintest::Click(rig.chat->PaneWindow(), IDC_CHAT_SEND);
    EXPECT_EQ(rig.context->Sent().size(), 1u);
}

// Regression: the chat closed the program's control connection when a send
// failed; now the failure is said in the history and nothing else changes.
TEST(ChatWindow, FailedSendIsReportedInTheHistory)
{
    Rig rig;
    ASSERT_TRUE(rig.Start());
    rig.context->sendWorks = false;
    Type(rig.Input(), L"lost?");
    wintest::Click(rig.chat->PaneWindow(), IDC_CHAT_SEND);
    EXPECT_NE(History(*rig.chat).find(L"The message could not be sent."), std::wstring::npos);
    rig.context->sendWorks = true;
    Type(rig.Input(), L"again");
    wintest::Click(rig.chat->PaneWindow(), IDC_CHAT_SEND);
    EXPECT_EQ(rig.context->Sent().size(), 2u);
}

// Regressions: a private message to someone else was shown as sent to all;
// the receive thread's shared buffers lost or doubled messages in a burst.
TEST(ChatWindow, ReceivedFramesAreJudgedAndABurstArrivesInOrder)
{
    Rig rig;
    // Waiting from before the chat began: not shown.
    Write(*rig.context, ChatFrameBytes("S2", "ALL", "stale"));
    Sleep(100);
    ASSERT_TRUE(rig.Start());
    wintest::PumpFor(200);
    Write(*rig.context, ChatFrameBytes("S1", "ALL", "my own echo") + std::string(2, '\0') +
                            ChatFrameBytes("S2", "S3", "for Carol only") + ChatFrameBytes("S3", "S1", "for you") +
                            ChatFrameBytes("S2", "ALL", "to all"));
    ASSERT_TRUE(rig.WaitLines(2));
    wintest::PumpFor(200);
    EXPECT_EQ(History(*rig.chat), L"<Carol> To <Me>:\nfor you\n<Bob> To <All>:\nto all\n");

    std::string burst;
    for (int i = 0; i < 200; ++i)
        burst += ChatFrameBytes("S2", "ALL", "line " + std::to_string(i));
    Write(*rig.context, burst);
    ASSERT_TRUE(rig.WaitLines(202));
    const std::wstring h = History(*rig.chat);
    size_t at = 0;
    for (int i = 0; i < 200; ++i) {
        at = h.find(L"line " + std::to_wstring(i) + L"\n", at);
        ASSERT_NE(at, std::wstring::npos) << i;
    }
    EXPECT_EQ(Lines(*rig.chat), 202u);
}

// Regression: the ids were copied into 128-byte buffers by lengths up to 255,
// and a text over 1023 characters ran past its buffer.
TEST(ChatWindow, CraftedFramesAreDroppedOrCutAndTheChatGoesOn)
{
    Log();
    Rig rig;
    ASSERT_TRUE(rig.Start());
    std::string crafted =
        ChatFrameBytes(std::string(128, 'a'), "ALL", "long sender") + ChatFrameBytes("S2", std::string(255, 'b'), "x");
    // fromLength + toLength greater than n.
    crafted += std::string{char(8), 0, 0, 4, 2, 3} + "S2AL";
    crafted += ChatFrameBytes("S2", "ALL", std::string(5000, 'w'));
    crafted += ChatFrameBytes("S2", "ALL", "after");
    Write(*rig.context, crafted);
    ASSERT_TRUE(rig.WaitLines(2));
    wintest::PumpFor(200);
    const std::wstring h = History(*rig.chat);
    EXPECT_EQ(Lines(*rig.chat), 2u);
    EXPECT_NE(h.find(L"<Bob> To <All>:\n" + std::wstring(1023, L'w') + L"\n"), std::wstring::npos);
    EXPECT_EQ(h.find(std::wstring(1024, L'w')), std::wstring::npos);
    EXPECT_NE(h.find(L"after"), std::wstring::npos);
    EXPECT_TRUE(Log().Contains("Chat: a received frame was dropped (a sender or recipient of 128 bytes or more"));
    EXPECT_TRUE(Log().Contains("Chat: a received frame was dropped (the ids are longer than the frame)"));
    EXPECT_TRUE(Log().Contains("Chat: a received message from S2: the text was cut."));

    // Another type ends the chat: nothing after it shows, and the channel is
    // still read (the relay is never held up).
    Write(*rig.context, std::string(1, char(9)) + ChatFrameBytes("S2", "ALL", "never"));
    wintest::PumpFor(500);
    EXPECT_EQ(History(*rig.chat).find(L"never"), std::wstring::npos);
    EXPECT_TRUE(rig.chat->Receiving());
}

// Regression: a participant who joined less than a list ago lost its first
// messages.
TEST(ChatWindow, UnlistedSenderWaitsForTheNextList)
{
    Rig rig;
    ASSERT_TRUE(rig.Start());
    Write(*rig.context, ChatFrameBytes("S9", "ALL", "I just came in") + ChatFrameBytes("S8", "ALL", "nobody knows me"));
    ASSERT_TRUE(wintest::WaitFor([&] { return rig.chat->HeldMessages() == 2; }, 5000));
    EXPECT_GE(rig.context->refreshAsks, 1) << "the list is asked for at once";
    EXPECT_EQ(Lines(*rig.chat), 0u);
    {
        std::lock_guard<std::mutex> l(rig.context->lock);
        rig.context->peers.push_back({"S9", L"Erin"});
    }
    SendMessageW(rig.chat->PaneWindow(), WM_CHAT_RECIPIENTS, 0, 0);
    EXPECT_EQ(History(*rig.chat), L"<Erin> To <All>:\nI just came in\n");
    EXPECT_EQ(rig.chat->HeldMessages(), 1u);
    SendMessageW(rig.chat->PaneWindow(), WM_CHAT_RECIPIENTS, 0, 0);
    EXPECT_EQ(rig.chat->HeldMessages(), 0u) << "dropped once the next list still lacks the sender";
    EXPECT_EQ(Lines(*rig.chat), 1u);
}

TEST(ChatWindow, HistoryStartsAgainPastItsSize)
{
    Rig rig;
    ASSERT_TRUE(rig.Start());
    std::string frames;
    for (int i = 0; i < 20; ++i)
        frames += ChatFrameBytes("S2", "ALL", std::to_string(i) + std::string(1000, 'h'));
    Write(*rig.context, frames);
    ASSERT_TRUE(wintest::WaitFor([&] { return History(*rig.chat).find(L"19hhh") != std::wstring::npos; }, 5000));
    const std::wstring h = History(*rig.chat);
    EXPECT_LE(GetWindowTextLengthW(GetDlgItem(rig.chat->PaneWindow(), IDC_CHAT_HISTORY)), 16384);
    EXPECT_EQ(h.find(L"\n0hhh"), std::wstring::npos) << "the first lines went with the restart";
    EXPECT_EQ(h.rfind(L"<Bob>", 0), 0u) << "it starts with a whole line";
}

TEST(ChatWindow, WhileTheHostSharesAReceivedMessageBringsTheChatForward)
{
    Rig rig;
    ASSERT_TRUE(rig.Start());
    rig.context->hostSharing = true;
    const struct {
        int state;
        bool shows;
    } cases[] = {{kChatPaneHidden, true}, {kChatPaneShown | kChatPaneDocked, true}, {kChatPaneShown, false},
                 {kChatPaneHidden | kChatPaneDocked, true}};
    int n = 0;
    for (const auto& c : cases) {
        rig.chat->SetPaneState(c.state);
        rig.threadMessages.clear();
        Write(*rig.context, ChatFrameBytes("S2", "ALL", "message " + std::to_string(n)));
        ASSERT_TRUE(rig.WaitLines(static_cast<size_t>(++n)));
        wintest::PumpFor(100);
        const bool shown = std::any_of(rig.threadMessages.begin(), rig.threadMessages.end(),
                                       [](const MSG& m) { return m.message == PLM_SHOW_CHAT; });
        EXPECT_EQ(shown, c.shows) << c.state;
    }
}

TEST(ChatWindow, HostHintShowsOverTheHistory)
{
    Rig rig;
    ASSERT_TRUE(rig.Start());
    HWND hint = rig.chat->HintWindow();
    ASSERT_TRUE(IsWindow(hint));
    EXPECT_FALSE(IsWindowVisible(hint));
    rig.chat->ShowHostHint();
    EXPECT_TRUE(IsWindowVisible(hint));
    RECT h{}, history{};
    GetWindowRect(hint, &h);
    GetWindowRect(GetDlgItem(rig.chat->PaneWindow(), IDC_CHAT_HISTORY), &history);
    EXPECT_NEAR((h.left + h.right) / 2, (history.left + history.right) / 2, 1);
    EXPECT_NEAR((h.top + h.bottom) / 2, (history.top + history.bottom) / 2, 1);
    EXPECT_EQ(wintest::ControlText(hint, IDC_CHAT_HINT_1), L"You are the host now.");
    wintest::PumpFor(200);
    EXPECT_FALSE(wintest::SaveScreenshot(rig.chat->PaneWindow(), L"chat", L"host_hint").empty());
    SendMessageW(hint, WM_LBUTTONDOWN, 0, 0);
    EXPECT_FALSE(IsWindowVisible(hint));
}

} // namespace

