// The voice between two programs through the local appliance: the meeting's
// owner (host) clicks "Start Voice Conversation" on its lobby's toolbar, the
// guest opens playback on the start message and plays what arrives (ALSA's
// null device on both sides: silence, faster than real time); "Stop Voice
// Conversation" closes the guest's playback. CORVISK_VOICE_TRANSPORT picks
// the setting: 1 (TCP) goes inside the meeting connection; 0 (Auto) first
// tries the appliance's DTLS port and, without a session there, goes on by
// TCP; 2 (UDP) carries the sound over DTLS through the appliance's relay.
// CORVISK_VOICE_DTLS names what the relay does (the fixture starts it when
// CORVISK_FIXTURE_DTLS is set): "plain" relays, "refuse" refuses every
// handshake (Auto then falls back to TCP at once and announces it with 124),
// "lossy" drops a fifth of the datagrams each way once both sessions are up.
//
// Run by tunnel_fixture.sh with CORVISK_FIXTURE_PEER_FILTER (the owner's
// suite in a second prefix), as the lobby's sharing test is.
#include "core/app/tests/LobbyReadback_win.h"
#include "core/app/tests/MeetingScenario_win.h"
#include "core/app/tests/SharePicture_win.h"
#include "extras/AudioSpeaker.h"
#include "meeting/CMeetingLobby.h"
#include "meeting/LobbyResources.h"
#include "meeting/LobbyRules.h"
#include "tests/support/WindowTest_win.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace meetingtest;
using namespace sharetest;
using namespace lobbytest;

int Transport()
{
    return std::atoi(Env("CORVISK_VOICE_TRANSPORT").c_str());
}

std::string Relay()
{
    return Env("CORVISK_VOICE_DTLS");
}

void Shot(HWND frame, const wchar_t* state)
{
    const wchar_t* names[] = {L"voice_auto", L"voice_tcp", L"voice_udp"};
    std::wstring name = names[Transport() % 3];
    const std::string relay = Relay();
    if (!relay.empty() && relay != "plain")
        name += L"_" + std::wstring(relay.begin(), relay.end());
    lobbytest::Shot(frame, name.c_str(), state);
}

// The relay's DTLS faults, through the appliance's control interface.
void SetRelayFaults(const std::string& json)
{
    ASSERT_EQ(logintest::ApplianceControl(AppliancePort(), L"POST", "/__control/dtls", json).status, 200u);
}

std::string RelayState()
{
    return logintest::ApplianceControl(AppliancePort(), L"GET", "/__control/dtls").body;
}

// How many sound records the relay passed to listeners.
long RelayRouted()
{
    const std::string body = RelayState();
    const std::string key = "\"routed\": ";
    const size_t at = body.find(key);
    return at == std::string::npos ? -1 : std::atol(body.c_str() + at + key.size());
}

// The relay holds a session whose hello named this client as a listener.
bool RelayListens(const std::string& session)
{
    const std::string body = RelayState();
    const std::string flag = "\"listener\": ";
    size_t at = body.find("\"session\": \"" + session + "\"");
    at = at == std::string::npos ? at : body.find(flag, at);
    return at != std::string::npos && body.compare(at + flag.size(), 4, "true") == 0;
}

void LaunchWithTransport(CManager& m)
{
    m.audioTransType = Transport();
    LaunchWithSession(m);
}

class VoicePeers : public ::testing::Test {
protected:
    static void SetUpTestSuite() { TrustRunCa(); }
};

