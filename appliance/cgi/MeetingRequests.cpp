#include "appliance/cgi/MeetingRequests.h"

#include <algorithm>

#include "appliance/cgi/CgiConventions.h"
#include "appliance/cgi/CgiResult.h"
#include "appliance/cgi/CgiSession.h"
#include "appliance/cgi/MeetingReplies.h"
#include "core/base/PlainSecret.h"
#include "appliance/cgi/ReplyText.h"
#include "core/base/TextConvert.h"

namespace {

std::string Utf8(const std::wstring& text) { return WideToAnsi(text, kCodePageUtf8); }

std::string Number(int64_t value) { return UrlEncode(std::to_string(value)); }

// Sends a meeting POST with the session cookie; the body starts with
// "StandAlone=true".
CgiReply Post(CgiSession& session, const char* path, const std::string& body) {
    return Exchange(session, MakeCookiePost(session, path, "StandAlone=true" + body));
}

// The body of a reply that arrived, "" otherwise.
const std::string& BodyOf(const CgiReply& reply) {
    static const std::string kNone;
    return reply.status == CgiTransportStatus::Ok ? reply.body : kNone;
}

// The text between "meeting_id: " and the next CR.
bool MeetingIdOf(const std::string& body, std::string& id) {
    size_t at = body.find("meeting_id: ");
    if (at == std::string::npos) return false;
    size_t start = at + 12;
    size_t cr = body.find('\r', start);
    if (cr == std::string::npos || cr - start > kMaxReplyValue) return false;
    id = body.substr(start, cr - start);
    return true;
}

}  // namespace

int32_t CgiStartMeeting(CgiSession& session, int64_t secondsToStart, int64_t secondsToEnd,
                        int32_t startMode) {
    std::string body = "&submitter=startmeeting&meetingname=" + UrlEncode(session.meetingName);
    {
        PlainSecret password(session.meetingPassword);
        body += "&meetingpass=" + UrlEncode(password.Text());
    }
    if (startMode == kStartNow) body += "&isstartnow=true";
    body += "&seconds2start=" + Number(secondsToStart) + "&seconds2end=" + Number(secondsToEnd) +
            "&meetingdescription=" + UrlEncode(session.meetingDescription);
    CgiReply reply = Post(session, "/cgi-bin/meetingstart", body);
    std::fill(body.begin(), body.end(), '\0');
    const std::string& text = BodyOf(reply);
    std::string id;
    if (MeetingIdOf(text, id)) {
        session.meetingId = id;
        return CGI_OK;
    }
    if (Contains(text, "error: meeting name:")) return CGI_MEETING_NAME_USED;
    if (Contains(text, "error: the max number of meeting")) return CGI_MEETING_LIMIT;
    if (Contains(text, "error: cannot create the meeting under this portal")) return CGI_NO_PORTAL;
    return CGI_FAILED;
}

int32_t CgiSaveMeetingInfo(CgiSession& session, const MeetingInfo* info, int32_t biasMinutes,
                           int32_t saveMode, std::wstring* clash) {
    if (!info) return CGI_SAVE_FAILED;
    std::string body = "&submitter=savemeetinginfo&savemode=" + std::to_string(saveMode);
    if (saveMode == 2) body += "&rowid=" + std::to_string(info->rowid);
    body += "&meetingname=" + UrlEncode(Utf8(info->meetingname));
    {
        PlainSecret code(info->meetingcode);
        body += "&meetingcode=" + UrlEncode(code.Text());
    }
    body += "&meetingstart=" + UrlEncode(info->meetingstart) +
            "&meetingend=" + UrlEncode(info->meetingend) +
            "&meetingdescription=" + UrlEncode(Utf8(info->meetingdescription)) +
            "&requrieemails=" + UrlEncode(Utf8(info->requrieemails)) +
            "&optionalemails=" + UrlEncode(Utf8(info->optionalemails)) +
            "&inviteremail=" + UrlEncode(Utf8(info->inviteremail)) +
            "&custmsg=" + UrlEncode(Utf8(info->custmsg)) + "&stamp=" + UrlEncode(info->stamp) +
            "&biasmin=" + Number(-static_cast<int64_t>(biasMinutes));
    CgiReply reply = Post(session, "/cgi-bin/meetingstart", body);
    std::fill(body.begin(), body.end(), '\0');
    if (reply.status != CgiTransportStatus::Ok || reply.headers.empty()) return CGI_SAVE_FAILED;
    if (Contains(reply.body, "{success: save meeting info}")) return CGI_OK;
    if (Contains(reply.body, "{error: same meeting name ")) {
        if (clash) *clash = AnsiToWide(ParseSavedNameClash(reply.body), kCodePageUtf8);
        return CGI_SAVED_NAME_USED;
    }
    return CGI_SAVE_FAILED;
}

int32_t CgiGetMeetingInfo(CgiSession& session, std::vector<MeetingInfo>* list,
                          int32_t biasMinutes) {
    if (!list) return CGI_NO_LIST;
    CgiReply reply = Post(session, "/cgi-bin/meetingstart",
                          "&submitter=getmeetinginfo&biasmin=" +
                              Number(-static_cast<int64_t>(biasMinutes)));
    if (reply.status != CgiTransportStatus::Ok) return CGI_FAILED;
    return ParseMeetingInfoList(reply.body, *list);
}

