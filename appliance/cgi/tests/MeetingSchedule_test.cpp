#include "appliance/cgi/MeetingSchedule.h"

#include <gtest/gtest.h>

namespace {

int64_t DaysFromCivil(int y, int m, int d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

LocalTime CivilFromSeconds(int64_t s)
{
    int64_t z = (s >= 0 ? s : s - 86399) / 86400;
    const int64_t secs = s - z * 86400;
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    LocalTime t;
    t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2));
    t.hour = static_cast<int>(secs / 3600);
    t.minute = static_cast<int>(secs % 3600 / 60);
    return t;
}

// A zone one hour ahead of UTC that moves to two hours at 01:00 UTC of the
// change day (wall clock 02:00 jumps to 03:00), as central Europe in spring.
class SpringZone : public LocalZone {
public:
    explicit SpringZone(int64_t changeUtc) : m_change(changeUtc) {}
    LocalTime FromEpoch(int64_t s) const override { return CivilFromSeconds(s + Offset(s)); }
    int64_t ToEpoch(const LocalTime& t) const override
    {
        const int64_t wall = DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60;
        // Try the summer offset first; a wall time before the change is winter.
        const int64_t summer = wall - 7200;
        return summer >= m_change ? summer : wall - 3600;
    }

private:
    int64_t Offset(int64_t s) const { return s >= m_change ? 7200 : 3600; }
    int64_t m_change;
};

const int64_t kChange = DaysFromCivil(2024, 3, 31) * 86400 + 3600;  // 2024-03-31 01:00 UTC
const SpringZone kZone(kChange);

int64_t At(int y, int mo, int d, int h, int mi)
{
    LocalTime t;
    t.year = y;
    t.month = mo;
    t.day = d;
    t.hour = h;
    t.minute = mi;
    return kZone.ToEpoch(t);
}

std::string Clock(const LocalTime& t)
{
    char b[32];
    snprintf(b, sizeof(b), "%04d/%02d/%02d %02d:%02d", t.year, t.month, t.day, t.hour, t.minute);
    return b;
}

TEST(MeetingSchedule, DefaultsRoundUpToTheNextHalfHour)
{
    struct Case {
        int64_t now;
        const char* start;
        const char* end;
    } cases[] = {
        {At(2024, 5, 1, 10, 5), "2024/05/01 10:30", "2024/05/01 11:00"},
        {At(2024, 5, 1, 10, 30), "2024/05/01 10:30", "2024/05/01 11:00"},
        {At(2024, 5, 1, 10, 0) + 59, "2024/05/01 10:00", "2024/05/01 10:30"},
        {At(2024, 5, 1, 10, 31), "2024/05/01 11:00", "2024/05/01 11:30"},
        // Both dates move to the next day, and the year too.
        {At(2024, 5, 1, 23, 40), "2024/05/02 00:00", "2024/05/02 00:30"},
        {At(2024, 12, 31, 23, 10), "2024/12/31 23:30", "2025/01/01 00:00"},
        // Across the spring change: 01:50 rounds to 02:00, which is 03:00.
        {At(2024, 3, 31, 1, 50), "2024/03/31 03:00", "2024/03/31 03:30"},
    };
    for (const Case& c : cases) {
        const ScheduleDefaults d = DefaultSchedule(kZone, c.now);
        EXPECT_EQ(Clock(d.start), c.start) << Clock(kZone.FromEpoch(c.now));
        EXPECT_EQ(Clock(d.end), c.end) << Clock(kZone.FromEpoch(c.now));
    }
}

TEST(MeetingSchedule, TimeListHas48HalfHoursAndIndexesThem)
{
    const std::vector<std::string> list = TimeListEntries();
    ASSERT_EQ(list.size(), 48u);
    EXPECT_EQ(list.front(), "00:00");
    EXPECT_EQ(list[1], "00:30");
    EXPECT_EQ(list[21], "10:30");
    EXPECT_EQ(list.back(), "23:30");
    LocalTime t;
    t.hour = 10;
    t.minute = 30;
    EXPECT_EQ(list[TimeListIndex(t)], "10:30");
    t.hour = 0;
    t.minute = 0;
    EXPECT_EQ(TimeListIndex(t), 0);
}

