// The voice's DTLS session against `openssl s_server` in DTLS mode (run by
// tests/support/dtls_fixture.sh): the hello, the acknowledgements and the
// good-bye read back from what the peer received, a record the peer sends,
// and the appliance certificate checked as the tunnel checks it.
#include "extras/DtlsClient_win.h"

#include "core/base/tests/QuietMeetingContext.h"
#include "extras/AudioSpeaker.h"
#include "extras/DtlsSession.h"
#include "extras/VoiceContext.h"
#include "tools/TrustRoot_win.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

std::string Env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? v : "";
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

// What the peer has received so far (with its own remarks between).
std::string PeerOutput()
{
    std::ifstream in("Z:" + Env("CORVISK_DTLS_OUT"), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A line for the peer to send as one record.
void PeerSends(const std::string& line)
{
    std::ofstream("Z:" + Env("CORVISK_DTLS_FEED"), std::ios::app | std::ios::binary) << line << "\n";
}

void TrustRunCa()
{
    std::ifstream in("Z:" + Env("CORVISK_TEST_CA_DER"), std::ios::binary);
    std::vector<char> der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(der.empty());
    ASSERT_EQ(TrustRootCertificate(der.data(), der.size()), 0ul);
}

class Owner : public DtlsOwner {
public:
    void OnDtlsPayload(const uint8_t* data, size_t length) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        records.emplace_back(data, data + length);
    }
    void OnDtlsFailed(Failure why) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        failures.push_back(why);
    }
    void OnDtlsEnded() override { ++ended; }

    std::vector<Bytes> Records()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return records;
    }
    std::vector<Failure> Failures()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return failures;
    }
    std::atomic<int> ended{0};

private:
    std::mutex m_lock;
    std::vector<Bytes> records;
    std::vector<Failure> failures;
};

DtlsSettings Settings(bool listener)
{
    DtlsSettings s;
    s.host = "localhost";
    s.port = static_cast<uint16_t>(std::strtoul(Env("CORVISK_DTLS_PORT").c_str(), nullptr, 10));
    s.listener = listener;
    s.hello = voice::BuildDtlsHello(listener, "S-42", "100001");
    s.accepted = {"localhost", 443, ""};
    return s;
}

bool Trusted()
{
    return Env("CORVISK_DTLS_CERT") == "server";
}

size_t Count(const std::string& s, char c)
{
    return static_cast<size_t>(std::count(s.begin(), s.end(), c));
}

TEST(DtlsClient, ListenerSaysHelloAcknowledgesEachReadAndSaysGoodBye)
{
    if (!Trusted())
        GTEST_SKIP() << "a refused certificate";
    TrustRunCa();
    Owner owner;
    DtlsClient client(owner);
    DtlsSettings s = Settings(true);
    ASSERT_TRUE(client.Start(s));
    std::string hello(s.hello.begin(), s.hello.end());
    ASSERT_TRUE(WaitFor([&] { return PeerOutput().find(hello) != std::string::npos; }, 10000)) << PeerOutput();
    EXPECT_TRUE(owner.Failures().empty());

    PeerSends("voice");
    ASSERT_TRUE(WaitFor([&] { return !owner.Records().empty(); }, 5000));
    EXPECT_EQ(owner.Records()[0], (Bytes{'v', 'o', 'i', 'c', 'e', '\n'}));

    // Idle: one acknowledgement about every second (the 1 s receive time-out).
    std::string after = PeerOutput().substr(PeerOutput().find(hello) + hello.size());
    size_t before = Count(after, '\x7F');
    Sleep(3500);
    after = PeerOutput().substr(PeerOutput().find(hello) + hello.size());
    size_t acks = Count(after, '\x7F') - before;
    EXPECT_GE(acks, 2u);
    EXPECT_LE(acks, 5u);

    EXPECT_TRUE(client.Stop());
    EXPECT_TRUE(WaitFor([&] {
        std::string out = PeerOutput();
        return out.find('\x01', out.find(hello) + hello.size()) != std::string::npos;
    }, 3000));
    EXPECT_EQ(owner.ended.load(), 0) << "a stop asked for is no unexpected end";
}

