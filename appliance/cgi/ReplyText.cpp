#include "appliance/cgi/ReplyText.h"

#include <array>
#include <cstring>
#include <limits>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

size_t LineEnd(const std::string& text, size_t from) {
    size_t end = text.find_first_of("\r\n", from);
    return end == std::string::npos ? text.size() : end;
}

enum class ValueEnd {
    Trimmed,      // trailing blanks dropped; the text's end also ends the value
    NeedLineEnd,  // the same, but only a value followed by a line end counts
    KeepCr,       // up to the LF of a CRLF, blanks and CR kept
};

bool ValueAt(const std::string& text, size_t pos, ValueEnd mode, std::string& value) {
    if (pos < text.size() && text[pos] == ':') ++pos;
    while (pos < text.size() && IsBlank(text[pos])) ++pos;
    size_t end = LineEnd(text, pos);
    if (mode == ValueEnd::NeedLineEnd && end == text.size()) return false;
    if (mode == ValueEnd::KeepCr) {
        if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') ++end;
    } else {
        while (end > pos && IsBlank(text[end - 1])) --end;
    }
    if (end - pos > kMaxReplyValue) return false;
    value.assign(text, pos, end - pos);
    return true;
}

// Reads "%d.%d.%d.%d-%dsv" strictly: every number present, "sv" behind.
bool ParseVersion(const std::string& text, std::array<int32_t, 5>& parts) {
    static const char kSeparators[] = "...-";
    size_t pos = 0;
    for (size_t i = 0; i < parts.size(); ++i) {
        size_t start = pos;
        if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) ++pos;
        size_t digits = pos;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') ++pos;
        if (pos == digits || pos - start > 10) return false;
        parts[i] = ParseDecimal(text.substr(start, pos - start));
        if (i < 4) {
            if (pos >= text.size() || text[pos] != kSeparators[i]) return false;
            ++pos;
        }
    }
    return text.compare(pos, 2, "sv") == 0;
}

}  // namespace

bool StatusCodeIs(const std::string& headers, const char* code) {
    size_t lineEnd = LineEnd(headers, 0);
    size_t blank = headers.find(' ');
    if (blank == std::string::npos || blank > lineEnd) return false;
    const size_t n = std::strlen(code);
    if (headers.compare(blank + 1, n, code) != 0) return false;
    // The whole code: "200" is not "2001"; the reason phrase may be missing.
    const size_t after = blank + 1 + n;
    return after >= headers.size() || headers[after] < '0' || headers[after] > '9';
}

bool Contains(const std::string& text, const char* marker) {
    return text.find(marker) != std::string::npos;
}

bool MarkerValue(const std::string& text, const char* marker, std::string& value) {
    size_t at = text.find(marker);
    if (at == std::string::npos) return false;
    return ValueAt(text, at + std::strlen(marker), ValueEnd::Trimmed, value);
}

bool MarkerLine(const std::string& text, const char* marker, std::string& value) {
    size_t at = text.find(marker);
    if (at == std::string::npos) return false;
    return ValueAt(text, at + std::strlen(marker), ValueEnd::NeedLineEnd, value);
}

bool MarkerValueWithCr(const std::string& text, const char* marker, std::string& value) {
    size_t at = text.find(marker);
    if (at == std::string::npos) return false;
    return ValueAt(text, at + std::strlen(marker), ValueEnd::KeepCr, value);
}

int32_t ParseDecimal(const std::string& text) {
    size_t pos = 0;
    while (pos < text.size() && (IsBlank(text[pos]) || text[pos] == '\n' || text[pos] == '\r' ||
                                 text[pos] == '\v' || text[pos] == '\f'))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) negative = text[pos++] == '-';
    int64_t value = 0;
    const int64_t limit = static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        value = value * 10 + (text[pos++] - '0');
        if (value > limit) value = limit;
    }
    if (negative) return static_cast<int32_t>(-value);
    return static_cast<int32_t>(value >= limit ? limit - 1 : value);
}

bool FindSwapCookie(const std::string& headers, std::string& value) {
    static const char kName[] = "set-cookie:";
    size_t pos = 0;
    while (pos < headers.size()) {
        size_t end = LineEnd(headers, pos);
        std::string line = headers.substr(pos, end - pos);
        pos = end + 1;
        if (line.size() < sizeof kName - 1) continue;
        bool match = true;
        for (size_t i = 0; i + 1 < sizeof kName && match; ++i)
            match = (line[i] | 0x20) == kName[i] || line[i] == kName[i];
        if (!match) continue;
        size_t at = sizeof kName - 1;
        while (at < line.size() && IsBlank(line[at])) ++at;
        if (line.compare(at, 5, "swap=") != 0) continue;
        size_t start = at + 5;
        size_t semi = line.find(';', start);
        if (semi == std::string::npos || semi - start > kMaxSwapCookie) return false;
        value = line.substr(start, semi - start);
        return true;
    }
    return false;
}

bool ServerTooOld(const std::string& headers) {
    std::string text;
    if (!MarkerValue(headers, "serverversion:", text)) return true;
    std::array<int32_t, 5> server{}, minimum{};
    if (!ParseVersion(text, server) || !ParseVersion("6.0.0.0-8sv", minimum)) return true;
    return server < minimum;
}

void ReadPortalList(const std::string& body, std::vector<std::string>& portals) {
    size_t pos = 0;
    while (portals.size() < kMaxReplyRecords && (pos = body.find("portal:", pos)) != std::string::npos) {
        size_t start = pos + 7;
        size_t end = LineEnd(body, start);
        if (end - start <= kMaxReplyValue) portals.push_back(body.substr(start, end - start));
        pos = end;
    }
}
