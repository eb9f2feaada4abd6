#pragma once
// What the active-meetings window makes of the appliance's answers: the row
// a meeting id names, the status and log texts of a join result, the state
// texts of the details, who may cancel a meeting, and the bounded start and
// end texts. The numbers are string-table ids (language packages replace the
// texts by id).
#include "appliance/cgi/MeetingRecord.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The meeting with that id; null when the list has none.
const MeetingRecord* FindMeetingById(const std::vector<MeetingRecord>& list, const std::string& meetingId);

struct JoinReport {
    unsigned statusId;  // 0: no status line (the meeting is entered)
    unsigned logId;
    bool enter;         // post the join to the main thread
    bool minutes;       // the texts take the minutes before the start
};
// The report of a join result; none for a result the window does not name.
std::optional<JoinReport> JoinReportFor(int32_t result);

// String-table id of a meeting's or a sharing state's text; 0 for an empty text.
unsigned MeetingStateTextId(int32_t meetingState);
unsigned SharingStateTextId(int32_t sharingState);

// "Cancel the meeting" is offered to the owner (display names equal) when the
// window was opened with a non-zero create permission.
bool MayCancelMeeting(const std::wstring& ownName, const std::wstring& ownerName, int createPermission);

// "date time" of appliance text, at most maxBytes bytes, cut before a
// UTF-8 sequence that would not fit whole.
std::string JoinDateAndTime(const std::string& date, const std::string& time, size_t maxBytes);

// The longest text of a details start or end value, in bytes.
constexpr size_t kDetailsTimeMax = 63;
// The longest meeting code the code field takes.
constexpr size_t kMeetingCodeMax = 8;
