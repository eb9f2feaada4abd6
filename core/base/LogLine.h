// Reading the log file back for the log viewer: the file cut into lines
// (LF or CRLF, every line whole however long), each line split into its
// fields, its tag turned into a level, and the level and user filters.
// The logger writes "time\tTAG\t" then, for meeting events, "role\tuser\t"
// before the message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
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

// Reads a whole log for one level filter and one user (empty: all users).
// The file's bytes are kept once; a listed row is the place of its fields in
// them, decoded to UTF-16 only when a cell is asked for. A line ends at LF
// (a CR before it is dropped) and only its first kLogLineKeepBytes count, the
// rest is read past. With no user chosen it also collects the users met on
// listed rows, in order.
class LogTableReader {
public:
    enum Field { TIME, TAG, ROLE, USER, INFO };

    explicit LogTableReader(int filter = LOGVIEW_ALL, std::wstring user = std::wstring());
    // Room for a log of this many bytes (the file's size), so that reading
    // it does not move what was read.
    void Reserve(std::size_t bytes) { m_bytes.reserve(bytes); }
    void Feed(const char* data, std::size_t length);
    // Takes a last line without its LF.
    void Finish();

    std::size_t RowCount() const { return m_rows.size(); }
    int Level(std::size_t row) const { return m_rows[row].level; }
    // One field of a listed row, cut to its limit.
    std::wstring Text(std::size_t row, Field field) const;
    LogRow Row(std::size_t row) const;

    std::vector<std::wstring> users;

private:
    // Offsets from the line's start; a field the line lacks is empty.
    struct RowRef {
        std::size_t start;
        std::uint16_t fieldStart[5], fieldEnd[5];
        int level;
    };
    void OnLine(std::size_t start, std::size_t end);
    int m_filter;
    std::wstring m_user;
    int m_previousLevel = 3;
    std::string m_bytes;
    std::size_t m_lineStart = 0, m_scanned = 0;
    std::deque<RowRef> m_rows;  // grows without moving what it holds
    std::set<std::wstring> m_usersMet;
    std::wstring m_userScratch;
};

// The details box's text for a message: cut to kLogDetailsChars; a chat line
// ("[Chat Log]" and its text) shows the marker and the text on lines of their
// own.
std::wstring FormatLogDetails(const std::wstring& info);
