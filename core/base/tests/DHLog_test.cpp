#include "core/base/DHLog.h"
#include "core/base/LogSetup.h"
#include "core/base/TextConvert.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string ReadFileShared(const std::string& path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "<missing>";
    std::string data;
    char buf[65536];
    DWORD got = 0;
    while (ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0)
        data.append(buf, got);
    CloseHandle(h);
    return data;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

// "MM-DD-YYYY hh:mm\t" with space padding for month and day.
bool HasTimePrefix(const std::string& line)
{
    if (line.size() < 17)
        return false;
    auto digit = [&](std::size_t i) { return line[i] >= '0' && line[i] <= '9'; };
    auto digitOrSpace = [&](std::size_t i) { return digit(i) || line[i] == ' '; };
    return digitOrSpace(0) && digit(1) && line[2] == '-' && digitOrSpace(3) && digit(4) &&
           line[5] == '-' && digit(6) && digit(7) && digit(8) && digit(9) && line[10] == ' ' &&
           digit(11) && digit(12) && line[13] == ':' && digit(14) && digit(15) &&
           line[16] == '\t';
}

// The line without its time prefix.
std::string Body(const std::string& line)
{
    EXPECT_TRUE(HasTimePrefix(line)) << line;
    return line.size() >= 17 ? line.substr(17) : line;
}

class DHLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmp[MAX_PATH];
        GetTempPathA(MAX_PATH, tmp);
        m_appData = std::string(tmp) + "corvisk-log-test-" + std::to_string(GetCurrentProcessId());
        m_path = StartAppLogIn(m_log, m_appData);
    }
    void TearDown() override
    {
        m_log.SetFile("");
        std::string folder = m_appData + "\\Quenlore\\LogFiles";
        DeleteFileA((folder + "\\PLLog.txt").c_str());
        DeleteFileA((folder + "\\PLLog.txt.bak").c_str());
        RemoveDirectoryA(folder.c_str());
        RemoveDirectoryA((m_appData + "\\Quenlore").c_str());
        RemoveDirectoryA(m_appData.c_str());
    }

    std::vector<std::string> FileLines() { return Lines(ReadFileShared(m_path)); }

    std::string m_appData;
    std::string m_path;
    DHLog m_log;
};

} // namespace

TEST_F(DHLogTest, StartUpConfiguration)
{
    EXPECT_EQ(m_path, m_appData + "\\Quenlore\\LogFiles\\PLLog.txt");
    EXPECT_TRUE(m_log.FileSinkOn());
    EXPECT_FALSE(m_log.DebuggerSinkOn());
    EXPECT_EQ(m_log.Threshold(), 4);
    EXPECT_EQ(ReadFileShared(m_path), "");
}

TEST_F(DHLogTest, PrefixAndTagPerLevel)
{
    for (int level = 1; level <= 9; ++level)
        m_log.Print(DHLOG_CAT_STARTUP, level, true, "level %d\n", level);
    const char* want[] = {"ERROR\tlevel 1",      "WARN\tlevel 2",      "INFO\tlevel 3",
                          "level 4",             "DEBUGERROR\tlevel 5", "DEBUGWARN\tlevel 6",
                          "DEBUGINFO\tlevel 7", "DEBUG\tlevel 8",      "level 9"};
    auto lines = FileLines();
    ASSERT_EQ(lines.size(), 9u);
    for (std::size_t i = 0; i < 9; ++i)
        EXPECT_EQ(Body(lines[i]), want[i]);
}

TEST_F(DHLogTest, FilteredAndForcedLines)
{
    m_log.Print(DHLOG_CAT_SHARING, DHLOG_DEBUG, false, "hidden debug\n");
    m_log.Print(DHLOG_CAT_SHARING, DHLOG_DEBUG, true, "forced debug\n");
    m_log.Print(DHLOG_CAT_MEETING, DHLOG_PLAIN, false, "plain\n");
    m_log.PrintW(DHLOG_CAT_MEETING, DHLOG_DEBUGINFO, false, L"hidden wide\n");
    m_log.SetMask(DHLOG_CAT_MEETING);
    m_log.Print(DHLOG_CAT_SHARING, DHLOG_ERROR, true, "category off\n");
    m_log.PrintW(DHLOG_CAT_MEETING | DHLOG_CAT_SHARING, DHLOG_WARN, false, L"%s\n", L"one bit on");

    auto lines = FileLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(Body(lines[0]), "DEBUG\tforced debug");
    EXPECT_EQ(Body(lines[1]), "plain");
    EXPECT_EQ(Body(lines[2]), "WARN\tone bit on");
}