int32_t CgiDeleteMeetingInfo(CgiSession& session, const MeetingInfo* info) {
    if (!info) return CGI_NO_SAVED_MEETING;
    CgiReply reply = Post(session, "/cgi-bin/meetingstart",
                          "&submitter=deletemeetinginfo&rowid=" + std::to_string(info->rowid));
    const std::string& text = BodyOf(reply);
    if (Contains(text, "{success: delete meeting info}")) return CGI_OK;
    if (Contains(text, "{error: cannot delete other ones saves}")) return CGI_NOT_OWNER;
    if (Contains(text, "{error: cannot find the meeting info}") || Contains(text, "{error: no rowid}"))
        return CGI_SAVED_MEETING_NOT_FOUND;
    return CGI_FAILED;
}

int32_t CgiRescheduleMeeting(CgiSession& session, int64_t secondsToStart, int64_t secondsToEnd) {
    CgiReply reply = Post(session, "/cgi-bin/meetingstart",
                          "&submitter=reschedule&meetingState=waiting&meetingname=" +
                              UrlEncode(session.meetingName) + "&seconds2start=" +
                              Number(secondsToStart) + "&seconds2end=" + Number(secondsToEnd));
    const std::string& text = BodyOf(reply);
    std::string id;
    if (MeetingIdOf(text, id)) return CGI_OK;
    if (Contains(text, "error: fail to reschedule the meeting")) return CGI_RESCHEDULE_FAILED;
    return CGI_FAILED;
}

int32_t CgiCancelMeeting(CgiSession& session, const std::string& meetingId) {
    CgiReply reply = Post(session, "/cgi-bin/meetingactive",
                          "&action=cancelmeeting&meetingid=" + UrlEncode(meetingId));
    if (reply.status != CgiTransportStatus::Ok) return CGI_FAILED;
    if (reply.headers.empty()) return CGI_NO_RESPONSE;
    return Contains(reply.body, "Cancel Meeting OK") ? CGI_OK : CGI_FAILED;
}

int32_t CgiGetMeetingList(CgiSession& session, const std::string* meetingId) {
    session.meetings.clear();
    std::string body = "&action=getmeetinglist&biasmin=" +
                       UrlEncode(std::to_string(session.utcOffsetMinutes()));
    if (meetingId) body += "&meetingid=" + UrlEncode(*meetingId);
    CgiReply reply = Post(session, "/cgi-bin/meetingactive", body);
    if (reply.status != CgiTransportStatus::Ok) return CGI_FAILED;
    if (reply.headers.empty()) return CGI_NO_RESPONSE;
    // An error page is no list: an empty one would wipe what the user sees.
    if (!StatusCodeIs(reply.headers, "200")) return CGI_FAILED;
    return ParseMeetingList(reply.body, session.meetings, meetingId ? &session.currentMeeting : nullptr);
}

int32_t CgiJoinMeeting(CgiSession& session, bool invite, int32_t* minutes) {
    std::string body = "&submitter=joinmeeting&meetingid=" + UrlEncode(session.meetingId);
    if (invite) {
        body += "&invite=true";
    } else {
        PlainSecret password(session.meetingPassword);
        body += "&meetingpass=" + UrlEncode(password.Text());
    }
    CgiReply reply = Post(session, "/cgi-bin/meetingstart", body);
    std::fill(body.begin(), body.end(), '\0');
    const std::string& text = BodyOf(reply);
    if (Contains(text, "NeedPwd")) return CGI_MEETING_PASSWORD_NEEDED;
    if (Contains(text, "InvalidPwd")) return CGI_BAD_PASSWORD_OR_CERT;
    if (Contains(text, "attendees")) return CGI_MEETING_FULL;
    if (Contains(text, "{error: cannot get the portal")) return CGI_NO_PORTAL;
    if (Contains(text, "{error: cannot find the ParlemoSettings")) return CGI_NO_MEETING_SETTINGS;
    if (Contains(text, "Cannot join the meeting without invitation")) return CGI_INVITATION_REQUIRED;
    if (Contains(text, "{error: BeforeMins ")) {
        if (minutes) *minutes = ParseJoinMinutes(text);
        return CGI_NOT_OPEN_YET;
    }
    if (Contains(text, "error: fail to create parlemo session")) return CGI_MEETING_SESSION_FAILED;
    if (Contains(text, "success")) return CGI_OK;
    return CGI_FAILED;
}

int32_t CgiGetParticipants(CgiSession& session, int32_t storedMeetingState,
                           ParticipantUpdate& update) {
    std::string body = "&action=getparticipants";
    if (storedMeetingState == 1) body += "&waitMsg=true";
    body += "&meetingID=" + UrlEncode(session.meetingId);
    CgiReply reply = Post(session, "/cgi-bin/meetingactive", body);
    if (reply.status != CgiTransportStatus::Ok || reply.headers.empty()) {
        // The list stays as it was (ApplyParticipantResult); say why it did not change.
        const std::string why = reply.status == CgiTransportStatus::Ok
                                    ? std::string("empty reply")
                                    : "error " + std::to_string(reply.error);
        session.log.Print(DHLOG_CAT_MEETING, DHLOG_WARN, false,
                          session.log.EventPrefix() + "Participant list not received (" + why +
                              "); the previous list is kept.\n");
        return CGI_NO_RESPONSE;
    }
    return ParseParticipantReply(reply.body, update);
}

bool ApplyParticipantResult(int32_t result, ParticipantUpdate&& update,
                            std::vector<Participant>& list) {
    switch (result) {
        case CGI_OK:
            list = std::move(update.participants);
            return true;
        case CGI_SESSION_EXPIRED:
        case CGI_SESSION_TERMINATED:
        case CGI_INVALID_MEETING:
            list.clear();
            return true;
        default:
            return false;
    }
}
