#include "core/base/LogFormat.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <string>

TEST(LogFormat, PrefixPadsMonthDayAndTime)
{
    EXPECT_EQ(FormatLogPrefix({2026, 12, 9, 9, 5}), "12- 9-2026 09:05\t");
    EXPECT_EQ(FormatLogPrefix({2027, 1, 31, 23, 59}), " 1-31-2027 23:59\t");
}

TEST(LogFormat, TagPerLevel)
{
    const struct {
        int level;
        const char* tag;
    } cases[] = {
        {1, "ERROR\t"},      {2, "WARN\t"},      {3, "INFO\t"},      {4, ""},
        {5, "DEBUGERROR\t"}, {6, "DEBUGWARN\t"}, {7, "DEBUGINFO\t"}, {8, "DEBUG\t"},
        {0, ""},             {9, ""},            {-1, ""},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(LogLevelTag(c.level), c.tag) << c.level;
}

TEST(LogFormat, FilterByCategoryThresholdAndForce)
{
    // Start-up configuration: mask 0xFF, threshold 4.
    EXPECT_TRUE(LogLinePasses(DHLOG_CAT_MEETING, 0xFF, DHLOG_INFO, 4, false));
    EXPECT_TRUE(LogLinePasses(DHLOG_CAT_MEETING, 0xFF, DHLOG_PLAIN, 4, false));
    EXPECT_FALSE(LogLinePasses(DHLOG_CAT_SHARING, 0xFF, DHLOG_DEBUG, 4, false));
    EXPECT_TRUE(LogLinePasses(DHLOG_CAT_SHARING, 0xFF, DHLOG_DEBUG, 4, true));
    // A disabled category stays out even when forced.
    EXPECT_FALSE(LogLinePasses(DHLOG_CAT_SHARING, 0xF7, DHLOG_ERROR, 4, true));
    // Before configuration nothing passes.
    EXPECT_FALSE(LogLinePasses(0xFF, 0, DHLOG_ERROR, 0, true));
}

TEST(LogFormat, MessageThatFitsIsKept)
{
    char buf[kLogMessageChars] = {};
    std::memcpy(buf, "hello\n", 6);
    EXPECT_EQ(FinishLogMessage(buf, sizeof buf, 6), 6u);
    EXPECT_STREQ(buf, "hello\n");

    // Exactly capacity - 1 characters still fit.
    std::string full(kLogMessageChars - 1, 'x');
    std::memcpy(buf, full.c_str(), kLogMessageChars);
    EXPECT_EQ(FinishLogMessage(buf, sizeof buf, kLogMessageChars - 1), kLogMessageChars - 1);
    EXPECT_EQ(std::string(buf), full);
}

TEST(LogFormat, CutMessageIsTerminatedAndEndsTheLine)
{
    // The formatter's result for a cut differs by library: a negative count or
    // the full length; either way the buffer may lack its zero.
    for (long long result : {-1LL, 2000LL, static_cast<long long>(kLogMessageChars)}) {
        char buf[kLogMessageChars + 8];
        std::memset(buf, 'y', sizeof buf);
        std::size_t n = FinishLogMessage(buf, kLogMessageChars, result);
        ASSERT_EQ(n, kLogMessageChars - 1) << result;
        EXPECT_EQ(std::strlen(buf), n);
        EXPECT_EQ(buf[n - 1], '\n');
        EXPECT_EQ(buf[n - 2], 'y');
    }
}

TEST(LogFormat, CutDropsASplitSurrogatePair)
{
    wchar_t buf[8];
    std::wmemset(buf, L'a', 8);
    buf[5] = static_cast<wchar_t>(0xD83D);  // high half; its low half was cut away
    std::size_t n = FinishLogMessage(buf, 8, -1);
    EXPECT_EQ(n, sizeof(wchar_t) == 2 ? 6u : 7u);
    EXPECT_EQ(buf[n - 1], L'\n');
    EXPECT_EQ(buf[n], L'\0');
}

TEST(LogFormat, ErrorWithShortOutputIsTerminatedWhereItStops)
{
    char buf[16] = {};
    std::memcpy(buf, "abc", 3);
    EXPECT_EQ(FinishLogMessage(buf, sizeof buf, -1), 4u);
    EXPECT_STREQ(buf, "abc\n");
}
