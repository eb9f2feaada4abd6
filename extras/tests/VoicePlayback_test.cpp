// The listener's state machine against a recording output: what opens and
// closes it, how the pieces of a second are put together, the two seconds
// held back at the start, and what is dropped.
#include "extras/VoicePlayback.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct Host : voice::PlaybackHost {
    bool outputWorks = true;
    bool open = false;
    bool busy[2] = {false, false};
    bool voiceActive = false;
    bool speaking = false;
    bool proxy = false;
    int proxyWarnings = 0;
    int deviceProblems = 0;
    int listenerSessions = 0;
    int stops = 0;
    int opens = 0;
    std::vector<std::pair<int, Bytes>> written;

    bool OpenOutput() override
    {
        ++opens;
        open = outputWorks;
        return outputWorks;
    }
    void CloseOutput() override
    {
        open = false;
        busy[0] = busy[1] = false;
    }
    int FreeOutputBuffer() override
    {
        for (int i = 0; i < 2; ++i)
            if (!busy[i])
                return i;
        return -1;
    }
    bool WriteOutput(int index, const uint8_t* d, size_t n) override
    {
        busy[index] = true;
        written.emplace_back(index, Bytes(d, d + n));
        return true;
    }
    bool VoiceActive() override { return voiceActive; }
    void SetVoiceActive(bool on) override { voiceActive = on; }
    bool Speaking() override { return speaking; }
    bool ProxyInUse() override { return proxy; }
    void ShowProxyWarning() override { ++proxyWarnings; }
    void ShowDeviceProblem() override { ++deviceProblems; }
    void StartListenerSession() override { ++listenerSessions; }
    void OnSpeakerStopped() override { ++stops; }
};

void Feed(voice::VoicePlayback& p, Bytes m)
{
    p.OnPayload(m.data(), m.size());
}

// One second of sound whose samples all hold tag, in the three pieces a
// speaker sends.
void FeedSecond(voice::VoicePlayback& p, uint8_t tag)
{
    const size_t sizes[] = {7168, 7168, 1664};
    uint8_t type = 2;
    for (size_t n : sizes) {
        Bytes m(n + 1, tag);
        m[0] = type++;
        Feed(p, m);
    }
}

Bytes Filled(size_t n, uint8_t tag)
{
    return Bytes(n, tag);
}

TEST(VoicePlayback, StartAndModeMessagesOpenTheOutput)
{
    const struct {
        const char* name;
        uint8_t type;
        bool alreadyPlaying;
        bool opens;
        uint8_t mode;
        int sessions;
    } cases[] = {
        {"TCP start", 124, false, true, 125, 0},
        {"UDP start starts a listener session", 126, false, true, 127, 1},
        {"TCP marker while closed", 125, false, true, 125, 0},
        {"UDP marker while closed", 127, false, true, 127, 1},
        {"marker while playing changes nothing", 125, true, false, 127, 1},
        {"123 means nothing", 123, false, false, 127, 0},
        {"unknown type", 200, false, false, 127, 0},
    };
    for (const auto& c : cases) {
        Host host;
        voice::VoicePlayback p(host);
        if (c.alreadyPlaying)
            Feed(p, {126});
        int opensBefore = host.opens;
        Feed(p, {c.type});
        EXPECT_EQ(host.opens - opensBefore, c.opens ? 1 : 0) << c.name;
        EXPECT_EQ(p.Mode(), c.mode) << c.name;
        EXPECT_EQ(host.listenerSessions, c.sessions) << c.name;
        EXPECT_EQ(p.Playing(), c.opens || c.alreadyPlaying) << c.name;
        EXPECT_EQ(host.voiceActive, c.opens || c.alreadyPlaying) << c.name;
    }
}

TEST(VoicePlayback, NothingOpensWhileThisClientSpeaksOrIsActive)
{
    Host host;
    host.voiceActive = true;
    host.speaking = true;
    voice::VoicePlayback p(host);
    p.SetMode(125);
    Feed(p, {126});
    EXPECT_EQ(host.opens, 0);
    EXPECT_FALSE(p.Playing());
    EXPECT_EQ(p.Mode(), 125) << "a speaker's own mode stays";
}

TEST(VoicePlayback, AnOutputThatCannotOpenIsToldToTheUser)
{
    Host host;
    host.outputWorks = false;
    voice::VoicePlayback p(host);
    Feed(p, {124});
    EXPECT_EQ(host.deviceProblems, 1);
    EXPECT_FALSE(p.Playing());
    EXPECT_FALSE(host.voiceActive);
}

TEST(VoicePlayback, UdpListenerBehindAProxyIsWarnedOnceAndAgainForEachStart)
{
    Host host;
    host.proxy = true;
    voice::VoicePlayback p(host);
    Feed(p, {127});
    Feed(p, {127});
    EXPECT_EQ(host.proxyWarnings, 1);
    Feed(p, {126});
    Feed(p, {126});
    EXPECT_EQ(host.proxyWarnings, 3);
    EXPECT_EQ(host.opens, 0);
    // The speaker's stop clears the flag: the next marker warns again.
    Feed(p, {1});
    Feed(p, {127});
    EXPECT_EQ(host.proxyWarnings, 4);
    // TCP goes through the proxy: it plays.
    Feed(p, {124});
    EXPECT_TRUE(p.Playing());
}

