// Crafted frames on the chat, canvas and control channels of a real program
// in a meeting: the local appliance injects them, one raw tunnel frame each,
// down the participant's control tunnel among what the meeting relays. Bad
// frames are dropped (with the log line the program writes for them), the
// program stays in the meeting, and a sound chat line, whiteboard opening and
// participant mark after them still arrive. Two managers with the program's
// services on threads of their own; run by tunnel_fixture.sh with
// meeting_glue_scenario.json (alice's session "sessA", bob's "sessB").
#include "core/app/tests/MeetingScenario_win.h"
#include "core/control/ControlPacket.h"
#include "meeting/CCanvas.h"
#include "meeting/CChat.h"
#include "meeting/CanvasMessages.h"
#include "meeting/ChatResources.h"
#include "meeting/MarkText.h"
#include "meeting/PartiMark.h"
#include "meeting/tests/ChatFrameBytes.h"
#include "tests/support/AppLogFile_win.h"
#include "tests/support/WindowTest_win.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>

namespace {

using namespace meetingtest;

constexpr uint16_t kChatTag = 0xAACC;
constexpr uint16_t kCanvasTag = 0xBBCC;
constexpr uint16_t kControlTag = 0xAABB;

// A meeting packet whose text has no NUL after it: the receiver must not
// read past the announced length.
std::string Packet(uint8_t type, const std::string& text)
{
    uint8_t head[kControlPacketHeaderSize];
    ControlPacketHeader{type, static_cast<uint16_t>(text.size())}.Encode(head);
    return std::string(reinterpret_cast<const char*>(head), sizeof head) + text;
}

// A whiteboard owner's opening (control 3) with the given canvas width.
std::string WhiteboardOpen(int canvasWidth)
{
    CanvasControlRecord r;
    r.command = kControlWhiteboardOpen;
    r.codes[0] = kWhiteboardFrameWidth;
    r.codes[1] = kWhiteboardFrameHeight;
    r.codes[2] = canvasWidth;
    r.codes[3] = kWhiteboardCanvasHeight;
    std::string text;
    CMsgHandler::BuildControl(r, text, kCanvasWhiteboardOwner);
    return Packet(PLP_CANVAS, text);
}

// One raw frame down the session's control tunnel, now.
void Inject(const char* session, uint16_t tag, const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes)
        hex += {digits[c >> 4], digits[c & 15]};
    const std::string json = std::string(R"({"session": ")") + session + R"(", "tag": )" + std::to_string(tag) +
                             R"(, "hex": ")" + hex + "\"}";
    ASSERT_EQ(logintest::ApplianceControl(AppliancePort(), L"POST", "/__control/inject", json).status, 200u);
}

std::wstring History(CChat& chat)
{
    std::wstring text = wintest::ControlText(chat.PaneWindow(), IDC_CHAT_HISTORY);
    text.erase(std::remove(text.begin(), text.end(), L'\r'), text.end());
    return text;
}

struct Crafted {
    const char* what;
    uint16_t tag;
    std::string bytes;
    const char* logged;  // the line the program writes for it, if any
};

class CraftedFrames : public ::testing::Test {
protected:
    static void SetUpTestSuite() { TrustRunCa(); }
    void SetUp() override { WriteFaults("[]"); }
};

