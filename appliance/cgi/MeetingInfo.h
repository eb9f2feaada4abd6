#pragma once
// One saved (scheduled) meeting.
#include <cstdint>
#include <string>

#include "core/base/s_mem.h"

struct MeetingInfo {
    int32_t rowid = 0;
    std::wstring meetingname;
    s_mem meetingcode;  // StoredSecret of the access code
    std::string meetingstart;
    std::string meetingend;
    std::wstring meetingdescription;
    std::string stamp;
    std::string username;
    std::string domain;
    std::string portal;
    std::wstring requrieemails;
    std::wstring optionalemails;
    std::wstring inviteremail;
    std::wstring custmsg;
};
