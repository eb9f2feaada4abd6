#include "appliance/cgi/MeetingSchedule.h"

#include <ctime>

// The thread-safe local-time conversion of the platform.
void SystemLocalParts(std::time_t t, std::tm& parts);

namespace {

// The C library's conversions, as the form's times are read on every system.
class CLibraryZone : public LocalZone {
public:
    LocalTime FromEpoch(int64_t seconds) const override
    {
        const std::time_t t = static_cast<std::time_t>(seconds);
        std::tm parts{};
        SystemLocalParts(t, parts);
        LocalTime out;
        out.year = parts.tm_year + 1900;
        out.month = parts.tm_mon + 1;
        out.day = parts.tm_mday;
        out.hour = parts.tm_hour;
        out.minute = parts.tm_min;
        return out;
    }
    int64_t ToEpoch(const LocalTime& time) const override
    {
        std::tm parts{};
        parts.tm_year = time.year - 1900;
        parts.tm_mon = time.month - 1;
        parts.tm_mday = time.day;
        parts.tm_hour = time.hour;
        parts.tm_min = time.minute;
        parts.tm_isdst = -1;  // the system decides daylight saving
        return static_cast<int64_t>(std::mktime(&parts));
    }
};

} // namespace

const LocalZone& SystemZone()
{
    static const CLibraryZone zone;
    return zone;
}