TEST(MeetingSchedule, StartNowCarriesTheHourWithoutWrapping)
{
    LocalTime t;
    t.hour = 23;
    t.minute = 45;
    EXPECT_EQ(StartNowTexts(t).start, "23:45");
    EXPECT_EQ(StartNowTexts(t).end, "24:15");
    t.hour = 9;
    t.minute = 29;
    EXPECT_EQ(StartNowTexts(t).end, "09:59");
    t.minute = 30;
    EXPECT_EQ(StartNowTexts(t).end, "10:00");
}

TEST(MeetingSchedule, SecondsFromNowReadsTheFormTexts)
{
    const int64_t now = At(2024, 5, 1, 23, 45);
    int64_t s = 0;
    ASSERT_TRUE(SecondsFromNow(kZone, now, "2024/05/01 23:45", s));
    EXPECT_EQ(s, 0);
    // "24:15" is 00:15 of the next day.
    ASSERT_TRUE(SecondsFromNow(kZone, now, "2024/05/01 24:15", s));
    EXPECT_EQ(s, 30 * 60);
    ASSERT_TRUE(SecondsFromNow(kZone, now, "2024/05/31 24:00", s));
    EXPECT_EQ(s, At(2024, 6, 1, 0, 0) - now);
    ASSERT_TRUE(SecondsFromNow(kZone, now, "2024/5/2 1:05", s));  // fields end at their separators
    EXPECT_EQ(s, At(2024, 5, 2, 1, 5) - now);
    // The night of the spring change is one hour short.
    const int64_t evening = At(2024, 3, 30, 23, 0);
    ASSERT_TRUE(SecondsFromNow(kZone, evening, "2024/03/31 04:00", s));
    EXPECT_EQ(s, 4 * 3600);
}

TEST(MeetingSchedule, UnreadableTextsAreRefused)
{
    int64_t s = 77;
    for (const char* bad : {"", "2024/05/01 25:00", "2024/05/01 10:60", "2024/05/01 25:99", "2024/13/01 10:00",
                            "2024/02/30 10:00", "2024/05/01 10", "2024/05/01 10:00x", "2024-05-01 10:00",
                            "2024/05/01  10:00", "2024/05/01 1000000000:00", "abcd/05/01 10:00"}) {
        EXPECT_FALSE(SecondsFromNow(kZone, 0, bad, s)) << bad;
        EXPECT_EQ(s, 77) << bad;
    }
}

TEST(MeetingSchedule, SavedTimesAreCheckedBeforeTheyAreSliced)
{
    LocalTime date;
    std::string time = "keep";
    ASSERT_TRUE(SplitSavedTime("2024/05/01 09:30", date, time));
    EXPECT_EQ(Clock(date).substr(0, 10), "2024/05/01");
    EXPECT_EQ(time, "09:30");
    LocalTime untouched;
    for (const char* bad : {"", "2024/05/01", "2024/05/01 9:30", "2024/5/01 09:30", "2024/05/01T09:30",
                            "2024/00/01 09:30", "2024/05/32 09:30", "20x4/05/01 09:30", "2024/05/01 09-30"}) {
        date = untouched;
        time = "keep";
        EXPECT_FALSE(SplitSavedTime(bad, date, time)) << bad;
        EXPECT_EQ(time, "keep") << bad;
        EXPECT_EQ(date.year, untouched.year) << bad;
    }
}

TEST(MeetingSchedule, ScheduleTextAndNextDay)
{
    LocalTime d;
    d.year = 2024;
    d.month = 2;
    d.day = 28;
    EXPECT_EQ(ScheduleText(d, "10:30"), "2024/02/28 10:30");
    EXPECT_EQ(Clock(NextDay(d)).substr(0, 10), "2024/02/29");
    d.year = 2023;
    EXPECT_EQ(Clock(NextDay(d)).substr(0, 10), "2023/03/01");
}

TEST(MeetingSchedule, SystemZoneRoundTrips)
{
    const LocalTime t = SystemZone().FromEpoch(1714555800);  // a whole minute
    EXPECT_EQ(SystemZone().ToEpoch(t), 1714555800);
}

} // namespace
