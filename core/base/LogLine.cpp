#include "core/base/LogLine.h"

#include "core/base/TextConvert.h"

#include <algorithm>
#include <cstring>

namespace {

// The text converted from UTF-8 and cut to max characters; a UTF-16 pair
// split by the cut is dropped whole.
std::wstring Field(const char* begin, const char* end, std::size_t max)
{
    // Log lines are mostly ASCII, which needs no decoding.
    bool ascii = true;
    for (const char* c = begin; c != end && ascii; ++c)
        ascii = static_cast<unsigned char>(*c) < 0x80;
    std::wstring text = ascii ? std::wstring(begin, end)
                              : MultiByteToWideString(begin, static_cast<int>(end - begin), kCodePageUtf8);
    if (text.size() > max) {
        text.resize(max);
        if (sizeof(wchar_t) == 2 && !text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF)
            text.pop_back();
    }
    return text;
}

const char* FindTab(const char* begin, const char* end)
{
    const void* tab = std::memchr(begin, '\t', static_cast<std::size_t>(end - begin));
    return tab ? static_cast<const char*>(tab) : nullptr;
}

} // namespace

void LogLineSplitter::Feed(const char* data, std::size_t length)
{
    while (length > 0) {
        const void* lf = std::memchr(data, '\n', length);
        std::size_t part = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - data) : length;
        if (m_line.size() < kLogLineKeepBytes)
            m_line.append(data, std::min(part, kLogLineKeepBytes - m_line.size()));
        m_sawData = true;
        if (!lf)
            return;
        Emit();
        data += part + 1;
        length -= part + 1;
    }
}

void LogLineSplitter::Finish()
{
    if (m_sawData)
        Emit();
}

void LogLineSplitter::Emit()
{
    if (!m_line.empty() && m_line.back() == '\r')
        m_line.pop_back();
    m_sink(m_line);
    m_line.clear();
    m_sawData = false;
}

namespace {

// A line's fields as byte ranges, and its level.
struct RawLogLine {
    const char *time, *tab1, *tab2, *role = nullptr, *roleEnd = nullptr, *user = nullptr, *userEnd = nullptr,
                                    *info, *end;
    int level;
};

// The level of a tag of the logger's (ASCII, matched whole), else 0.
int TagLevel(const char* begin, const char* end)
{
    static const struct {
        const char* tag;
        int level;
    } kTags[] = {{"ERROR", 1},      {"WARN", 2},      {"INFO", 3},      {"TRACE", 3},
                 {"DEBUGERROR", 5}, {"DEBUGWARN", 6}, {"DEBUGINFO", 7}, {"DEBUG", 8}};
    const std::size_t length = static_cast<std::size_t>(end - begin);
    for (const auto& t : kTags) {
        if (std::strlen(t.tag) == length && std::memcmp(t.tag, begin, length) == 0)
            return t.level;
    }
    return 0;
}

bool SplitLogLine(const std::string& line, int previousLevel, RawLogLine& raw)
{
    const char* p = line.data();
    const char* end = p + line.size();
    const char* tab1 = FindTab(p, end);
    const char* tab2 = tab1 ? FindTab(tab1 + 1, end) : nullptr;
    if (!tab2)
        return false;
    raw.time = p;
    raw.tab1 = tab1;
    raw.tab2 = tab2;
    raw.end = end;
    int level = TagLevel(tab1 + 1, tab2);
    raw.level = level ? level : previousLevel;
    const char* rest = tab2 + 1;
    if (const char* tab3 = FindTab(rest, end)) {
        raw.role = rest;
        raw.roleEnd = tab3;
        rest = tab3 + 1;
        if (const char* tab4 = FindTab(rest, end)) {
            raw.user = rest;
            raw.userEnd = tab4;
            rest = tab4 + 1;
        }
    }
    raw.info = rest;
    return true;
}

std::wstring UserOf(const RawLogLine& raw)
{
    return raw.user ? Field(raw.user, raw.userEnd, kLogUserChars) : std::wstring();
}

LogRow ToRow(const RawLogLine& raw)
{
    LogRow row;
    row.level = raw.level;
    row.time = Field(raw.time, raw.tab1, kLogTimeChars);
    row.tag = Field(raw.tab1 + 1, raw.tab2, kLogTagChars);
    if (raw.role)
        row.role = Field(raw.role, raw.roleEnd, kLogRoleChars);
    row.user = UserOf(raw);
    row.info = Field(raw.info, raw.end, kLogInfoChars);
    return row;
}

} // namespace

int LogTagLevel(const std::wstring& tag)
{
    std::string ascii;
    for (wchar_t c : tag) {
        if (c <= 0 || c >= 0x80)
            return 0;
        ascii += static_cast<char>(c);
    }
    return TagLevel(ascii.data(), ascii.data() + ascii.size());
}

bool ParseLogLine(const std::string& line, int previousLevel, LogRow& row)
{
    RawLogLine raw;
    if (!SplitLogLine(line, previousLevel, raw))
        return false;
    row = ToRow(raw);
    return true;
}

bool LogFilterLists(int filter, int level)
{
    return filter == LOGVIEW_ALL || filter == LOGVIEW_ALL_DEBUG || filter == level;
}

LogTableReader::LogTableReader(int filter, std::wstring user)
    : m_filter(filter), m_user(std::move(user)), m_splitter([this](const std::string& line) { OnLine(line); })
{
}

void LogTableReader::OnLine(const std::string& line)
{
    // Lines the filters leave out are not decoded.
    RawLogLine raw;
    if (!SplitLogLine(line, m_previousLevel, raw))
        return;
    m_previousLevel = raw.level;
    if (!LogFilterLists(m_filter, raw.level))
        return;
    if (!m_user.empty()) {
        if (UserOf(raw) != m_user)
            return;
    }
    LogRow row = ToRow(raw);
    if (m_user.empty() && !row.user.empty() && m_usersMet.insert(row.user).second)
        users.push_back(row.user);
    rows.push_back(std::move(row));
}

std::wstring FormatLogDetails(const std::wstring& info)
{
    std::wstring text = info.substr(0, kLogDetailsChars);
    static const wchar_t kChat[] = L"[Chat Log]";
    const std::size_t markerLength = sizeof(kChat) / sizeof(kChat[0]) - 1;
    if (text.compare(0, markerLength, kChat) != 0)
        return text;
    std::size_t start = text.find_first_not_of(L" \t", markerLength);
    std::wstring body = start == std::wstring::npos ? std::wstring() : text.substr(start);
    return std::wstring(kChat) + L"\r\n" + body;
}
