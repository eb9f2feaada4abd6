#include "core/base/LogLine.h"

#include "core/base/LogFormat.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

LogTableReader Read(const std::string& log, int filter, const std::wstring& user = L"", size_t step = 0)
{
    LogTableReader reader(filter, user);
    for (size_t at = 0; at < log.size(); at += step ? step : log.size())
        reader.Feed(log.data() + at, std::min(step ? step : log.size(), log.size() - at));
    reader.Finish();
    return reader;
}

std::vector<std::wstring> Infos(const LogTableReader& reader)
{
    std::vector<std::wstring> infos;
    for (size_t i = 0; i < reader.RowCount(); ++i)
        infos.push_back(reader.Text(i, LogTableReader::INFO));
    return infos;
}

// A log as the logger writes it: plain lines, meeting events with role and
// user, a tag the viewer does not know, a DEBUG line and a line of one TAB.
const std::string kLog =
    "12- 9-2026 09:05\tINFO\tstarted\r\n"
    "12- 9-2026 09:05\tWARN\tHost\tAlice\tjoined late\r\n"
    "12- 9-2026 09:06\tERROR\ttunnel closed\n"
    "12- 9-2026 09:06\tNOTICE\tcarries on from the error\n"
    "12- 9-2026 09:06\tTRACE\tParticipant\tBob\tasked for control\n"
    "12- 9-2026 09:07\tDEBUG\tHost\tAlice\tframe 12\n"
    "12- 9-2026 09:07\tDEBUGWARN\tslow frame\n"
    "12- 9-2026 09:07\tonly one tab\n"
    "12- 9-2026 09:08\tINFO\tParticipant\tBob\t[Chat Log] Bob: hi";

} // namespace

TEST(LogTable, LinesWholeAtEveryFeedSize)
{
    const std::string log = "t\tINFO\ta\r\nt\tINFO\tb\n\nt\tINFO\tc\r\r\nt\tINFO\tlast without end";
    for (size_t step = 1; step <= log.size(); ++step)
        EXPECT_EQ(Infos(Read(log, LOGVIEW_ALL, L"", step)),
                  (std::vector<std::wstring>{L"a", L"b", L"c\r", L"last without end"}))
            << step;
    EXPECT_EQ(Read("", LOGVIEW_ALL).RowCount(), 0u);
    EXPECT_EQ(Infos(Read("t\tINFO\tx\n", LOGVIEW_ALL, L"", 1)), std::vector<std::wstring>{L"x"});
}

TEST(LogTable, LongLineStaysOneRowAndIsCut)
{
    // A line longer than the reader keeps (the old 4096-byte pieces made
    // such a line two rows): one row, cut, and the next line intact, also
    // when a CR falls just past the cut.
    std::string longLine = "t\tINFO\tR\tU\t" + std::string(3 * kLogLineKeepBytes, 'x');
    longLine[kLogLineKeepBytes] = '\r';
    auto reader = Read(longLine + "\r\nt\tWARN\tnext\n", LOGVIEW_ALL, L"", 4096);
    ASSERT_EQ(reader.RowCount(), 2u);
    EXPECT_EQ(reader.Row(0).info, std::wstring(kLogInfoChars, L'x'));
    EXPECT_EQ(reader.Text(0, LogTableReader::USER), L"U");
    EXPECT_EQ(reader.Row(1).info, L"next");
    EXPECT_EQ(reader.Level(1), 2);
}