TEST_F(CraftedFrames, BadFramesAreDroppedAndTheSoundOnesAfterThemArrive)
{
    AppLogFile log("corvisk-crafted-frames-test");
    Instance a("sessA", L"Alice", [](CManager&) {});
    Instance b("sessB", L"Bob", [](CManager&) {});
    StartAsHost(a);
    ASSERT_TRUE(WaitUntil([&] { return a.InMeeting(); })) << "the host did not enter";
    b.Post(PLM_JOIN_MEETING);
    ASSERT_TRUE(WaitUntil([&] { return b.InMeeting() && b.M().chat && b.M().chat->Listening(); }))
        << "bob did not enter";
    b.M().partiMarkEnabled = 1;
    // Alice is in Bob's list, so her chat lines are shown at once.
    ASSERT_TRUE(WaitUntil([&] {
        b.M().Appliance().ReadParticipants();
        std::lock_guard<std::mutex> l(b.M().participantLock);
        return std::any_of(b.M().participants.begin(), b.M().participants.end(),
                           [](const Participant& p) { return p.sessionID == "sessA"; });
    }));

    const char* const longId =
        "Chat: a received frame was dropped (a sender or recipient of 128 bytes or more, or none).";
    const char* const unreadMark = "A participant mark that could not be read was dropped.";
    const Crafted table[] = {
        {"sender of 128 bytes", kChatTag, ChatFrameBytes(std::string(128, 'a'), "ALL", "x"), longId},
        {"recipient of 255 bytes", kChatTag, ChatFrameBytes("sessA", std::string(255, 'b'), "x"), longId},
        {"fromLength + toLength greater than n", kChatTag, std::string{8, 0, 0, 4, 5, 3} + "sess",
         "Chat: a received frame was dropped (the ids are longer than the frame)."},
        {"type 0 between frames", kChatTag, std::string(3, '\0'), nullptr},
        {"text of 5000 characters", kChatTag, ChatFrameBytes("sessA", "ALL", std::string(5000, 'w')),
         "Chat: a received message from sessA: the text was cut."},
        {"canvas type 0", kCanvasTag, Packet(0, ""), nullptr},
        {"canvas type 9", kCanvasTag, Packet(9, "CEWB:3\r\n"), nullptr},
        {"canvas size 0", kCanvasTag, WhiteboardOpen(0), "A canvas message with the size 0 x 1536 was dropped."},
        {"canvas size -5", kCanvasTag, WhiteboardOpen(-5), "A canvas message with the size -5 x 1536 was dropped."},
        {"canvas size 100000", kCanvasTag, WhiteboardOpen(100000),
         "A canvas message with the size 100000 x 1536 was dropped."},
        {"control type 0", kControlTag, Packet(0, ""), nullptr},
        {"control type 9", kControlTag, Packet(9, ""), nullptr},
        {"mark without its second line end", kControlTag, Packet(PLP_PARTI_MARK, "10,20\r\nEve"), unreadMark},
        {"mark at 100000", kControlTag, Packet(PLP_PARTI_MARK, "100000,20\r\nEve\r\n"), unreadMark},
    };
    for (const Crafted& c : table)
        Inject("sessB", c.tag, c.bytes);
    // Sound ones after them, without their NULs too.
    Inject("sessB", kControlTag, Packet(PLP_PARTI_MARK, BuildMarkText(40, 60, "Alice")));
    Inject("sessB", kChatTag, ChatFrameBytes("sessA", "ALL", "after the crafted frames"));

    // The mark first: it shows for five seconds.
    PartiMark& marks = *b.M().partiMark;
    ASSERT_TRUE(WaitUntil([&] { return marks.MarkWindow(L"Alice") != nullptr; }, 4000)) << "no mark shown";
    EXPECT_EQ(marks.LiveMarks(), 1u) << "a crafted mark was shown";
    RECT r{};
    GetWindowRect(marks.MarkWindow(L"Alice"), &r);
    EXPECT_EQ(r.left, 40);
    EXPECT_EQ(r.top, 60);
    EXPECT_FALSE(wintest::SaveScreenshot(marks.MarkWindow(L"Alice"), L"CraftedFrames", L"mark_after").empty());

    CChat& chat = *b.M().chat;
    ASSERT_TRUE(WaitUntil([&] { return History(chat).find(L"after the crafted frames") != std::wstring::npos; }))
        << History(chat);
    EXPECT_EQ(History(chat), L"<Alice> To <All>:\n" + std::wstring(1023, L'w') +
                                 L"\n<Alice> To <All>:\nafter the crafted frames\n");
    EXPECT_FALSE(wintest::SaveScreenshot(b.M().lobby->Window(), L"CraftedFrames", L"chat_after").empty());

    // The whiteboard's frame opens over the lobby: after the chat's picture.
    Inject("sessB", kCanvasTag, WhiteboardOpen(kWhiteboardCanvasWidth));
    CCanvas& board = *b.M().canvas2;
    ASSERT_TRUE(WaitUntil([&] {
        return board.Kind() == kCanvasWhiteboardViewer && board.FrameWindow() && IsWindowVisible(board.FrameWindow());
    })) << "the whiteboard did not open";
    EXPECT_FALSE(wintest::SaveScreenshot(board.FrameWindow(), L"CraftedFrames", L"whiteboard_after").empty());

    for (const Crafted& c : table) {
        if (c.logged)
            EXPECT_TRUE(log.Contains(c.logged)) << c.what;
    }
    EXPECT_TRUE(b.InMeeting());
    EXPECT_TRUE(chat.Receiving());

    // Another type on the chat channel ends the chat alone, quietly: what
    // follows on it is read and dropped while the other channels go on.
    Inject("sessB", kChatTag, std::string(1, '\x09') + ChatFrameBytes("sessA", "ALL", "never shown"));
    Inject("sessB", kChatTag, ChatFrameBytes("sessA", "ALL", "nor this"));
    Inject("sessB", kControlTag, Packet(PLP_PARTI_MARK, BuildMarkText(80, 90, "Alice again")));
    ASSERT_TRUE(WaitUntil([&] { return marks.MarkWindow(L"Alice again") != nullptr; }, 4000));
    ASSERT_TRUE(WaitUntil(
        [&] { return log.Contains("Chat: a frame of another type ended the chat; what follows is dropped."); }));
    Sleep(500);
    EXPECT_EQ(History(chat).find(L"never shown"), std::wstring::npos);
    EXPECT_EQ(History(chat).find(L"nor this"), std::wstring::npos);
    EXPECT_TRUE(chat.Receiving());
    EXPECT_TRUE(b.InMeeting());
}

} // namespace
