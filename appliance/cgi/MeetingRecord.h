#pragma once
// One active meeting as the meeting list reports it.
#include <cstdint>
#include <string>

struct MeetingRecord {
    std::string meetingID;
    std::string meetingName;  // UTF-8 as sent
    std::wstring ownerName;
    std::string ownerSess;
    std::string meetingNo;
    std::string meetingDate;
    std::string meetingTime;
    std::string waitMsg;
    int32_t meetingState = 0;
    int32_t sharingState = 0;
    std::string endDate;
    std::string endTime;
    int32_t meetingCount = 0;
    std::string meetingDescription;
    std::string inviteUrl;
};