TEST_F(DHLogTest, LongMessagesAreCutAndStillEndTheirLine)
{
    std::string longText(2000, 'n');
    m_log.Print(DHLOG_CAT_STARTUP, DHLOG_INFO, false, "%s\n", longText.c_str());
    std::wstring longWide(1500, L'w');
    m_log.PrintW(DHLOG_CAT_STARTUP, DHLOG_PLAIN, false, L"%s\n", longWide.c_str());
    m_log.Print(DHLOG_CAT_STARTUP, DHLOG_INFO, false, "next\n");

    auto lines = FileLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(Body(lines[0]), "INFO\t" + std::string(1022, 'n'));
    EXPECT_EQ(Body(lines[1]), std::string(1022, 'w'));
    EXPECT_EQ(Body(lines[2]), "INFO\tnext");
}

TEST_F(DHLogTest, FileIsUtf8ForWideAndAnsiText)
{
    // Outside any ANSI code page: Greek, Cyrillic, CJK and a character
    // outside the basic plane.
    m_log.PrintW(DHLOG_CAT_MEETING, DHLOG_INFO, false, L"%s|%hs\n",
                 L"\u03a9 \u041f\u0440\u0438 \u4e2d \U0001F600", "narrow");
    // Text of the ANSI code page through the narrow entry.
    const std::wstring accented = L"\u00c4rger \u00e9t\u00e9";
    std::string ansi = WideToAnsi(accented, kCodePageAnsi);
    if (AnsiToWide(ansi, kCodePageAnsi) != accented)
        GTEST_SKIP() << "the ANSI code page " << GetACP() << " lacks these characters";
    ASSERT_NE(ansi, "\xC3\x84rger \xC3\xA9t\xC3\xA9");  // really not UTF-8 already
    m_log.Print(DHLOG_CAT_MEETING, DHLOG_INFO, false, "%s\n", ansi.c_str());

    auto lines = FileLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(Body(lines[0]),
              "INFO\t\xCE\xA9 \xD0\x9F\xD1\x80\xD0\xB8 \xE4\xB8\xAD \xF0\x9F\x98\x80|narrow");
    EXPECT_EQ(Body(lines[1]), "INFO\t\xC3\x84rger \xC3\xA9t\xC3\xA9");
}

TEST_F(DHLogTest, PreviousLogIsKeptAsBak)
{
    m_log.Print(DHLOG_CAT_STARTUP, DHLOG_INFO, false, "first run\n");
    m_log.SetFile("");  // the first run ends
    EXPECT_FALSE(m_log.FileSinkOn());
    {
        // A second run opens the same file.
        DHLog second;
        EXPECT_EQ(StartAppLogIn(second, m_appData), m_path);
        second.Print(DHLOG_CAT_STARTUP, DHLOG_INFO, false, "second run\n");
        auto bak = Lines(ReadFileShared(m_path + ".bak"));
        ASSERT_EQ(bak.size(), 1u);
        EXPECT_EQ(Body(bak[0]), "INFO\tfirst run");
        auto now = FileLines();
        ASSERT_EQ(now.size(), 1u);
        EXPECT_EQ(Body(now[0]), "INFO\tsecond run");

        // Naming the file again while it is open also keeps what was written.
        second.SetFile(m_path.c_str());
        EXPECT_TRUE(second.FileSinkOn());
        bak = Lines(ReadFileShared(m_path + ".bak"));
        ASSERT_EQ(bak.size(), 1u);
        EXPECT_EQ(Body(bak[0]), "INFO\tsecond run");
        EXPECT_EQ(ReadFileShared(m_path), "");
        second.SetFile("");
    }
}

