#include "core/base/LogFormat.h"

#include <cstdio>

std::string FormatLogPrefix(const LogTime& t)
{
    char buf[64];
    int n = std::snprintf(buf, sizeof buf, "%2d-%2d-%4d %02d:%02d\t", t.month, t.day, t.year,
                          t.hour, t.minute);
    if (n < 0)
        return std::string();
    return std::string(buf, static_cast<std::size_t>(n) < sizeof buf ? n : sizeof buf - 1);
}

const char* LogLevelTag(int level)
{
    switch (level) {
    case DHLOG_ERROR: return "ERROR\t";
    case DHLOG_WARN: return "WARN\t";
    case DHLOG_INFO: return "INFO\t";
    case DHLOG_DEBUGERROR: return "DEBUGERROR\t";
    case DHLOG_DEBUGWARN: return "DEBUGWARN\t";
    case DHLOG_DEBUGINFO: return "DEBUGINFO\t";
    case DHLOG_DEBUG: return "DEBUG\t";
    default: return "";
    }
}

bool LogLinePasses(std::uint8_t categories, std::uint8_t mask, int level, int threshold,
                   bool force)
{
    return (categories & mask) != 0 && (force || level <= threshold);
}

namespace {

template <class C>
bool IsHighSurrogate(C c)
{
    if constexpr (sizeof(C) == 2)
        return c >= 0xD800 && c <= 0xDBFF;
    else
        return false;
}

template <class C>
std::size_t Finish(C* buf, std::size_t capacity, long long formatted)
{
    if (capacity < 2) {
        if (capacity == 1)
            buf[0] = C(0);
        return 0;
    }
    if (formatted >= 0 && static_cast<unsigned long long>(formatted) < capacity) {
        buf[formatted] = C(0);
        return static_cast<std::size_t>(formatted);
    }
    // Cut: the formatter may have left the buffer without its zero.
    std::size_t len = 0;
    while (len < capacity - 2 && buf[len] != C(0))
        ++len;
    if (len > 0 && IsHighSurrogate(buf[len - 1]))
        --len;
    buf[len++] = C('\n');
    buf[len] = C(0);
    return len;
}

} // namespace

std::size_t FinishLogMessage(char* buf, std::size_t capacity, long long formatted)
{
    return Finish(buf, capacity, formatted);
}

std::size_t FinishLogMessage(wchar_t* buf, std::size_t capacity, long long formatted)
{
    return Finish(buf, capacity, formatted);
}
