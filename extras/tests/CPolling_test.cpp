// The poll toolbar's button states: a table of seven, one per command
// 2000-2006, shared by both panels; a command outside it must touch nothing.
#include "extras/CPolling.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

void SetAll(int state)
{
    for (int c = kPollButtonFirst; c <= kPollButtonLast; ++c)
        ASSERT_TRUE(CPolling::SetToolbarButtonState(c, state)) << c;
}

int SumOfStates()
{
    int sum = 0;
    for (int c = kPollButtonFirst; c <= kPollButtonLast; ++c)
        sum += CPolling::ToolbarButtonState(c);
    return sum;
}

} // namespace

TEST(PollToolbar, EachButtonKeepsItsOwnState)
{
    SetAll(0);
    struct {
        int command;
        int state;
        int stored;
    } cases[] = {
        {2000, 1, 1},  // first
        {2006, 1, 1},  // last
        {2003, 5, 1},  // any non-zero state is "offered"
        {2003, 0, 0},
        {2000, -1, 1},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(CPolling::SetToolbarButtonState(c.command, c.state)) << c.command;
        EXPECT_EQ(CPolling::ToolbarButtonState(c.command), c.stored) << c.command;
    }
    // Only the two ends are left on.
    EXPECT_EQ(SumOfStates(), 2);
    EXPECT_EQ(CPolling::ToolbarButtonState(2001), 0);
}

// Regression guard: one past either end would write beside the table.
TEST(PollToolbar, CommandsOutsideTheRangeAreRefusedAndChangeNothing)
{
    for (int state : {0, 1}) {
        SetAll(1 - state);
        for (int command : {1999, 2007, 2008, 0, -1, -2000, INT_MIN, INT_MAX}) {
            EXPECT_FALSE(CPolling::SetToolbarButtonState(command, state)) << command;
            EXPECT_EQ(CPolling::ToolbarButtonState(command), 0) << command;
        }
        EXPECT_EQ(SumOfStates(), state == 0 ? 7 : 0);
    }
}
