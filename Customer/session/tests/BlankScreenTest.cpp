// The blank screen's state: one window however "on" and "off" arrive, and
// the user's screen-saver time-out kept across repeated "on".
#include "Customer/session/BlankScreen.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class RecordingPlatform : public BlankScreenPlatform {
public:
    int windows = 0;  // running now
    int starts = 0;
    int timeout = 600;
    bool inputBlocked = false;
    std::string power;
    bool StartWindow() override
    {
        ++starts;
        ++windows;
        return true;
    }
    void EndWindow() override { --windows; }
    bool ScreenSaverTimeout(int& s) override
    {
        s = timeout;
        return true;
    }
    void SetScreenSaverTimeout(int s) override { timeout = s; }
    void MonitorPower(bool on) override { power += on ? "+" : "-"; }
    void BlockLocalInput(bool block) override { inputBlocked = block; }
};

// Regression: each "on" started a window and "off" closed only the one it
// found, so "on" twice, or "off" before the window was up, left a blank
// screen nobody could remove.
TEST(BlankScreen, OneWindowHoweverOnAndOffArrive)
{
    struct Case {
        const char* steps;  // 1 on, 0 off
        int running;
        int starts;
    } cases[] = {{"1", 1, 1}, {"11", 1, 1}, {"10", 0, 1}, {"110", 0, 1}, {"0", 0, 0}, {"1010", 0, 2}, {"101", 1, 2}};
    for (const Case& c : cases) {
        RecordingPlatform p;
        {
            BlankScreen blank(p, true);
            for (const char* s = c.steps; *s; ++s)
                blank.Set(*s == '1');
            EXPECT_EQ(p.windows, c.running) << c.steps;
            EXPECT_EQ(blank.WindowRunning(), c.running == 1) << c.steps;
            EXPECT_EQ(p.starts, c.starts) << c.steps;
            EXPECT_EQ(p.inputBlocked, c.running == 1) << c.steps;
        }
        // The end of the session removes it.
        EXPECT_EQ(p.windows, 0) << c.steps;
        EXPECT_FALSE(p.inputBlocked) << c.steps;
    }
}

// Regression: a second "on" saved the blank time-out (100 s) as the user's,
// and "off" then restored 100 s.
TEST(BlankScreen, WithoutWindowTheUsersTimeoutComesBack)
{
    RecordingPlatform p;
    BlankScreen blank(p, false);
    blank.Set(true);
    EXPECT_EQ(p.timeout, BlankScreen::kBlankTimeoutSeconds);
    EXPECT_TRUE(blank.MonitorHeldOff());
    blank.Set(true);
    blank.Set(false);
    EXPECT_EQ(p.timeout, 600);
    EXPECT_FALSE(blank.MonitorHeldOff());
    EXPECT_EQ(p.power, "--+");
    blank.Set(false);
    EXPECT_EQ(p.power, "--+");
    EXPECT_EQ(p.windows, 0);
}

} // namespace