TEST_F(VoicePeers, Owner)
{
    Instance a("sessA", L"alice", LaunchWithTransport);
    ASSERT_TRUE(WaitUntil([&] { return a.InMeeting(); })) << "the owner did not enter";
    CMeetingLobby& lobby = *a.M().lobby;
    ASSERT_TRUE(WaitUntil([&] { return IsWindow(lobby.Window()) && lobby.ToolbarWindow(); }));
    SetWindowPos(lobby.Window(), nullptr, kLobbyX, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ASSERT_TRUE(wintest::WaitFor([&] { return a.M().role == 1; }, 20000)) << "no host role";
    SetCursorPos(kPointerX, kPointerY);
    Signal("owner-in");
    const HWND list = lobby.ListWindow();
    const HWND toolbar = lobby.ToolbarWindow();
    ASSERT_TRUE(wintest::WaitFor([&] { return Signalled("guest-in") && Rows(list) == 2; }, 60000));
    ASSERT_TRUE(wintest::WaitFor([&] { return ButtonValue(toolbar, IDC_TB_VOICE) == 1; }, 10000))
        << "the voice button is not offered: " << ButtonValue(toolbar, IDC_TB_VOICE);

    if (Relay() == "refuse")
        SetRelayFaults(R"({"refuse": true})");
    ClickButton(toolbar, IDC_TB_VOICE);
    const ULONGLONG clicked = GetTickCount64();
    AudioSpeaker& voice = *a.M().audioSpeaker;
    ASSERT_TRUE(wintest::WaitFor([&] { return voice.IsSpeaking(); }, 5000));
    EXPECT_EQ(a.M().voiceActive.load(), 1);
    EXPECT_TRUE(wintest::WaitFor([&] { return ButtonValue(toolbar, IDC_TB_VOICE) == 3; }, 10000))
        << "the button does not read Stop Voice Conversation";
    if (Transport() == 0) {
        // Nobody answers on the DTLS port, or the relay refuses: the voice
        // goes on by TCP.
        EXPECT_TRUE(wintest::WaitFor([&] { return voice.Mode() == 125; }, AudioSpeaker::kUdpConnectMs + 5000));
        if (Relay() == "refuse") {
            EXPECT_LT(GetTickCount64() - clicked, AudioSpeaker::kUdpConnectMs) << "a refusal was waited out";
        }
    }
    if (Transport() == 2) {
        EXPECT_TRUE(wintest::WaitFor([&] { return voice.DtlsConnected(); }, AudioSpeaker::kUdpConnectMs + 5000))
            << "no DTLS session to the relay";
        EXPECT_EQ(voice.Mode(), 127);
    }
    Signal("owner-speaking");
    Shot(lobby.Window(), L"owner_speaking");
    if (Relay() == "lossy") {
        ASSERT_TRUE(wintest::WaitFor([] { return Signalled("guest-dtls"); }, 60000));
        SetRelayFaults(R"({"drop_up": 0.2, "drop_down": 0.2})");
        Signal("loss-on");
    }

    EXPECT_TRUE(wintest::WaitFor([] { return Signalled("guest-heard"); }, 60000)) << "the guest heard nothing";
    if (Transport() == 2) {
        // The sound came through the relay.
        EXPECT_GE(RelayRouted(), 3);
        EXPECT_TRUE(voice.IsSpeaking()) << "the session broke under the relay's faults";
        EXPECT_EQ(voice.Mode(), 127);
    }
    SetWindowPos(lobby.Window(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    wintest::PumpFor(300);
    ClickButton(toolbar, IDC_TB_VOICE);
    SetWindowPos(lobby.Window(), HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    EXPECT_TRUE(wintest::WaitFor([&] { return !voice.IsSpeaking(); }, 5000));
    EXPECT_EQ(a.M().voiceActive.load(), 0);
    EXPECT_TRUE(wintest::WaitFor([&] { return ButtonValue(toolbar, IDC_TB_VOICE) == 1; }, 10000));
    Signal("owner-stopped");

    EXPECT_TRUE(wintest::WaitFor([] { return Signalled("guest-done"); }, 60000));
    a.Post(PLM_MEETING_LEFT, PLM_LEAVE_BUTTON);
    ASSERT_TRUE(wintest::WaitFor([&] { return !a.M().InMeeting(); }, 15000));
}

TEST_F(VoicePeers, Guest)
{
    struct Done {
        ~Done()
        {
            Signal("guest-heard");
            Signal("guest-done");
        }
    } done;
    ASSERT_TRUE(WaitUntil([] { return Signalled("owner-in"); }, 60000)) << "the owner did not enter";
    Instance b("sessB", L"bob", LaunchWithTransport);
    ASSERT_TRUE(WaitUntil([&] { return b.InMeeting(); })) << "the guest did not enter";
    CManager& m = b.M();
    CMeetingLobby& lobby = *m.lobby;
    ASSERT_TRUE(WaitUntil([&] { return IsWindow(lobby.Window()) && lobby.ToolbarWindow(); }));
    SetWindowPos(lobby.Window(), nullptr, kLobbyX, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    const HWND list = lobby.ListWindow();
    ASSERT_TRUE(wintest::WaitFor([&] { return Rows(list) == 2; }, 20000));
    AudioSpeaker& voice = *m.audioSpeaker;
    EXPECT_EQ(m.audioReady.load(), 1) << "the receive thread reads the audio channel";
    Signal("guest-in");

    ASSERT_TRUE(wintest::WaitFor([&] { return voice.PlayingNow(); }, 60000)) << "no start message";
    EXPECT_EQ(m.voiceActive.load(), 1);
    if (Transport() == 2) {
        // The listener's own session: the sound comes by UDP alone.
        EXPECT_TRUE(wintest::WaitFor([] { return RelayListens("sessB"); }, AudioSpeaker::kUdpConnectMs + 5000))
            << "no listener session: " << RelayState();
        EXPECT_EQ(voice.Mode(), 127);
        Signal("guest-dtls");
    }
    uint64_t heardFrom = 0;
    if (Relay() == "lossy") {
        ASSERT_TRUE(wintest::WaitFor([] { return Signalled("loss-on"); }, 60000));
        heardFrom = voice.PiecesWritten();
    }
    // Two seconds are held back; from the third on the output plays.
    EXPECT_TRUE(wintest::WaitFor([&] { return voice.PiecesWritten() >= heardFrom + 3; }, 60000))
        << "written " << voice.PiecesWritten();
    EXPECT_TRUE(voice.PlayingNow());
    // Whatever was lost, the output gets whole 16-bit samples.
    EXPECT_EQ(voice.BytesWritten() % 2, 0u) << voice.BytesWritten();
    if (Relay() == "refuse") {
        EXPECT_EQ(voice.Mode(), 125) << "the speaker's 124 did not arrive";
    }
    std::printf("guest: %llu seconds written (%llu bytes), %llu pieces dropped\n",
                static_cast<unsigned long long>(voice.PiecesWritten()),
                static_cast<unsigned long long>(voice.BytesWritten()),
                static_cast<unsigned long long>(voice.DroppedPieces()));
    // The next refresh marks the host's row.
    EXPECT_TRUE(wintest::WaitFor([&] { return ItemData(list, 1) == kMarkVoice; }, 15000));
    Shot(lobby.Window(), L"guest_listening");
    Signal("guest-heard");

    ASSERT_TRUE(wintest::WaitFor([] { return Signalled("owner-stopped"); }, 60000));
    EXPECT_TRUE(wintest::WaitFor([&] { return !voice.PlayingNow(); }, 10000)) << "playback stayed open";
    EXPECT_EQ(m.voiceActive.load(), 0);
    EXPECT_TRUE(wintest::WaitFor([&] { return ItemData(list, 1) != kMarkVoice; }, 15000));

    b.Post(PLM_MEETING_LEFT, PLM_LEAVE_BUTTON);
    ASSERT_TRUE(wintest::WaitFor([&] { return !m.InMeeting(); }, 15000));
    EXPECT_EQ(m.audioReady.load(), 0) << "the receive thread ended with the meeting";
}

} // namespace
