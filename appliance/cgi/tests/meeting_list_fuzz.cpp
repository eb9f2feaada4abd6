// Meeting and saved-meeting list bodies, and the values of meeting replies.
#include <cstddef>
#include <cstdint>
#include <string>

#include "appliance/cgi/MeetingReplies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string body(reinterpret_cast<const char*>(data), size);
    std::vector<MeetingRecord> meetings;
    MeetingRecord single;
    ParseMeetingList(body, meetings, nullptr);
    ParseMeetingList(body, meetings, &single);
    std::vector<MeetingInfo> saved;
    ParseMeetingInfoList(body, saved);
    ParseJoinMinutes(body);
    ParseSavedNameClash(body);
    return 0;
}
