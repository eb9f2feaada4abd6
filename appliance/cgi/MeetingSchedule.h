#pragma once
// The times of the meeting setup form: the next half hour and the half hour
// after it, the 48 entries of a time list, the times "Start Now" writes, and
// a start or end text ("2024/05/01 09:30") read back as seconds from now. The
// clock and the local time zone are given by the caller.
#include <cstdint>
#include <string>
#include <vector>

struct LocalTime {
    int year = 1970;
    int month = 1;  // 1-12
    int day = 1;    // 1-31
    int hour = 0;   // 0-23
    int minute = 0;
};

// Local wall time and seconds since the epoch, daylight saving decided by the
// zone.
class LocalZone {
public:
    virtual ~LocalZone() = default;
    virtual LocalTime FromEpoch(int64_t seconds) const = 0;
    // A wall time that a daylight-saving change skips or repeats is the zone's
    // to settle, as the system's own conversion does.
    virtual int64_t ToEpoch(const LocalTime& time) const = 0;
};

// The system's local zone.
const LocalZone& SystemZone();

// The form's first start: now rounded up to the next half hour (minutes 0 and
// 30 stay), and its end 30 minutes after.
struct ScheduleDefaults {
    LocalTime start;
    LocalTime end;
};
ScheduleDefaults DefaultSchedule(const LocalZone& zone, int64_t now);

constexpr int kTimeListEntries = 48;
// "00:00", "00:30" ... "23:30".
std::vector<std::string> TimeListEntries();
// The entry of a time on the half hour (hour * 2, plus 1 for minute 30).
int TimeListIndex(const LocalTime& time);

// "Start Now": the time now as "HH:MM" and 30 minutes later with the hour
// carried but not wrapped (23:45 gives "24:15", read as 00:15 of the next day).
struct StartNowTimes {
    std::string start;
    std::string end;
};
StartNowTimes StartNowTexts(const LocalTime& now);

// "YYYY/MM/DD " followed by the time text.
std::string ScheduleText(const LocalTime& date, const std::string& timeText);

// Reads "Y/M/D H:M" (decimal fields, each ended by its separator; hour 0-24,
// minute 0-59, month 1-12, day 1-31); false for anything else. Hour 24 is
// midnight at the end of that day.
bool ParseScheduleText(const std::string& text, LocalTime& out);
// The text as seconds from now in the zone; false when it cannot be read.
bool SecondsFromNow(const LocalZone& zone, int64_t now, const std::string& text, int64_t& seconds);

// A saved meeting's "YYYY/MM/DD HH:MM" (four, two, two, two and two digits at
// fixed places) split into its date and its "HH:MM"; false, nothing written,
// for any other text.
bool SplitSavedTime(const std::string& text, LocalTime& date, std::string& timeText);

// The calendar day after date (months and leap years carried).
LocalTime NextDay(const LocalTime& date);
