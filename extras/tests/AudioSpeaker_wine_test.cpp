// The voice as the lobby and the meeting drive it, under Wine with ALSA's
// null device (capture gives zeros faster than real time): the transport
// chosen from the setting and the proxy, the messages a speaker sends, the
// fall-back when no DTLS session comes, what the receive thread does with
// the audio channel, and the messages told to the user. The second run has
// no sound device at all (CORVISK_EXPECT_NO_AUDIO).
#include "extras/AudioSpeaker.h"

#include "core/base/tests/QuietMeetingContext.h"
#include "core/control/ControlPacket.h"
#include "extras/VoiceContext.h"
#include "extras/VoiceResources.h"
#include "tests/support/LoopbackSockets_win.h"
#include "tests/support/ThreadCount_win.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// A type-30 packet with any payload, as a peer may craft it.
Bytes AudioPacket(const Bytes& payload)
{
    Bytes p(kControlPacketHeaderSize);
    ControlPacketHeader{PLP_AUDIO, static_cast<uint16_t>(payload.size())}.Encode(p.data());
    p.insert(p.end(), payload.begin(), payload.end());
    return p;
}

bool ExpectNoDevice()
{
    return std::getenv("CORVISK_EXPECT_NO_AUDIO") != nullptr;
}

bool WaitFor(const std::function<bool()>& done, int ms)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        Sleep(20);
    }
    return true;
}

// The meeting: every voice packet as the bytes that would leave, and the
// audio channel as a loopback pair.
class Meeting : public QuietMeetingContext {
public:
    bool SendAudioMessage(uint8_t piece, const uint8_t* data, size_t length) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        for (const ControlPacket& p : BuildAudioPackets(piece, data, length))
            m_packets.emplace_back(p.begin(), p.end());
        return true;
    }
    std::uintptr_t FeatureChannelEnd(FeatureChannel c) override
    {
        return c == FeatureChannel::Voice ? static_cast<std::uintptr_t>(channel.feature) : ~std::uintptr_t(0);
    }
    std::vector<Bytes> Packets()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_packets;
    }
    // The type bytes of the voice packets sent so far.
    std::vector<int> Types()
    {
        std::vector<int> t;
        for (const Bytes& p : Packets())
            t.push_back(p[4]);
        return t;
    }
    bool Sent(int type)
    {
        for (int t : Types())
            if (t == type)
                return true;
        return false;
    }

    LoopbackSockets channel;

private:
    std::mutex m_lock;
    std::vector<Bytes> m_packets;
};

class Voice : public VoiceContext {
public:
    bool VoiceActive() override { return active; }
    void SetVoiceActive(bool on) override { active = on; }
    void SetAudioReady(bool on) override { audioReady = on; }
    int TransportSetting() override { return setting; }
    bool ProxyInUse() override { return proxy; }
    std::string ApplianceHost() override { return host; }
    AcceptedCertificate AcceptedAppliance() override { return {}; }
    std::string OwnSessionId() override { return "S-1"; }
    std::string HelloMeetingId() override { return "100001"; }

    std::atomic<bool> active{false};
    std::atomic<bool> audioReady{false};
    std::atomic<int> setting{kAuto};
    std::atomic<bool> proxy{false};
    std::string host = "localhost";
};

// A UDP port that takes datagrams and never answers: a DTLS peer that is
// not there. Closed, the port refuses at once instead.
struct SilentUdpPort {
    SOCKET s = INVALID_SOCKET;
    uint16_t port = 0;
    SilentUdpPort()
    {
        s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        int len = sizeof a;
        getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~SilentUdpPort() { closesocket(s); }
};

struct Fixture {
    Meeting meeting;
    Voice voice;
    AudioSpeaker speaker{&meeting, &voice};
    std::mutex lock;
    std::vector<UINT> notices;
    SilentUdpPort silent;

