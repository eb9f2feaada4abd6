#include "extras/RecorderConsoleState.h"

#include <gtest/gtest.h>

namespace {

using S = ConsoleState;
using A = ConsoleAction;

// Each button in each state: the action the window takes and the state after.
TEST(RecorderConsole, ButtonsInEachState)
{
    struct Case {
        S from;
        A (RecorderConsoleState::*press)();
        A action;
        S to;
    } cases[] = {
        {S::Idle, &RecorderConsoleState::OnRecord, A::StartRecording, S::Recording},
        {S::Idle, &RecorderConsoleState::OnPauseResume, A::None, S::Idle},
        {S::Idle, &RecorderConsoleState::OnStop, A::None, S::Idle},
        {S::Recording, &RecorderConsoleState::OnRecord, A::None, S::Recording},
        {S::Recording, &RecorderConsoleState::OnPauseResume, A::PauseRecording, S::Paused},
        {S::Recording, &RecorderConsoleState::OnStop, A::StopRecording, S::Idle},
        {S::Paused, &RecorderConsoleState::OnRecord, A::None, S::Paused},
        {S::Paused, &RecorderConsoleState::OnPauseResume, A::ResumeRecording, S::Recording},
        {S::Paused, &RecorderConsoleState::OnStop, A::StopRecording, S::Idle},  // stop while paused
    };
    for (const Case& c : cases) {
        RecorderConsoleState console;
        if (c.from != S::Idle)
            console.OnRecord();
        if (c.from == S::Paused)
            console.OnPauseResume();
        ASSERT_EQ(console.State(), c.from);
        EXPECT_EQ((console.*c.press)(), c.action) << static_cast<int>(c.from);
        EXPECT_EQ(console.State(), c.to) << static_cast<int>(c.from);
    }
}

// The clock counts recorded seconds only: not while paused, back to zero on
// stop and on a new recording.
TEST(RecorderConsole, ClockCountsRecordedTimeOnly)
{
    RecorderConsoleState console;
    EXPECT_FALSE(console.OnTick()) << "idle";
    console.OnRecord();
    EXPECT_TRUE(console.OnTick());
    EXPECT_TRUE(console.OnTick());
    console.OnPauseResume();
    EXPECT_FALSE(console.OnTick());
    EXPECT_EQ(console.Seconds(), 2u);
    console.OnPauseResume();
    console.OnTick();
    EXPECT_EQ(console.Seconds(), 3u);
    console.OnStop();
    EXPECT_EQ(console.Seconds(), 0u);
    console.OnRecord();
    console.OnTick();
    EXPECT_EQ(console.Seconds(), 1u);
}

// Regression: a recording that failed left the console "recording" with its
// clock running over nothing. Any result but 0 returns it to idle and asks
// for the failure to be shown; a stop on request only returns it to idle.
TEST(RecorderConsole, AbnormalEndReturnsToIdleAndIsReported)
{
    for (int result : {-2, -3, -4}) {
        RecorderConsoleState console;
        console.OnRecord();
        console.OnTick();
        EXPECT_EQ(console.OnThreadEnded(console.Sequence(), result), A::ReportFailure) << result;
        EXPECT_EQ(console.State(), S::Idle);
        EXPECT_EQ(console.Seconds(), 0u);
    }
    RecorderConsoleState paused;
    paused.OnRecord();
    paused.OnPauseResume();
    EXPECT_EQ(paused.OnThreadEnded(paused.Sequence(), -3), A::ReportFailure);
    EXPECT_EQ(paused.State(), S::Idle);

    RecorderConsoleState stopped;
    stopped.OnRecord();
    stopped.OnStop();
    EXPECT_EQ(stopped.OnThreadEnded(stopped.Sequence(), 0), A::None);
    // A failure that came just before the stop is still the user's to know.
    stopped.OnRecord();
    stopped.OnStop();
    EXPECT_EQ(stopped.OnThreadEnded(stopped.Sequence(), -2), A::ReportFailure);
}

// The end of an earlier recording, handled late, leaves the current one alone.
TEST(RecorderConsole, LateEndOfAnEarlierRecordingIsIgnored)
{
    RecorderConsoleState console;
    EXPECT_EQ(console.OnThreadEnded(0, -2), A::None) << "no recording yet";
    console.OnRecord();
    const uint32_t first = console.Sequence();
    console.OnStop();
    console.OnRecord();
    EXPECT_EQ(console.OnThreadEnded(first, -2), A::None);
    EXPECT_EQ(console.State(), S::Recording);
}

TEST(RecorderConsole, ClockText)
{
    struct {
        unsigned seconds;
        const char* text;
    } cases[] = {{0, "00:00:00"}, {59, "00:00:59"}, {61, "00:01:01"}, {3600, "01:00:00"},
                 {86399, "23:59:59"}, {360000, "100:00:00"}};
    for (auto& c : cases)
        EXPECT_EQ(FormatRecordingClock(c.seconds), c.text);
}

} // namespace
