#pragma once
// One participant as the appliance reports it, and the meeting-level values
// that come with the participant list.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct Participant {
    std::string sessionID;
    std::wstring name;
    int32_t role = 0;          // 1 = host
    int32_t callerRole = 0;    // 1 coordinator, 2 assistant
    int32_t state = 0;
    int32_t viewonly = 0;
    int32_t assistpermission = 0;
};

// The meeting section of a participant-list reply; a value is set only when
// its key was in the reply.
struct MeetingStatus {
    std::optional<int32_t> expires;
    std::optional<int32_t> meetingState;
    std::optional<int32_t> sharingState;
    std::optional<std::string> endDate;
    std::optional<std::string> endTime;
    std::optional<std::string> meetingName;
    std::optional<std::string> waitMsg;
};

struct ParticipantUpdate {
    MeetingStatus meeting;
    std::vector<Participant> participants;
};
