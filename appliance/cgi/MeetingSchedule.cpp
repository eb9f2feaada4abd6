#include "appliance/cgi/MeetingSchedule.h"

#include <cstdio>

namespace {

constexpr int64_t kHalfHour = 1800;

bool LeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int year, int month)
{
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && LeapYear(year) ? 29 : kDays[month - 1];
}

std::string TwoDigits(int hour, int minute)
{
    char buffer[16];
    std::snprintf(buffer, sizeof(buffer), "%.2d:%.2d", hour, minute);
    return buffer;
}

// A decimal number of at most 9 digits up to the separator (or the end when
// separator is 0); at advances past the separator.
bool ReadField(const std::string& text, size_t& at, char separator, int& value)
{
    size_t digits = 0;
    int v = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        if (++digits > 9)
            return false;
        v = v * 10 + (text[at] - '0');
        ++at;
    }
    if (digits == 0)
        return false;
    if (separator != 0) {
        if (at >= text.size() || text[at] != separator)
            return false;
        ++at;
    } else if (at != text.size()) {
        return false;
    }
    value = v;
    return true;
}

bool Digits(const std::string& text, size_t from, size_t count)
{
    for (size_t i = from; i < from + count; ++i)
        if (text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

int Number(const std::string& text, size_t from, size_t count)
{
    int v = 0;
    for (size_t i = from; i < from + count; ++i)
        v = v * 10 + (text[i] - '0');
    return v;
}

} // namespace

ScheduleDefaults DefaultSchedule(const LocalZone& zone, int64_t now)
{
    const LocalTime t = zone.FromEpoch(now);
    // Whole minutes: the seconds of now do not move the half hour.
    int64_t start = now;
    if (t.minute != 0 && t.minute != 30)
        start += static_cast<int64_t>((t.minute < 30 ? 30 : 60) - t.minute) * 60;
    ScheduleDefaults d;
    d.start = zone.FromEpoch(start);
    d.end = zone.FromEpoch(start + kHalfHour);
    return d;
}

std::vector<std::string> TimeListEntries()
{
    std::vector<std::string> out;
    out.reserve(kTimeListEntries);
    for (int i = 0; i < kTimeListEntries; ++i)
        out.push_back(TwoDigits(i / 2, (i % 2) * 30));
    return out;
}

int TimeListIndex(const LocalTime& time)
{
    return time.hour * 2 + (time.minute == 30 ? 1 : 0);
}

StartNowTimes StartNowTexts(const LocalTime& now)
{
    StartNowTimes out;
    out.start = TwoDigits(now.hour, now.minute);
    int minute = now.minute + 30;
    int hour = now.hour;
    if (minute > 59) {
        minute -= 60;
        ++hour;
    }
    out.end = TwoDigits(hour, minute);
    return out;
}

std::string ScheduleText(const LocalTime& date, const std::string& timeText)
{
    char buffer[32];
    std::snprintf(buffer, sizeof(buffer), "%.4d/%.2d/%.2d ", date.year, date.month, date.day);
    return buffer + timeText;
}

bool ParseScheduleText(const std::string& text, LocalTime& out)
{
    LocalTime t;
    size_t at = 0;
    if (!ReadField(text, at, '/', t.year) || !ReadField(text, at, '/', t.month) ||
        !ReadField(text, at, ' ', t.day) || !ReadField(text, at, ':', t.hour) || !ReadField(text, at, 0, t.minute))
        return false;
    if (t.year < 1970 || t.year > 9999 || t.month < 1 || t.month > 12 || t.day < 1 ||
        t.day > DaysInMonth(t.year, t.month) || t.hour > 24 || t.minute > 59)
        return false;
    out = t;
    return true;
}

LocalTime NextDay(const LocalTime& date)
{
    LocalTime d = date;
    if (++d.day > DaysInMonth(d.year, d.month)) {
        d.day = 1;
        if (++d.month > 12) {
            d.month = 1;
            ++d.year;
        }
    }
    return d;
}

bool SecondsFromNow(const LocalZone& zone, int64_t now, const std::string& text, int64_t& seconds)
{
    LocalTime t;
    if (!ParseScheduleText(text, t))
        return false;
    if (t.hour == 24) {
        const int minute = t.minute;
        t = NextDay(t);
        t.hour = 0;
        t.minute = minute;
    }
    seconds = zone.ToEpoch(t) - now;
    return true;
}

bool SplitSavedTime(const std::string& text, LocalTime& date, std::string& timeText)
{
    if (text.size() < 16 || !Digits(text, 0, 4) || text[4] != '/' || !Digits(text, 5, 2) || text[7] != '/' ||
        !Digits(text, 8, 2) || text[10] != ' ' || !Digits(text, 11, 2) || text[13] != ':' || !Digits(text, 14, 2))
        return false;
    LocalTime d;
    d.year = Number(text, 0, 4);
    d.month = Number(text, 5, 2);
    d.day = Number(text, 8, 2);
    if (d.month < 1 || d.month > 12 || d.day < 1 || d.day > DaysInMonth(d.year, d.month))
        return false;
    date = d;
    timeText = text.substr(11, 5);
    return true;
}