// The previous log is moved aside to ".bak"; when another program holds the
// old ".bak" open, the move fails and the previous log must not be wiped.
TEST_F(DHLogTest, PreviousLogSurvivesWhenItCannotBeMovedAside)
{
    m_log.Print(DHLOG_CAT_STARTUP, DHLOG_INFO, false, "first run\n");
    m_log.SetFile("");
    HANDLE bak = CreateFileA((m_path + ".bak").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(bak, INVALID_HANDLE_VALUE);

    DHLog second;
    StartAppLogIn(second, m_appData);
    EXPECT_TRUE(second.FileSinkOn());
    second.Print(DHLOG_CAT_STARTUP, DHLOG_INFO, false, "second run\n");
    auto lines = FileLines();
    second.SetFile("");
    CloseHandle(bak);

    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(Body(lines[0]), "INFO\tfirst run");
    EXPECT_EQ(Body(lines[1]), "INFO\tsecond run");
}

TEST_F(DHLogTest, AppendKeepsContent)
{
    m_log.Print(DHLOG_CAT_STARTUP, DHLOG_INFO, false, "kept\n");
    m_log.SetFile(m_path.c_str());  // clears the append flag and starts anew
    m_log.Print(DHLOG_CAT_STARTUP, DHLOG_INFO, false, "one\n");
    m_log.SetAppend(true);
    m_log.OpenFile();
    m_log.Print(DHLOG_CAT_STARTUP, DHLOG_INFO, false, "two\n");
    auto lines = FileLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(Body(lines[0]), "INFO\tone");
    EXPECT_EQ(Body(lines[1]), "INFO\ttwo");
}

TEST_F(DHLogTest, NoFileOrUnopenableFileFallsBackToDebugger)
{
    DHLog log;
    EXPECT_EQ(StartAppLogIn(log, ""), "");
    EXPECT_FALSE(log.FileSinkOn());
    EXPECT_TRUE(log.DebuggerSinkOn());
    log.Print(DHLOG_CAT_STARTUP, DHLOG_ERROR, false, "to the debugger\n");

    DHLog bad;
    bad.SetFile((m_appData + "\\no\\such\\folder\\x.txt").c_str());
    bad.OpenFile();
    EXPECT_FALSE(bad.FileSinkOn());
    EXPECT_TRUE(bad.DebuggerSinkOn());
}

TEST_F(DHLogTest, ThreadsNeverMixLines)
{
    constexpr int kThreads = 8;
    constexpr int kLines = 400;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, t] {
            std::string pad(100 + t * 20, static_cast<char>('a' + t));
            std::wstring wpad(pad.begin(), pad.end());
            for (int i = 0; i < kLines; ++i) {
                if (i % 2)
                    m_log.Print(DHLOG_CAT_MEETING, DHLOG_INFO, false, "T%d L%d %s\n", t, i,
                                pad.c_str());
                else
                    m_log.PrintW(DHLOG_CAT_MEETING, DHLOG_INFO, false, L"T%d L%d %s\n", t, i,
                                 wpad.c_str());
            }
        });
    }
    for (auto& th : threads)
        th.join();

    auto lines = FileLines();
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLines));
    std::set<std::pair<int, int>> seen;
    for (const auto& line : lines) {
        std::string body = Body(line);
        int t = -1, i = -1;
        char rest[512] = {};
        ASSERT_EQ(std::sscanf(body.c_str(), "INFO\tT%d L%d %511s", &t, &i, rest), 3) << body;
        ASSERT_TRUE(t >= 0 && t < kThreads) << body;
        EXPECT_EQ(std::string(rest), std::string(100 + t * 20, static_cast<char>('a' + t)));
        seen.insert({t, i});
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kThreads * kLines));
}

TEST(DHLogSetup, AppDataFolderAndInstance)
{
    EXPECT_EQ(&DHLog::Instance(), &DHLog::Instance());

    DHLog log;
    std::string path = StartAppLog(log);
    const std::string tail = "\\Quenlore\\LogFiles\\PLLog.txt";
    ASSERT_GT(path.size(), tail.size());
    EXPECT_EQ(path.substr(path.size() - tail.size()), tail);
    EXPECT_TRUE(log.FileSinkOn());
    log.Print(DHLOG_CAT_STARTUP, DHLOG_INFO, false, "started\n");
    EXPECT_NE(ReadFileShared(path).find("INFO\tstarted\n"), std::string::npos);
}
