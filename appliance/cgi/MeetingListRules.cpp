#include "appliance/cgi/MeetingListRules.h"

#include "appliance/cgi/CgiResult.h"

const MeetingRecord* FindMeetingById(const std::vector<MeetingRecord>& list, const std::string& meetingId)
{
    for (const MeetingRecord& m : list)
        if (m.meetingID == meetingId)
            return &m;
    return nullptr;
}

std::optional<JoinReport> JoinReportFor(int32_t result)
{
    switch (result) {
    case CGI_OK: return JoinReport{0, 4212, true, false};
    case CGI_MEETING_PASSWORD_NEEDED: return JoinReport{4213, 4214, false, false};
    case CGI_BAD_PASSWORD_OR_CERT: return JoinReport{4215, 4216, false, false};
    case CGI_MEETING_FULL: return JoinReport{4083, 4084, false, false};
    case CGI_NO_PORTAL: return JoinReport{4085, 4086, false, false};
    case CGI_MEETING_SESSION_FAILED: return JoinReport{4221, 4222, false, false};
    case CGI_NO_MEETING_SETTINGS: return JoinReport{4087, 4088, false, false};
    case CGI_INVITATION_REQUIRED: return JoinReport{4217, 4218, false, false};
    case CGI_NOT_OPEN_YET: return JoinReport{4219, 4220, false, true};
    default: return std::nullopt;
    }
}

unsigned MeetingStateTextId(int32_t meetingState)
{
    switch (meetingState) {
    case 0: return 4257;
    case 1:
    case 3: return 4258;
    case 2: return 4260;
    default: return 0;
    }
}

unsigned SharingStateTextId(int32_t sharingState)
{
    switch (sharingState) {
    case 0: return 4288;
    case 1: return 4289;
    case 2: return 4291;
    case 3: return 4290;
    case 4: return 4292;
    default: return 0;
    }
}

bool MayCancelMeeting(const std::wstring& ownName, const std::wstring& ownerName, int createPermission)
{
    return createPermission != 0 && ownName == ownerName;
}

std::string JoinDateAndTime(const std::string& date, const std::string& time, size_t maxBytes)
{
    std::string joined = date + " " + time;
    if (joined.size() <= maxBytes)
        return joined;
    size_t cut = maxBytes;
    // Back over continuation bytes to the start of the sequence that would be split.
    while (cut > 0 && (static_cast<unsigned char>(joined[cut]) & 0xC0) == 0x80)
        --cut;
    joined.resize(cut);
    return joined;
}
