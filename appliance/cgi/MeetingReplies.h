#pragma once
// Parsing the meeting list, the saved-meeting list, the participant list and
// the values some meeting replies carry.
#include <cstdint>
#include <string>
#include <vector>

#include "appliance/cgi/MeetingInfo.h"
#include "appliance/cgi/MeetingRecord.h"
#include "appliance/cgi/Participant.h"

// Records are appended only once their CRLF was seen, at most
// kMaxReplyRecords of them from one body. With single given, the
// first record's keys go there and nothing is appended. 0, or 33 when a record
// begins with "sessionExpired" (records before it stay).
int32_t ParseMeetingList(const std::string& body, std::vector<MeetingRecord>& list,
                         MeetingRecord* single);
// The same for saved meetings; each access code is kept as a StoredSecret.
int32_t ParseMeetingInfoList(const std::string& body, std::vector<MeetingInfo>& list);

// 0, 33 ("sessionExpired" first), 54 ("plsessionterminated" anywhere),
// 47 ("InvalidMeeting" first); update is filled only on 0.
int32_t ParseParticipantReply(const std::string& body, ParticipantUpdate& update);

// Minutes of a "{error: BeforeMins N}" join reply; 0 when none are given.
int32_t ParseJoinMinutes(const std::string& body);
// Name of a "{error: same meeting name NAME}" save reply (UTF-8).
std::string ParseSavedNameClash(const std::string& body);