TEST(LogLine, TagsAreMatchedWhole)
{
    const struct {
        const wchar_t* tag;
        int level;
    } cases[] = {
        {L"ERROR", 1}, {L"WARN", 2}, {L"INFO", 3}, {L"TRACE", 3}, {L"DEBUGERROR", 5}, {L"DEBUGWARN", 6},
        {L"DEBUGINFO", 7}, {L"DEBUG", 8},
        // Prefixes and extensions of known tags are not tags.
        {L"ERR", 0}, {L"ERRORS", 0}, {L"DEBUGINF", 0}, {L"INFO ", 0}, {L"info", 0}, {L"", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LogTagLevel(c.tag), c.level) << c.tag;
    // Every tag the logger writes reads back as its level.
    for (int level = 1; level <= 8; ++level) {
        std::string tag = LogLevelTag(level);
        if (tag.empty())
            continue;
        tag.pop_back();
        EXPECT_EQ(LogTagLevel(std::wstring(tag.begin(), tag.end())), level);
    }
}

TEST(LogLine, FieldsAsTheLoggerWritesThem)
{
    const struct {
        const char* line;
        bool parsed;
        int level;
        const wchar_t *role, *user, *info;
    } cases[] = {
        {"t\tINFO\tplain message", true, 3, L"", L"", L"plain message"},
        // Meeting events: role third, user fourth.
        {"t\tWARN\tHost\tAlice\tjoined", true, 2, L"Host", L"Alice", L"joined"},
        {"t\tWARN\tHost\tAlice\twith\ttabs", true, 2, L"Host", L"Alice", L"with\ttabs"},
        // A role field with no TAB after the next: the rest is the message.
        {"t\tINFO\tHost\tno user", true, 3, L"Host", L"", L"no user"},
        {"t\tINFO\t", true, 3, L"", L"", L""},
        {"t\tNOTICE\tx", true, 7, L"", L"", L"x"},  // unknown tag: the level before (7 here)
        {"t\tonly one tab", false, 0, L"", L"", L""},
        {"no tabs at all", false, 0, L"", L"", L""},
        {"", false, 0, L"", L"", L""},
        // Invalid UTF-8 becomes the replacement character, never a fault.
        {"t\tINFO\tbad \xff\xfe end", true, 3, L"", L"", L"bad \xfffd\xfffd end"},
    };
    for (const auto& c : cases) {
        LogRow row;
        ASSERT_EQ(ParseLogLine(c.line, 7, row), c.parsed) << c.line;
        if (!c.parsed)
            continue;
        EXPECT_EQ(row.level, c.level) << c.line;
        EXPECT_EQ(row.role, c.role) << c.line;
        EXPECT_EQ(row.user, c.user) << c.line;
        EXPECT_EQ(row.info, c.info) << c.line;
    }
}

TEST(LogLine, FieldsAreCutAtTheirLimits)
{
    std::string line = std::string(200, 'T') + "\t" + std::string(40, 'G') + "\t" + std::string(50, 'R') + "\t" +
                       std::string(300, 'U') + "\t" + std::string(5000, 'I');
    LogRow row;
    ASSERT_TRUE(ParseLogLine(line, 3, row));
    EXPECT_EQ(row.time.size(), kLogTimeChars);
    EXPECT_EQ(row.tag.size(), kLogTagChars);
    EXPECT_EQ(row.role.size(), kLogRoleChars);
    EXPECT_EQ(row.user.size(), kLogUserChars);
    EXPECT_EQ(row.info.size(), kLogInfoChars);
    EXPECT_EQ(row.level, 3);
}

TEST(LogTable, LevelFilters)
{
    const struct {
        int filter;
        std::vector<std::wstring> infos;
    } cases[] = {
        {LOGVIEW_WARN, {L"joined late"}},
        // TRACE is information; the unknown tag follows the error before it.
        {LOGVIEW_INFO, {L"started", L"asked for control", L"[Chat Log] Bob: hi"}},
        {LOGVIEW_ERROR, {L"tunnel closed", L"carries on from the error"}},
        {LOGVIEW_DEBUGWARN, {L"slow frame"}},
        {LOGVIEW_DEBUGINFO, {}},
        // DEBUG lines are listed only with everything.
        {LOGVIEW_ALL, {L"started", L"joined late", L"tunnel closed", L"carries on from the error",
                       L"asked for control", L"frame 12", L"slow frame", L"[Chat Log] Bob: hi"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Infos(Read(kLog, c.filter)), c.infos) << c.filter;
    }
    EXPECT_EQ(Read(kLog, LOGVIEW_ALL_DEBUG).RowCount(), Read(kLog, LOGVIEW_ALL).RowCount());
}

TEST(LogTable, UserFilterAndCollectedUsers)
{
    auto all = Read(kLog, LOGVIEW_ALL);
    EXPECT_EQ(all.users, (std::vector<std::wstring>{L"Alice", L"Bob"}));
    auto bob = Read(kLog, LOGVIEW_ALL, L"Bob");
    ASSERT_EQ(bob.RowCount(), 2u);
    EXPECT_EQ(bob.Row(0).info, L"asked for control");
    EXPECT_EQ(bob.Text(1, LogTableReader::ROLE), L"Participant");
    EXPECT_TRUE(bob.users.empty());
    // Users are collected only from listed lines.
    EXPECT_EQ(Read(kLog, LOGVIEW_WARN).users, std::vector<std::wstring>{L"Alice"});
}

TEST(LogTable, LongLinesStayOneRow)
{
    std::string log = "t\tINFO\t" + std::string(10000, 'a') + "\r\nt\tWARN\tafter\r\n";
    auto reader = Read(log, LOGVIEW_ALL);
    ASSERT_EQ(reader.RowCount(), 2u);
    EXPECT_EQ(reader.Row(0).info, std::wstring(kLogInfoChars, L'a'));
    EXPECT_EQ(reader.Row(1).info, L"after");
}

TEST(LogDetails, ChatLinesAndTheCut)
{
    EXPECT_EQ(FormatLogDetails(L"[Chat Log] Bob: hi"), L"[Chat Log]\r\nBob: hi");
    EXPECT_EQ(FormatLogDetails(L"[Chat Log]"), L"[Chat Log]\r\n");
    EXPECT_EQ(FormatLogDetails(L"said [Chat Log] x"), L"said [Chat Log] x");
    EXPECT_EQ(FormatLogDetails(std::wstring(3000, L'z')).size(), kLogDetailsChars);
}
