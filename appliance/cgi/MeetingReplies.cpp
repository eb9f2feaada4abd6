#include "appliance/cgi/MeetingReplies.h"

#include <algorithm>

#include "appliance/cgi/KeyedItems.h"
#include "appliance/cgi/ReplyText.h"
#include "core/base/StoredSecret.h"
#include "core/base/TextConvert.h"

namespace {

std::wstring FromUtf8(const std::string& text) { return AnsiToWide(text, kCodePageUtf8); }

void ReadMeetingRecord(KeyedItems& items, MeetingRecord& r) {
    std::string v;
    if (items.Take("meetingID=", v)) r.meetingID = v;
    if (items.Take("ownerName=", v)) r.ownerName = FromUtf8(v);
    if (items.Take("ownerSess=", v)) r.ownerSess = v;
    if (items.Take("meetingName=", v)) r.meetingName = v;
    if (items.Take("meetingNo=", v)) r.meetingNo = v;
    if (items.Take("meetingDate=", v)) r.meetingDate = v;
    if (items.Take("meetingTime=", v)) r.meetingTime = v;
    if (items.Take("meetingState=", v)) r.meetingState = ParseDecimal(v);
    if (items.Take("sharingState=", v)) r.sharingState = ParseDecimal(v);
    if (items.Take("endDate=", v)) r.endDate = v;
    if (items.Take("endTime=", v)) r.endTime = v;
    if (items.Take("meetingDescription=", v)) r.meetingDescription = v;
    if (items.Take("waitMsg=", v)) r.waitMsg = v;
    if (items.Take("meetingCount=", v)) r.meetingCount = ParseDecimal(v);
    if (items.Take("inviteUrl=", v)) r.inviteUrl = v;
}

void ReadMeetingInfo(KeyedItems& items, MeetingInfo& r) {
    std::string v;
    if (items.Take("meetingname=", v)) r.meetingname = FromUtf8(v);
    if (items.Take("meetingcode=", v) && !v.empty()) {
        EncryptStoredString(&v[0], r.meetingcode);
    }
    if (items.Take("meetingstart=", v)) r.meetingstart = v;
    if (items.Take("meetingend=", v)) r.meetingend = v;
    if (items.Take("meetingdescription=", v)) r.meetingdescription = FromUtf8(v);
    if (items.Take("requrieemails=", v)) r.requrieemails = FromUtf8(v);
    if (items.Take("optionalemails=", v)) r.optionalemails = FromUtf8(v);
    if (items.Take("inviteremail=", v)) r.inviteremail = FromUtf8(v);
    if (items.Take("custmsg=", v)) r.custmsg = FromUtf8(v);
    if (items.Take("username=", v)) r.username = v;
    if (items.Take("domain=", v)) r.domain = v;
    if (items.Take("portal=", v)) r.portal = v;
    if (items.Take("stamp=", v)) r.stamp = v;
    if (items.Take("rowid=", v)) r.rowid = ParseDecimal(v);
}

void ReadParticipant(KeyedItems& items, Participant& p) {
    std::string v;
    if (items.Take("sessionID=", v)) p.sessionID = v;
    if (items.Take("name=", v)) p.name = FromUtf8(v);
    if (items.Take("role=", v)) p.role = ParseDecimal(v);
    if (items.Take("callerRole=", v)) p.callerRole = ParseDecimal(v);
    if (items.Take("state=", v)) p.state = ParseDecimal(v);
    if (items.Take("viewonly=", v)) p.viewonly = ParseDecimal(v);
    if (items.Take("assistpermission=", v)) p.assistpermission = ParseDecimal(v);
}

template <typename Record, typename Reader>
int32_t ParseRecords(const std::string& body, std::vector<Record>& list, Record* single,
                     Reader read) {
    KeyedItems items(body);
    for (size_t taken = 0; !items.AtEnd() && taken < kMaxReplyRecords; ++taken) {
        if (items.At("sessionExpired")) return 33;
        Record record;
        read(items, record);
        if (single) {
            *single = std::move(record);
            return 0;
        }
        if (!items.NextRecord()) break;
        list.push_back(std::move(record));
    }
    return 0;
}

}  // namespace

int32_t ParseMeetingList(const std::string& body, std::vector<MeetingRecord>& list,
                         MeetingRecord* single) {
    return ParseRecords(body, list, single, ReadMeetingRecord);
}

int32_t ParseMeetingInfoList(const std::string& body, std::vector<MeetingInfo>& list) {
    return ParseRecords<MeetingInfo>(body, list, nullptr, ReadMeetingInfo);
}

int32_t ParseParticipantReply(const std::string& body, ParticipantUpdate& update) {
    if (body.compare(0, 14, "sessionExpired") == 0) return 33;
    if (Contains(body, "plsessionterminated")) return 54;
    if (body.compare(0, 14, "InvalidMeeting") == 0) return 47;
    ParticipantUpdate parsed;
    KeyedItems items(body);
    MeetingStatus& m = parsed.meeting;
    std::string v;
    if (items.Take("expires=", v)) m.expires = ParseDecimal(v);
    if (items.Take("meetingState=", v)) m.meetingState = ParseDecimal(v);
    if (items.Take("sharingState=", v)) m.sharingState = ParseDecimal(v);
    if (items.Take("endDate=", v)) m.endDate = v;
    if (items.Take("endTime=", v)) m.endTime = v;
    if (items.Take("meetingName=", v)) m.meetingName = v;
    if (items.Take("waitMsg=", v)) m.waitMsg = v;
    while (!items.Ended() && parsed.participants.size() < kMaxReplyRecords) {
        Participant p;
        ReadParticipant(items, p);
        if (!items.NextRecord()) break;
        parsed.participants.push_back(std::move(p));
    }
    update = std::move(parsed);
    return 0;
}

int32_t ParseJoinMinutes(const std::string& body) {
    static const char kMarker[] = "{error: BeforeMins ";
    size_t at = body.find(kMarker);
    if (at == std::string::npos) return 0;
    size_t start = at + sizeof kMarker - 1;
    size_t end = std::min(body.find("\r\n", start), body.size());
    return ParseDecimal(body.substr(start, std::min<size_t>(end - start, 31)));
}

std::string ParseSavedNameClash(const std::string& body) {
    static const char kMarker[] = "{error: same meeting name ";
    size_t at = body.find(kMarker);
    if (at == std::string::npos) return std::string();
    size_t start = at + sizeof kMarker - 1;
    size_t end = body.find_first_of("\r\n", start);
    if (end == std::string::npos) end = body.size();
    if (end > start && body[end - 1] == '}') --end;
    return body.substr(start, std::min(end - start, kMaxReplyValue));
}