    Fixture()
    {
        speaker.Notices().observer = [this](UINT id) {
            std::lock_guard<std::mutex> l(lock);
            notices.push_back(id);
        };
        speaker.dtlsPort = silent.port;
    }
    ~Fixture() { speaker.Notices().Close(); }
    std::vector<UINT> Notices()
    {
        std::lock_guard<std::mutex> l(lock);
        return notices;
    }
    void Feed(const Bytes& payload)
    {
        Bytes p = AudioPacket(payload);
        ASSERT_EQ(send(meeting.channel.peer, reinterpret_cast<const char*>(p.data()), static_cast<int>(p.size()), 0),
                  static_cast<int>(p.size()));
    }
};

TEST(AudioSpeaker, TransportFollowsTheSettingAndTheProxy)
{
    if (ExpectNoDevice())
        GTEST_SKIP() << "run without a device";
    const struct {
        const char* name;
        int setting;
        bool proxy;
        bool starts;
        int startType;
        uint8_t mode;
    } cases[] = {
        {"Auto", VoiceContext::kAuto, false, true, 0x7E, 127},
        {"Auto behind a proxy", VoiceContext::kAuto, true, true, 0x7C, 125},
        {"TCP", VoiceContext::kTcp, false, true, 0x7C, 125},
        {"TCP behind a proxy", VoiceContext::kTcp, true, true, 0x7C, 125},
        {"UDP", VoiceContext::kUdp, false, true, 0x7E, 127},
        {"UDP behind a proxy", VoiceContext::kUdp, true, false, 0, 127},
    };
    for (const auto& c : cases) {
        Fixture f;
        f.voice.setting = c.setting;
        f.voice.proxy = c.proxy;
        EXPECT_EQ(f.speaker.StartVoice(), c.starts) << c.name;
        EXPECT_EQ(f.speaker.IsSpeaking(), c.starts) << c.name;
        EXPECT_EQ(f.voice.active.load(), c.starts) << c.name;
        if (!c.starts) {
            EXPECT_TRUE(f.meeting.Packets().empty()) << c.name;
            EXPECT_EQ(f.Notices(), std::vector<UINT>{IDS_VOICE_UDP_PROXY}) << c.name;
            continue;
        }
        ASSERT_FALSE(f.meeting.Packets().empty()) << c.name;
        EXPECT_EQ(f.meeting.Packets()[0], (Bytes{0x1E, 0x00, 0x00, 0x01, static_cast<uint8_t>(c.startType)}))
            << c.name;
        EXPECT_EQ(f.speaker.Mode(), c.mode) << c.name;
        // The button again: everything stops, and the others are told.
        EXPECT_TRUE(f.speaker.StartVoice()) << c.name;
        EXPECT_FALSE(f.speaker.IsSpeaking()) << c.name;
        EXPECT_FALSE(f.voice.active.load()) << c.name;
        EXPECT_EQ(f.meeting.Packets().back(), (Bytes{0x1E, 0x00, 0x00, 0x01, 0x01})) << c.name;
        EXPECT_TRUE(f.Notices().empty()) << c.name;
    }
}

TEST(AudioSpeaker, TcpSpeakerSendsEachCapturedSecondAsThreePiecesAndTheMarker)
{
    if (ExpectNoDevice())
        GTEST_SKIP() << "run without a device";
    Fixture f;
    f.voice.setting = VoiceContext::kTcp;
    ASSERT_TRUE(f.speaker.StartVoice());
    ASSERT_TRUE(WaitFor([&] { return f.meeting.Packets().size() >= 9; }, 10000));
    f.speaker.StartVoice();
    std::vector<Bytes> p = f.meeting.Packets();
    EXPECT_EQ(p[0], (Bytes{0x1E, 0x00, 0x00, 0x01, 0x7C}));
    for (size_t second = 0; second < 2; ++second) {
        const Bytes* s = &p[1 + 4 * second];
        EXPECT_EQ(Bytes(s[0].begin(), s[0].begin() + 5), (Bytes{0x1E, 0x00, 0x1C, 0x01, 0x02}));
        EXPECT_EQ(s[0].size(), 5u + 7168u);
        EXPECT_EQ(Bytes(s[1].begin(), s[1].begin() + 5), (Bytes{0x1E, 0x00, 0x1C, 0x01, 0x03}));
        EXPECT_EQ(Bytes(s[2].begin(), s[2].begin() + 5), (Bytes{0x1E, 0x00, 0x06, 0x81, 0x04}));
        EXPECT_EQ(s[2].size(), 5u + 1664u);
        EXPECT_EQ(s[3], (Bytes{0x1E, 0x00, 0x00, 0x01, 0x7D}));
    }
    EXPECT_EQ(p.back(), (Bytes{0x1E, 0x00, 0x00, 0x01, 0x01}));
}

// Regression: a speaker whose DTLS session never came up talked to nobody.
// In Auto it now goes on by TCP and says so with 124.
TEST(AudioSpeaker, AutoSpeakerWithoutADtlsSessionGoesOnByTcp)
{
    if (ExpectNoDevice())
        GTEST_SKIP() << "run without a device";
    Fixture f;
    ASSERT_TRUE(f.speaker.StartVoice());
    EXPECT_EQ(f.speaker.Mode(), 127);
    EXPECT_FALSE(f.meeting.Sent(0x02)) << "no piece goes by TCP while UDP is tried";
    ASSERT_TRUE(WaitFor([&] { return f.meeting.Sent(0x7C); }, AudioSpeaker::kUdpConnectMs + 3000));
    EXPECT_EQ(f.speaker.Mode(), 125);
    ASSERT_TRUE(WaitFor([&] { return f.meeting.Sent(0x7D); }, 5000));
    EXPECT_TRUE(f.meeting.Sent(0x02));
    EXPECT_TRUE(f.speaker.IsSpeaking());
    EXPECT_TRUE(f.Notices().empty());
    f.speaker.StartVoice();
}

// Regression: a DTLS thread that could not make its socket ended the whole
// program. Any failure to reach the appliance now ends only that thread,
// and an Auto speaker goes on by TCP.
TEST(AudioSpeaker, AutoSpeakerWhoseApplianceCannotBeResolvedGoesOnByTcp)
{
    if (ExpectNoDevice())
        GTEST_SKIP() << "run without a device";
    Fixture f;
    f.voice.host = "voice.invalid";
    ASSERT_TRUE(f.speaker.StartVoice());
    ASSERT_TRUE(WaitFor([&] { return f.meeting.Sent(0x7C); }, 10000));
    EXPECT_EQ(f.speaker.Mode(), 125);
    EXPECT_TRUE(f.speaker.IsSpeaking());
    f.speaker.StartVoice();
}

TEST(AudioSpeaker, UdpChosenWithoutADtlsSessionTellsTheUserAndStops)
{
    if (ExpectNoDevice())
        GTEST_SKIP() << "run without a device";
    Fixture f;
    f.voice.setting = VoiceContext::kUdp;
    ASSERT_TRUE(f.speaker.StartVoice());
    // The stop message is the last one: no marker of a late buffer follows it.
    ASSERT_TRUE(WaitFor([&] { return f.meeting.Sent(0x01); }, AudioSpeaker::kUdpConnectMs + 3000));
    Sleep(500);
    EXPECT_EQ(f.meeting.Packets().back(), (Bytes{0x1E, 0x00, 0x00, 0x01, 0x01}));
    EXPECT_FALSE(f.speaker.IsSpeaking());
    EXPECT_EQ(f.Notices(), std::vector<UINT>{IDS_VOICE_UDP_UNAVAILABLE});
    EXPECT_FALSE(f.voice.active.load());
    EXPECT_FALSE(f.meeting.Sent(0x7C));
}

Bytes Piece(uint8_t type, size_t n, uint8_t fill = 0x11)
{
    Bytes b(n + 1, fill);
    b[0] = type;
    return b;
}

TEST(AudioSpeaker, ReceiveThreadPlaysTcpVoiceAndDropsCraftedPayloads)
{
    if (ExpectNoDevice())
        GTEST_SKIP() << "run without a device";
    Fixture f;
    f.speaker.StartReceive();
    ASSERT_TRUE(WaitFor([&] { return f.voice.audioReady.load(); }, 3000));
    // Crafted payloads first: none opens anything or breaks the stream.
    f.Feed(Piece(2, 65534));  // f3: a 65535-byte payload
    f.Feed(Piece(3, 100));    // a continuation first
    f.Feed({123});
    f.Feed({1});
    f.Feed({124});
    ASSERT_TRUE(WaitFor([&] { return f.speaker.PlayingNow(); }, 3000));
    EXPECT_TRUE(f.voice.active.load());
    EXPECT_EQ(f.speaker.Mode(), 125);
    for (int second = 0; second < 3; ++second) {
        f.Feed(Piece(2, 7168));
        f.Feed(Piece(3, 7168));
        f.Feed(Piece(4, 1664));
        f.Feed({125});
    }
    // Two seconds buffered, then both go out when the third is complete.
    ASSERT_TRUE(WaitFor([&] { return f.speaker.PiecesWritten() == 2; }, 3000));
    EXPECT_GE(f.speaker.DroppedPieces(), 2u);
    f.Feed({1});
    ASSERT_TRUE(WaitFor([&] { return !f.speaker.PlayingNow(); }, 3000));
    EXPECT_FALSE(f.voice.active.load());
    f.speaker.StopReceive();
    EXPECT_FALSE(f.voice.audioReady.load());
    EXPECT_TRUE(f.Notices().empty());
}

// Regression: nobody read the audio channel while nothing played, so a
// talking peer held up the relay and every channel behind it.
TEST(AudioSpeaker, ClosedPlaybackStillReadsTheAudioChannel)
{
    Fixture f;
    f.speaker.StartReceive();
    u_long nonBlocking = 1;
    ioctlsocket(f.meeting.channel.peer, FIONBIO, &nonBlocking);
    Bytes p = AudioPacket(Piece(2, 7168));
    size_t sent = 0;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (sent < (16u << 20) && std::chrono::steady_clock::now() < end) {
        int n = send(f.meeting.channel.peer, reinterpret_cast<const char*>(p.data()), static_cast<int>(p.size()), 0);
        if (n > 0)
            sent += static_cast<size_t>(n);
        else
            Sleep(1);
    }
    EXPECT_GE(sent, 16u << 20);
    EXPECT_FALSE(f.speaker.PlayingNow());
    f.speaker.StopReceive();
}

// Regression: a listener that started to speak ran a second session on the
// same DTLS object; now listening ends before speaking begins.
TEST(AudioSpeaker, AListenerThatStartsToSpeakStopsListeningFirst)
{
    if (ExpectNoDevice())
        GTEST_SKIP() << "run without a device";
    Fixture f;
    f.voice.setting = VoiceContext::kTcp;
    f.speaker.OnAudioPayload(Bytes{124}.data(), 1);
    ASSERT_TRUE(f.speaker.PlayingNow());
    ASSERT_TRUE(f.speaker.StartVoice());
    EXPECT_FALSE(f.speaker.PlayingNow());
    EXPECT_TRUE(f.speaker.IsSpeaking());
    EXPECT_TRUE(f.voice.active.load());
    // Another's start while speaking opens nothing and leaves the own mode;
    // another's stop leaves this client speaking.
    f.speaker.OnAudioPayload(Bytes{126}.data(), 1);
    EXPECT_FALSE(f.speaker.PlayingNow());
    EXPECT_EQ(f.speaker.Mode(), 125);
    f.speaker.OnAudioPayload(Bytes{1}.data(), 1);
    EXPECT_TRUE(f.speaker.IsSpeaking());
    EXPECT_TRUE(f.voice.active.load());
    f.speaker.StartVoice();
}

// Twenty rounds of speaking and listening, by TCP and with a DTLS session
// that is refused at once, then the meeting's end while both run: every
// capture, error-watch, receive and DTLS thread is joined, no socket or
// handle stays.
TEST(AudioSpeaker, StartAndStopCyclesAndTheMeetingsEndLeaveNothingBehind)
{
    if (ExpectNoDevice())
        GTEST_SKIP() << "run without a device";
    size_t threads = 0;
    DWORD handles = 0;
    {
        Fixture f;
        f.speaker.dtlsPort = 9;  // closed: refused at once
        f.speaker.StartReceive();
        ASSERT_TRUE(WaitFor([&] { return f.voice.audioReady.load(); }, 3000));
        // One round first: the drivers load their own threads once.
        ASSERT_TRUE(f.speaker.StartVoice());
        f.speaker.StartVoice();
        Sleep(300);
        threads = ThreadsOfThisProcess();
        GetProcessHandleCount(GetCurrentProcess(), &handles);
        for (int i = 0; i < 20; ++i) {
            f.voice.setting = i % 2 ? VoiceContext::kTcp : VoiceContext::kAuto;
            ASSERT_TRUE(f.speaker.StartVoice()) << i;
            Sleep(i % 5 == 0 ? 300 : 0);
            EXPECT_TRUE(f.speaker.StartVoice()) << i;
            EXPECT_FALSE(f.speaker.IsSpeaking()) << i;
            // A listener's round: open on another's start, close on its stop.
            f.Feed({124});
            f.Feed({1});
        }
        ASSERT_TRUE(WaitFor([&] { return !f.speaker.PlayingNow(); }, 3000));
        Sleep(500);
        EXPECT_LE(ThreadsOfThisProcess(), threads);
        DWORD now = 0;
        GetProcessHandleCount(GetCurrentProcess(), &now);
        EXPECT_LE(now, handles + 2);
        // The meeting ends while this client speaks and listens.
        f.voice.setting = VoiceContext::kTcp;
        ASSERT_TRUE(f.speaker.StartVoice());
        f.Feed({124});
        auto t0 = std::chrono::steady_clock::now();
        f.speaker.StopReceive();
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(3));
        EXPECT_FALSE(f.speaker.IsSpeaking());
        EXPECT_FALSE(f.voice.audioReady.load());
    }
    Sleep(300);
    EXPECT_LE(ThreadsOfThisProcess(), threads);
}