TEST(VoicePlayback, StopMessageAsksTheOwnerToCloseEvenWhenNothingPlays)
{
    Host host;
    voice::VoicePlayback p(host);
    Feed(p, {1});
    EXPECT_EQ(host.stops, 1);
    p.Close();
    EXPECT_FALSE(p.Playing());
}

TEST(VoicePlayback, FirstTwoSecondsAreBufferedThenPlaybackRunsOneSecondBehind)
{
    Host host;
    voice::VoicePlayback p(host);
    Feed(p, {124});
    FeedSecond(p, 1);
    FeedSecond(p, 2);
    EXPECT_TRUE(host.written.empty());
    FeedSecond(p, 3);
    ASSERT_EQ(host.written.size(), 2u);
    EXPECT_EQ(host.written[0], std::make_pair(0, Filled(16000, 1)));
    EXPECT_EQ(host.written[1], std::make_pair(1, Filled(16000, 2)));
    // Buffer 0 has played: the third second goes there once the fourth is in.
    host.busy[0] = false;
    FeedSecond(p, 4);
    ASSERT_EQ(host.written.size(), 3u);
    EXPECT_EQ(host.written[2], std::make_pair(0, Filled(16000, 3)));
}

// Regression: a completed second was written into the buffer that was still
// playing; it now waits until a buffer is done, and the wait is bounded.
TEST(VoicePlayback, SecondsWaitForAFinishedBufferAndTheReserveIsBounded)
{
    Host host;
    voice::VoicePlayback p(host);
    Feed(p, {124});
    for (uint8_t s = 1; s <= 3; ++s)
        FeedSecond(p, s);
    ASSERT_EQ(host.written.size(), 2u);
    for (uint8_t s = 4; s <= 8; ++s)
        FeedSecond(p, s);
    EXPECT_EQ(host.written.size(), 2u) << "nothing written over a playing buffer";
    EXPECT_EQ(p.DroppedSeconds(), 3u);
    host.busy[1] = false;
    FeedSecond(p, 9);
    ASSERT_EQ(host.written.size(), 3u);
    EXPECT_EQ(host.written[2], std::make_pair(1, Filled(16000, 6)));
}

TEST(VoicePlayback, BrokenPiecesAreDroppedAndNeverCopied)
{
    const struct {
        const char* name;
        std::vector<Bytes> messages;
        size_t dropped;
    } cases[] = {
        {"continuation first", {Bytes(7169, 3)}, 1},
        {"continuation out of step", {[] { Bytes b(7169, 9); b[0] = 2; return b; }(), Bytes(7169, 4)}, 1},
        // f3: a TCP payload can carry 65535 bytes; the assembly holds 16000.
        {"longer than a piece", {[] { Bytes b(65535, 7); b[0] = 2; return b; }()}, 1},
        {"one byte too long", {[] { Bytes b(7170, 7); b[0] = 2; return b; }()}, 1},
        {"empty message", {Bytes{}}, 0},
    };
    for (const auto& c : cases) {
        Host host;
        voice::VoicePlayback p(host);
        Feed(p, {124});
        for (const Bytes& m : c.messages)
            Feed(p, m);
        EXPECT_EQ(p.DroppedPieces(), c.dropped) << c.name;
    }
}

TEST(VoicePlayback, PiecesWhilePlaybackIsClosedAreDropped)
{
    Host host;
    voice::VoicePlayback p(host);
    FeedSecond(p, 1);
    EXPECT_EQ(p.DroppedPieces(), 3u);
}

// A lost piece leaves a partial second: the next first piece, or a piece
// that does not fit, completes it as it stands (whole samples only), so the
// seconds after keep their order.
TEST(VoicePlayback, APartialSecondIsFlushedWhenTheNextStarts)
{
    Host host;
    voice::VoicePlayback p(host);
    Feed(p, {124});
    Bytes first(7168 + 1, 5);
    first[0] = 2;
    Feed(p, first);      // pieces 3 and 4 are lost
    Bytes odd(1 + 1001, 6);
    odd[0] = 3;
    Feed(p, odd);        // an odd length from a crafted peer
    FeedSecond(p, 7);    // its type 2 completes the partial second
    FeedSecond(p, 8);
    ASSERT_EQ(host.written.size(), 2u);
    Bytes expected(7168, 5);
    expected.insert(expected.end(), 1000, 6);
    EXPECT_EQ(host.written[0].second, expected);
    EXPECT_EQ(host.written[1].second, Filled(16000, 7));
}

TEST(VoicePlayback, ClosingForgetsHeldSecondsAndStartsBufferingAgain)
{
    Host host;
    voice::VoicePlayback p(host);
    Feed(p, {124});
    FeedSecond(p, 1);
    FeedSecond(p, 2);
    p.Close();
    EXPECT_FALSE(host.open);
    host.voiceActive = false;
    Feed(p, {124});
    FeedSecond(p, 3);
    FeedSecond(p, 4);
    EXPECT_TRUE(host.written.empty());
    FeedSecond(p, 5);
    ASSERT_EQ(host.written.size(), 2u);
    EXPECT_EQ(host.written[0].second, Filled(16000, 3));
}

} // namespace