TEST(DtlsClient, SpeakerRecordsArriveWhole)
{
    if (!Trusted())
        GTEST_SKIP() << "a refused certificate";
    TrustRunCa();
    Owner owner;
    DtlsClient client(owner);
    DtlsSettings s = Settings(false);
    ASSERT_TRUE(client.Start(s));
    ASSERT_TRUE(WaitFor([&] { return client.Connected(); }, 10000));
    std::string hello(s.hello.begin(), s.hello.end());
    EXPECT_EQ(hello[1], 0);
    Bytes piece(1 + 7168, 'A');
    piece[0] = 0x02;
    Bytes last(1 + 1664, 'C');
    last[0] = 0x04;
    EXPECT_TRUE(client.Send(piece.data(), piece.size()));
    EXPECT_TRUE(client.Send(last.data(), last.size()));
    std::string expected = hello + std::string(piece.begin(), piece.end()) + std::string(last.begin(), last.end());
    EXPECT_TRUE(WaitFor([&] { return PeerOutput().find(expected) != std::string::npos; }, 5000));
    EXPECT_TRUE(client.Stop());
    EXPECT_FALSE(client.Send(piece.data(), piece.size()));
}

// Regression: the appliance's certificate was never checked, so anyone on
// the path could take the voice.
TEST(DtlsClient, RefusesACertificateThatDoesNotVerifyForTheHost)
{
    if (Trusted())
        GTEST_SKIP() << "a trusted certificate";
    TrustRunCa();
    Owner owner;
    DtlsClient client(owner);
    ASSERT_TRUE(client.Start(Settings(true)));
    ASSERT_TRUE(WaitFor([&] { return !owner.Failures().empty(); }, 10000));
    EXPECT_EQ(owner.Failures()[0], DtlsOwner::Failure::Certificate);
    EXPECT_TRUE(client.Stop());
    EXPECT_EQ(PeerOutput().find("S-42"), std::string::npos) << "no hello to a refused peer";
}

TEST(DtlsClient, TakesTheCertificateTheUserAcceptedForTheHost)
{
    if (Trusted())
        GTEST_SKIP() << "a trusted certificate";
    Owner owner;
    DtlsClient client(owner);
    DtlsSettings s = Settings(true);
    s.accepted.thumbprint = Env("CORVISK_DTLS_THUMBPRINT");
    ASSERT_EQ(s.accepted.thumbprint.size(), 40u);
    ASSERT_TRUE(client.Start(s));
    std::string hello(s.hello.begin(), s.hello.end());
    EXPECT_TRUE(WaitFor([&] { return PeerOutput().find(hello) != std::string::npos; }, 10000));
    EXPECT_TRUE(owner.Failures().empty());
    EXPECT_TRUE(client.Stop());
}

// A listener's voice over a real session: sound records are assembled and
// a stop record from the DTLS thread closes playback without waiting for
// that same thread.
class ListenerVoice : public VoiceContext {
public:
    bool VoiceActive() override { return active; }
    void SetVoiceActive(bool on) override { active = on; }
    void SetAudioReady(bool) override {}
    int TransportSetting() override { return kAuto; }
    bool ProxyInUse() override { return false; }
    std::string ApplianceHost() override { return "localhost"; }
    AcceptedCertificate AcceptedAppliance() override { return {}; }
    std::string OwnSessionId() override { return "S-7"; }
    std::string HelloMeetingId() override { return "100001"; }
    std::atomic<bool> active{false};
};

// Regression: a stop arriving over DTLS made the DTLS thread wait for
// itself to end.
TEST(DtlsClient, AStopRecordClosesTheListenersPlaybackFromTheSessionThread)
{
    if (!Trusted())
        GTEST_SKIP() << "a refused certificate";
    TrustRunCa();
    QuietMeetingContext meeting;
    ListenerVoice voice;
    AudioSpeaker speaker(&meeting, &voice);
    speaker.dtlsPort = static_cast<uint16_t>(std::strtoul(Env("CORVISK_DTLS_PORT").c_str(), nullptr, 10));
    uint8_t start = 126;
    speaker.OnAudioPayload(&start, 1);
    ASSERT_TRUE(speaker.PlayingNow());
    ASSERT_TRUE(WaitFor([&] { return PeerOutput().find(std::string("\0\1S-7", 5)) != std::string::npos; }, 10000));
    // s_server ends each line with a newline: the record is 01 0A.
    PeerSends("\x01");
    ASSERT_TRUE(WaitFor([&] { return !speaker.PlayingNow(); }, 5000));
    EXPECT_FALSE(voice.active.load());
    // The session said good-bye and ended by itself.
    EXPECT_TRUE(WaitFor([&] { return PeerOutput().find("CONNECTION CLOSED") != std::string::npos; }, 5000))
        << PeerOutput().substr(PeerOutput().size() > 300 ? PeerOutput().size() - 300 : 0);
}

} // namespace
