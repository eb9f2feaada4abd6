#include "core/base/LogLine.h"

#include "core/base/TextConvert.h"

#include <algorithm>
#include <cstring>

namespace {

// The text converted from UTF-8 and cut to max characters; a UTF-16 pair
// split by the cut is dropped whole.
std::wstring Field(const char* begin, const char* end, std::size_t max)
{
    std::wstring text = MultiByteToWideString(begin, static_cast<int>(end - begin), kCodePageUtf8);
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

int LogTagLevel(const std::wstring& tag)
{
    static const struct {
        const wchar_t* tag;
        int level;
    } kTags[] = {{L"ERROR", 1},      {L"WARN", 2},      {L"INFO", 3},      {L"TRACE", 3},
                 {L"DEBUGERROR", 5}, {L"DEBUGWARN", 6}, {L"DEBUGINFO", 7}, {L"DEBUG", 8}};
    for (const auto& t : kTags) {
        if (tag == t.tag)
            return t.level;
    }
    return 0;
}

bool ParseLogLine(const std::string& line, int previousLevel, LogRow& row)
{
    const char* p = line.data();
    const char* end = p + line.size();
    const char* tab1 = FindTab(p, end);
    const char* tab2 = tab1 ? FindTab(tab1 + 1, end) : nullptr;
    if (!tab2)
        return false;
    row = LogRow{};
    row.time = Field(p, tab1, kLogTimeChars);
    row.tag = Field(tab1 + 1, tab2, kLogTagChars);
    int level = LogTagLevel(row.tag);
    row.level = level ? level : previousLevel;

    const char* rest = tab2 + 1;
    if (const char* tab3 = FindTab(rest, end)) {
        row.role = Field(rest, tab3, kLogRoleChars);
        rest = tab3 + 1;
        if (const char* tab4 = FindTab(rest, end)) {
            row.user = Field(rest, tab4, kLogUserChars);
            rest = tab4 + 1;
        }
    }
    row.info = Field(rest, end, kLogInfoChars);
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
    LogRow row;
    if (!ParseLogLine(line, m_previousLevel, row))
        return;
    m_previousLevel = row.level;
    if (!LogFilterLists(m_filter, row.level))
        return;
    if (!m_user.empty()) {
        if (row.user != m_user)
            return;
    } else if (!row.user.empty()) {
        bool known = false;
        for (const auto& u : users)
            known = known || u == row.user;
        if (!known)
            users.push_back(row.user);
    }
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
