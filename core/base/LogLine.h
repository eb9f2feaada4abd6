// Reading the log file back for the log viewer: the file cut into lines
// (LF or CRLF, every line whole however long), each line split into its
// fields, its tag turned into a level, and the level and user filters.
// The logger writes "time\tTAG\t" then, for meeting events, "role\tuser\t"
// before the message.
#pragma once

#include <cstddef>
#include <functional>
#include <set>
#include <string>
#include <vector>

// Field limits in characters; a longer field is cut, never run into the next.
constexpr std::size_t kLogTimeChars = 127;
constexpr std::size_t kLogTagChars = 15;
constexpr std::size_t kLogRoleChars = 31;
constexpr std::size_t kLogUserChars = 127;
constexpr std::size_t kLogInfoChars = 3791;
// Bytes of one line that are kept: enough for every field at its limit in
// UTF-8; the rest of a longer line is read past, so it stays one line.
constexpr std::size_t kLogLineKeepBytes = 4 * (kLogTimeChars + kLogTagChars + kLogRoleChars + kLogUserChars +
                                               kLogInfoChars + 4);
// The details box shows at most this many characters of a line's message.
constexpr std::size_t kLogDetailsChars = 2600;

// Level filter values of the viewer's "Filter" menu; 4 and 8 both list all.
enum LogViewFilter : int {
    LOGVIEW_ERROR = 1,
    LOGVIEW_WARN = 2,
    LOGVIEW_INFO = 3,
    LOGVIEW_ALL = 4,
    LOGVIEW_DEBUGERROR = 5,
    LOGVIEW_DEBUGWARN = 6,
    LOGVIEW_DEBUGINFO = 7,
    LOGVIEW_ALL_DEBUG = 8,
};

// Cuts a byte stream into lines. A line ends at LF; a CR before it is
// dropped. Only the first kLogLineKeepBytes of a line are handed on.
class LogLineSplitter {
public:
    using Sink = std::function<void(const std::string& line)>;
    explicit LogLineSplitter(Sink sink) : m_sink(std::move(sink)) {}
    void Feed(const char* data, std::size_t length);
    // Hands on a last line without its LF.
    void Finish();

private:
    void Emit();
    Sink m_sink;
    std::string m_line;
    bool m_sawData = false;
};

struct LogRow {
    int level = 3;
    std::wstring time, tag, role, user, info;
};

// The level a whole tag gives: ERROR 1, WARN 2, INFO and TRACE 3, DEBUGERROR
// 5, DEBUGWARN 6, DEBUGINFO 7, DEBUG 8; 0 for any other text.
int LogTagLevel(const std::wstring& tag);

// Splits one line (UTF-8, no line end). False for a line with fewer than two
// TABs. A line whose tag is unknown takes previousLevel.
bool ParseLogLine(const std::string& line, int previousLevel, LogRow& row);

// Whether the level filter lists a line of this level.
bool LogFilterLists(int filter, int level);

// Reads a whole log into rows for one level filter and one user (empty: all
// users). With no user chosen it also collects the users met, in order.
class LogTableReader {
public:
    LogTableReader(int filter, std::wstring user);
    void Feed(const char* data, std::size_t length) { m_splitter.Feed(data, length); }
    void Finish() { m_splitter.Finish(); }

    std::vector<LogRow> rows;
    std::vector<std::wstring> users;

private:
    void OnLine(const std::string& line);
    int m_filter;
    std::wstring m_user;
    int m_previousLevel = 3;
    std::set<std::wstring> m_usersMet;
    LogLineSplitter m_splitter;
};

// The details box's text for a message: cut to kLogDetailsChars; a chat line
// ("[Chat Log]" and its text) shows the marker and the text on lines of their
// own.
std::wstring FormatLogDetails(const std::wstring& info);
