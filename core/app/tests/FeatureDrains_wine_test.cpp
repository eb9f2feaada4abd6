// The chat, file-share and voice features read their meeting channels
// through their public start calls: a peer writing far more than
// every buffer holds is never held up, and each stops within its limit.
#include "core/base/ChannelDrain.h"
#include "core/base/tests/QuietMeetingContext.h"
#include "core/tunnel/SocketHandle_win.h"
#include "extras/AudioSpeaker.h"
#include "extras/FileShare.h"
#include "meeting/CChat.h"
#include "tests/support/LoopbackSockets_win.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <vector>

namespace {

// The meeting as a feature sees it: each channel's end is one loopback pair.
class Channels : public QuietMeetingContext {
public:
    std::uintptr_t FeatureChannelEnd(FeatureChannel c) override
    {
        return static_cast<std::uintptr_t>(pairs[static_cast<int>(c)].feature);
    }

    LoopbackSockets pairs[3];
};

// The chat's view of the meeting: its channel alone.
class ChatOn : public ChatContext {
public:
    explicit ChatOn(MeetingContext* meeting) : m_meeting(meeting) {}
    HINSTANCE Instance() const override { return GetModuleHandleW(nullptr); }
    DWORD MainThreadId() const override { return GetCurrentThreadId(); }
    std::string OwnSessionId() const override { return "me"; }
    std::vector<ChatPeer> Peers() override { return {}; }
    bool SendPacket(const std::vector<uint8_t>&) override { return false; }
    std::uintptr_t ChatChannel() override { return m_meeting->FeatureChannelEnd(MeetingContext::FeatureChannel::Chat); }
    bool HostSharing() const override { return false; }
    std::wstring EventPrefix() const override { return L""; }
    void AskRefresh() override {}

private:
    MeetingContext* m_meeting;
};

// File sharing's view of the same meeting: its channel, and nothing to send.
class ChannelOnly : public FileShareContext {
public:
    explicit ChannelOnly(MeetingContext* m) : m_meeting(m) {}
    HINSTANCE Instance() override { return GetModuleHandleW(nullptr); }
    bool SendFileShare(const uint8_t*, size_t) override { return false; }
    std::string OwnSession() override { return "SESSION1"; }
    std::uintptr_t Channel() override { return m_meeting->FeatureChannelEnd(MeetingContext::FeatureChannel::FileShare); }
    std::vector<FileShareMember> Members() override { return {}; }
    void Balloon(const wchar_t*, const wchar_t*) override {}
    void SetHostTransfers(bool) override {}

private:
    MeetingContext* m_meeting;
};

// Starts a feature on the meeting's channel; the returned call stops and
// deletes it, as the meeting's end does.
using StartFeature = std::function<std::function<void()>(MeetingContext*)>;

struct Case {
    const char* name;
    MeetingContext::FeatureChannel channel;
    StartFeature start;
};

const Case kCases[] = {
    {"chat", MeetingContext::FeatureChannel::Chat,
     [](MeetingContext* m) -> std::function<void()> {
         auto* chat = new CChat(nullptr, std::make_shared<ChatOn>(m));
         chat->StartReceive();
         return [chat] { delete chat; };
     }},
    {"file share", MeetingContext::FeatureChannel::FileShare,
     [](MeetingContext* m) -> std::function<void()> {
         auto* files = new FileShare(std::make_unique<ChannelOnly>(m));
         files->StartRecvThread();
         return [files] {
             files->Close();
             delete files;
         };
     }},
    {"voice", MeetingContext::FeatureChannel::Voice,
     [](MeetingContext* m) -> std::function<void()> {
         auto* voice = new AudioSpeaker(m);
         voice->StartReceive();
         return [voice] {
             voice->StopReceive();
             delete voice;
         };
     }},
};

// Regression: the three stubs started no reader on their channels, so a peer
// talking, chatting or sending files filled a socket nobody read, and the
// relay's queue for it behind that.
TEST(FeatureStubs, EachReadsItsChannelSoAPeerIsNeverHeldUp)
{
    for (const Case& c : kCases) {
        Channels meeting;
        SOCKET peer = meeting.pairs[static_cast<int>(c.channel)].peer;
        ASSERT_NE(meeting.pairs[static_cast<int>(c.channel)].feature, INVALID_SOCKET) << c.name;
        std::function<void()> stop = c.start(&meeting);

        // 16 MB, each megabyte given 5 s: it goes only as fast as the far end reads.
        u_long nonBlocking = 1;
        ioctlsocket(peer, FIONBIO, &nonBlocking);
        std::vector<char> chunk(1 << 20, 'p');
        int sent = 0;
        while (sent < 16 && SendAllWithin(peer, chunk.data(), chunk.size(), 5000))
            ++sent;
        EXPECT_EQ(sent, 16) << c.name << ": the peer was held up";

        auto t0 = std::chrono::steady_clock::now();
        stop();
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(ChannelDrain::kJoinMs + 500))
            << c.name;
    }
}

} // namespace
