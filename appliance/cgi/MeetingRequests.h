#pragma once
// Starting, saving, listing, deleting, rescheduling, cancelling and joining
// meetings, and the participant list.
#include <cstdint>
#include <string>
#include <vector>

#include "appliance/cgi/MeetingInfo.h"
#include "appliance/cgi/Participant.h"

struct CgiSession;

// Start mode that starts the meeting at once.
constexpr int32_t kStartNow = 9527;

// 0 (the meeting ID is stored), 1, 48, 49, 51.
int32_t CgiStartMeeting(CgiSession& session, int64_t secondsToStart, int64_t secondsToEnd,
                        int32_t startMode);
// 0, 57, 63 (clash receives the other meeting's name when given).
int32_t CgiSaveMeetingInfo(CgiSession& session, const MeetingInfo* info, int32_t biasMinutes,
                           int32_t saveMode, std::wstring* clash);
// Appends the saved meetings to list: 0, 1, 33, 58.
int32_t CgiGetMeetingInfo(CgiSession& session, std::vector<MeetingInfo>* list, int32_t biasMinutes);
// 0, 1, 59, 60, 61.
int32_t CgiDeleteMeetingInfo(CgiSession& session, const MeetingInfo* info);
// 0, 1, 53.
int32_t CgiRescheduleMeeting(CgiSession& session, int64_t secondsToStart, int64_t secondsToEnd);
// 0, 1, 24.
int32_t CgiCancelMeeting(CgiSession& session, const std::string& meetingId);
// Refills the session's meeting list, or with a meeting ID fetches that one
// meeting into currentMeeting: 0, 1, 24, 33.
int32_t CgiGetMeetingList(CgiSession& session, const std::string* meetingId);
// 0, 1, 45, 46, 50, 51, 52, 55, 56, 62 (minutes receives the wait when given).
int32_t CgiJoinMeeting(CgiSession& session, bool invite, int32_t* minutes);

// Fetches the participant list of the session's meeting into update:
// 0, 24, 33, 47, 54. The caller swaps the result into its list under its lock
// (ApplyParticipantResult), so the exchange itself holds no lock.
int32_t CgiGetParticipants(CgiSession& session, int32_t storedMeetingState,
                           ParticipantUpdate& update);

// What a participant-list result does to the list the program keeps: 0
// replaces it; a reply that the session or meeting is over empties it; a
// failed exchange keeps the previous list. Returns true when list changed.
bool ApplyParticipantResult(int32_t result, ParticipantUpdate&& update,
                            std::vector<Participant>& list);
