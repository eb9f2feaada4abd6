#include "core/base/LogLine.h"

#include "core/base/TextConvert.h"

#include <algorithm>
#include <cstring>

namespace {

// The text converted from UTF-8 and cut to max characters; a UTF-16 pair
// split by the cut is dropped whole.
void DecodeField(const char* begin, const char* end, std::size_t max, std::wstring& text)
{
    // Log lines are mostly ASCII, which needs no decoding.
    bool ascii = true;
    for (const char* c = begin; c != end && ascii; ++c)
        ascii = static_cast<unsigned char>(*c) < 0x80;
    if (ascii)
        text.assign(begin, std::min(end, begin + max));
    else
        text = MultiByteToWideString(begin, static_cast<int>(end - begin), kCodePageUtf8);
    if (text.size() > max) {
        text.resize(max);
        if (sizeof(wchar_t) == 2 && !text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF)
            text.pop_back();
    }
}

std::wstring FieldText(const char* begin, const char* end, std::size_t max)
{
    std::wstring text;
    DecodeField(begin, end, max, text);
    return text;
}

const char* FindTab(const char* begin, const char* end)
{
    const void* tab = std::memchr(begin, '\t', static_cast<std::size_t>(end - begin));
    return tab ? static_cast<const char*>(tab) : nullptr;
}

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

constexpr std::size_t kFieldChars[] = {kLogTimeChars, kLogTagChars, kLogRoleChars, kLogUserChars, kLogInfoChars};

// A line's fields as offsets from its start (a field the line lacks is
// empty), and its level.
struct LineFields {
    std::size_t begin[5], end[5];
    int level;
};

bool SplitLogLine(const char* line, const char* end, int previousLevel, LineFields& fields)
{
    const char* tab1 = FindTab(line, end);
    const char* tab2 = tab1 ? FindTab(tab1 + 1, end) : nullptr;
    if (!tab2)
        return false;
    const char* bounds[5][2] = {{line, tab1}, {tab1 + 1, tab2}, {end, end}, {end, end}, {tab2 + 1, end}};
    int level = TagLevel(tab1 + 1, tab2);
    fields.level = level ? level : previousLevel;
    const char* rest = tab2 + 1;
    if (const char* tab3 = FindTab(rest, end)) {
        bounds[LogTableReader::ROLE][0] = rest;
        bounds[LogTableReader::ROLE][1] = tab3;
        rest = tab3 + 1;
        if (const char* tab4 = FindTab(rest, end)) {
            bounds[LogTableReader::USER][0] = rest;
            bounds[LogTableReader::USER][1] = tab4;
            rest = tab4 + 1;
        }
        bounds[LogTableReader::INFO][0] = rest;
    }
    for (int f = 0; f < 5; ++f) {
        fields.begin[f] = static_cast<std::size_t>(bounds[f][0] - line);
        fields.end[f] = static_cast<std::size_t>(bounds[f][1] - line);
    }
    return true;
}

template <typename Offset>
LogRow DecodeRow(const char* line, const Offset* begin, const Offset* end, int level)
{
    LogRow row;
    row.level = level;
    std::wstring* texts[] = {&row.time, &row.tag, &row.role, &row.user, &row.info};
    for (int f = 0; f < 5; ++f)
        DecodeField(line + begin[f], line + end[f], kFieldChars[f], *texts[f]);
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
    LineFields fields;
    if (!SplitLogLine(line.data(), line.data() + line.size(), previousLevel, fields))
        return false;
    row = DecodeRow(line.data(), fields.begin, fields.end, fields.level);
    return true;
}

bool LogFilterLists(int filter, int level)
{
    return filter == LOGVIEW_ALL || filter == LOGVIEW_ALL_DEBUG || filter == level;
}

LogTableReader::LogTableReader(int filter, std::wstring user) : m_filter(filter), m_user(std::move(user)) {}

void LogTableReader::Feed(const char* data, std::size_t length)
{
    m_bytes.append(data, length);
    while (const void* lf = std::memchr(m_bytes.data() + m_scanned, '\n', m_bytes.size() - m_scanned)) {
        const std::size_t at = static_cast<std::size_t>(static_cast<const char*>(lf) - m_bytes.data());
        OnLine(m_lineStart, at);
        m_lineStart = m_scanned = at + 1;
    }
    m_scanned = m_bytes.size();
}

void LogTableReader::Finish()
{
    if (m_lineStart < m_bytes.size())
        OnLine(m_lineStart, m_bytes.size());
    m_lineStart = m_scanned = m_bytes.size();
}

void LogTableReader::OnLine(std::size_t start, std::size_t end)
{
    static_assert(kLogLineKeepBytes <= UINT16_MAX, "a kept line's offsets fit in 16 bits");
    end = std::min(end, start + kLogLineKeepBytes);
    if (end > start && m_bytes[end - 1] == '\r')
        --end;
    const char* line = m_bytes.data() + start;
    LineFields fields;
    if (!SplitLogLine(line, m_bytes.data() + end, m_previousLevel, fields))
        return;
    m_previousLevel = fields.level;
    if (!LogFilterLists(m_filter, fields.level))
        return;
    // Only the user field is decoded here, and only when a user is chosen or
    // collected; the other cells wait until they are shown.
    const bool hasUser = fields.end[USER] > fields.begin[USER];
    if (!m_user.empty() || hasUser)
        DecodeField(line + fields.begin[USER], line + fields.end[USER], kLogUserChars, m_userScratch);
    if (!m_user.empty() && (!hasUser || m_userScratch != m_user))
        return;
    if (m_user.empty() && hasUser && m_usersMet.insert(m_userScratch).second)
        users.push_back(m_userScratch);
    RowRef row;
    row.start = start;
    for (int f = 0; f < 5; ++f) {
        row.fieldStart[f] = static_cast<std::uint16_t>(fields.begin[f]);
        row.fieldEnd[f] = static_cast<std::uint16_t>(fields.end[f]);
    }
    row.level = fields.level;
    m_rows.push_back(row);
}

std::wstring LogTableReader::Text(std::size_t row, Field field) const
{
    const RowRef& r = m_rows[row];
    const char* line = m_bytes.data() + r.start;
    return FieldText(line + r.fieldStart[field], line + r.fieldEnd[field], kFieldChars[field]);
}

LogRow LogTableReader::Row(std::size_t row) const
{
    const RowRef& r = m_rows[row];
    return DecodeRow(m_bytes.data() + r.start, r.fieldStart, r.fieldEnd, r.level);
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