TEST(AudioSpeaker, WithoutADeviceStartingVoiceTellsTheUser)
{
    if (!ExpectNoDevice())
        GTEST_SKIP() << "run with a device";
    Fixture f;
    EXPECT_FALSE(f.speaker.StartVoice());
    EXPECT_FALSE(f.speaker.IsSpeaking());
    EXPECT_FALSE(f.voice.active.load());
    EXPECT_TRUE(f.meeting.Packets().empty());
    // A start from another speaker cannot open the output either.
    f.speaker.OnAudioPayload(Bytes{124}.data(), 1);
    EXPECT_FALSE(f.speaker.PlayingNow());
    EXPECT_EQ(f.Notices(), (std::vector<UINT>{IDS_VOICE_DEVICE_PROBLEM, IDS_VOICE_DEVICE_PROBLEM}));
}

// The box itself, as the user sees it: its text and title from the string
// table, closed by the notices' own end.
TEST(VoiceNotices, ShowsTheTextInAWarningBox)
{
    VoiceNotices notices;
    notices.Show(IDS_VOICE_DEVICE_PROBLEM);
    HWND box = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (box = FindWindowW(nullptr, L"Warn")) != nullptr; }, 5000));
    wchar_t text[256] = {};
    HWND label = FindWindowExW(box, nullptr, L"Static", nullptr);
    while (label && GetWindowTextW(label, text, 256) == 0)
        label = FindWindowExW(box, label, L"Static", nullptr);
    EXPECT_STREQ(text, L"Audio devices have problems, please check your audio devices.");
    notices.Close();
    EXPECT_TRUE(WaitFor([] { return FindWindowW(nullptr, L"Warn") == nullptr; }, 3000));
}

} // namespace
