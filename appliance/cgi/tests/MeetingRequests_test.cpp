#include "appliance/cgi/MeetingRequests.h"

#include <gtest/gtest.h>

#include "appliance/cgi/CgiConventions.h"
#include "appliance/cgi/CgiResult.h"
#include "appliance/cgi/CgiSession.h"
#include "appliance/cgi/MeetingReplies.h"
#include "core/base/PlainSecret.h"
#include "appliance/cgi/ReplyText.h"
#include "appliance/cgi/tests/FakeTransport.h"
#include "appliance/cgi/tests/LogRecorder.h"
#include "core/base/StoredSecret.h"

namespace {

const std::string k200 = "HTTP/1.1 200 OK";

int32_t FixedOffset() { return -300; }

struct MeetingTest : ::testing::Test {
    FakeTransport t;
    CgiSession s{t};
    MeetingTest() {
        s.sessionId = "abc";
        s.utcOffsetMinutes = FixedOffset;
    }
    void Secret(s_mem& out, const char* text) {
        std::string copy = text;
        ASSERT_EQ(EncryptStoredString(&copy[0], out), 1);
    }
    void ExpectCookiePost(const CgiRequest& r, const char* path) {
        EXPECT_EQ(r.verb, "POST");
        EXPECT_EQ(r.path, path);
        EXPECT_EQ(r.referrer, EncodedReferrer());
        EXPECT_EQ(r.addHeaders, "Cookie: swap=YWJj\r\n" + std::string(kFormHeaders));
        EXPECT_EQ(r.sendHeaders, "");
    }
};

}  // namespace

TEST_F(MeetingTest, StartMeeting) {
    s.meetingName = "Plan \xc3\xa9t\xc3\xa9";
    s.meetingDescription = "a&b";
    Secret(s.meetingPassword, "c0de!");
    t.Reply(k200, "meeting_id: 100002\r\n");
    EXPECT_EQ(CgiStartMeeting(s, -60, 3600, kStartNow), CGI_OK);
    EXPECT_EQ(s.meetingId, "100002");
    ExpectCookiePost(t.requests[0], "/cgi-bin/meetingstart");
    EXPECT_EQ(t.requests[0].body,
              "StandAlone=true&submitter=startmeeting&meetingname=Plan%20%C3%A9t%C3%A9"
              "&meetingpass=c0de%21&isstartnow=true&seconds2start=%2D60&seconds2end=3600"
              "&meetingdescription=a%26b");

    s.meetingPassword.Clear();
    const struct { std::string body; int32_t result; } cases[] = {
        {"meeting_id: 7", CGI_FAILED},  // no CR behind the id
        {"error: meeting name: x", CGI_MEETING_NAME_USED},
        {"error: the max number of meeting", CGI_MEETING_LIMIT},
        {"error: cannot create the meeting under this portal", CGI_NO_PORTAL},
        {"", CGI_FAILED},
    };
    for (const auto& c : cases) {
        t.Reply(k200, c.body);
        EXPECT_EQ(CgiStartMeeting(s, 0, 60, 1), c.result) << c.body;
    }
    EXPECT_EQ(s.meetingId, "100002");
    EXPECT_EQ(t.requests[1].body,
              "StandAlone=true&submitter=startmeeting&meetingname=Plan%20%C3%A9t%C3%A9"
              "&meetingpass=&seconds2start=0&seconds2end=60&meetingdescription=a%26b");
}

TEST_F(MeetingTest, SaveMeetingInfo) {
    EXPECT_EQ(CgiSaveMeetingInfo(s, nullptr, 0, 1, nullptr), CGI_SAVE_FAILED);
    EXPECT_TRUE(t.requests.empty());

    MeetingInfo info;
    info.rowid = 12;
    info.meetingname = L"Review";
    Secret(info.meetingcode, "42");
    info.meetingstart = "2030/01/02 10:00";
    info.meetingend = "2030/01/02 11:00";
    info.requrieemails = L"a@x.org";
    info.stamp = "s1";
    t.Reply(k200, "{success: save meeting info}");
    EXPECT_EQ(CgiSaveMeetingInfo(s, &info, 300, 2, nullptr), CGI_OK);
    ExpectCookiePost(t.requests[0], "/cgi-bin/meetingstart");
    EXPECT_EQ(t.requests[0].body,
              "StandAlone=true&submitter=savemeetinginfo&savemode=2&rowid=12&meetingname=Review"
              "&meetingcode=42&meetingstart=2030%2F01%2F02%2010%3A00&meetingend=2030%2F01%2F02%2011%3A00"
              "&meetingdescription=&requrieemails=a%40x%2Eorg&optionalemails=&inviteremail=&custmsg="
              "&stamp=s1&biasmin=%2D300");

    std::wstring clash;
    t.Reply(k200, "{error: same meeting name R\xc3\xa9view}\r\n");
    EXPECT_EQ(CgiSaveMeetingInfo(s, &info, 0, 1, &clash), CGI_SAVED_NAME_USED);
    EXPECT_EQ(clash, L"R\u00e9view");
    EXPECT_EQ(t.requests[1].body.find("&rowid="), std::string::npos);
    // Fewer than three characters behind the marker: no overrun, a short name.
    t.Reply(k200, "{error: same meeting name }");
    EXPECT_EQ(CgiSaveMeetingInfo(s, &info, 0, 1, &clash), CGI_SAVED_NAME_USED);
    EXPECT_EQ(clash, L"");
    t.Reply("", "{success: save meeting info}");
    EXPECT_EQ(CgiSaveMeetingInfo(s, &info, 0, 1, nullptr), CGI_SAVE_FAILED);
    t.Fail(CgiTransportStatus::SendFailed, 12002);
    EXPECT_EQ(CgiSaveMeetingInfo(s, &info, 0, 1, nullptr), CGI_SAVE_FAILED);
}

TEST_F(MeetingTest, SavedMeetingList) {
    EXPECT_EQ(CgiGetMeetingInfo(s, nullptr, 0), CGI_NO_LIST);
    std::vector<MeetingInfo> list(1);
    t.Reply(k200,
            "meetingname=A;meetingcode=x1;meetingstart=s;meetingend=e;meetingdescription=d;"
            "requrieemails=r;optionalemails=o;inviteremail=i;custmsg=c;username=u;domain=dm;"
            "portal=p;stamp=st;rowid=7;\r\nmeetingname=B;rowid=8;\r\nmeetingname=C;");
    EXPECT_EQ(CgiGetMeetingInfo(s, &list, -60), CGI_OK);
    ASSERT_EQ(list.size(), 3u);  // appended to what was there
    EXPECT_EQ(list[1].meetingname, L"A");
    EXPECT_EQ(PlainSecret(list[1].meetingcode).Text(), "x1");
    EXPECT_EQ(list[1].rowid, 7);
    EXPECT_EQ(list[1].stamp, "st");
    EXPECT_EQ(list[2].rowid, 8);
    EXPECT_EQ(t.requests[0].body, "StandAlone=true&submitter=getmeetinginfo&biasmin=60");

    t.Reply(k200, "sessionExpired");
    EXPECT_EQ(CgiGetMeetingInfo(s, &list, 0), CGI_SESSION_EXPIRED);
    t.Reply("", "");
    EXPECT_EQ(CgiGetMeetingInfo(s, &list, 0), CGI_OK);
    t.Fail(CgiTransportStatus::OpenFailed);
    EXPECT_EQ(CgiGetMeetingInfo(s, &list, 0), CGI_FAILED);
}

TEST_F(MeetingTest, DeleteRescheduleCancel) {
    EXPECT_EQ(CgiDeleteMeetingInfo(s, nullptr), CGI_NO_SAVED_MEETING);
    MeetingInfo info;
    info.rowid = 3;
    const struct { std::string body; int32_t result; } deletes[] = {
        {"{success: delete meeting info}", CGI_OK},
        {"{error: cannot delete other ones saves}", CGI_NOT_OWNER},
        {"{error: cannot find the meeting info}", CGI_SAVED_MEETING_NOT_FOUND},
        {"{error: no rowid}", CGI_SAVED_MEETING_NOT_FOUND},
        {"?", CGI_FAILED},
    };
    for (const auto& c : deletes) {
        t.Reply(k200, c.body);
        EXPECT_EQ(CgiDeleteMeetingInfo(s, &info), c.result) << c.body;
    }
    EXPECT_EQ(t.requests[0].body, "StandAlone=true&submitter=deletemeetinginfo&rowid=3");

    s.meetingName = "M 1";
    t.Reply(k200, "meeting_id: 5\r\n");
    EXPECT_EQ(CgiRescheduleMeeting(s, 3600, 7200), CGI_OK);
    ExpectCookiePost(t.requests.back(), "/cgi-bin/meetingstart");
    EXPECT_EQ(t.requests.back().body,
              "StandAlone=true&submitter=reschedule&meetingState=waiting&meetingname=M%201"
              "&seconds2start=3600&seconds2end=7200");
    t.Reply(k200, "error: fail to reschedule the meeting");
    EXPECT_EQ(CgiRescheduleMeeting(s, 1, 2), CGI_RESCHEDULE_FAILED);
    t.Reply(k200, "meeting_id: 5");
    EXPECT_EQ(CgiRescheduleMeeting(s, 1, 2), CGI_FAILED);

    t.Reply(k200, "Cancel Meeting OK");
    EXPECT_EQ(CgiCancelMeeting(s, "100-1"), CGI_OK);
    ExpectCookiePost(t.requests.back(), "/cgi-bin/meetingactive");
    EXPECT_EQ(t.requests.back().body, "StandAlone=true&action=cancelmeeting&meetingid=100%2D1");
    t.Reply("", "");
    EXPECT_EQ(CgiCancelMeeting(s, "1"), CGI_NO_RESPONSE);
    t.Reply(k200, "no");
    EXPECT_EQ(CgiCancelMeeting(s, "1"), CGI_FAILED);
    t.Fail(CgiTransportStatus::SendFailed, 12002);
    EXPECT_EQ(CgiCancelMeeting(s, "1"), CGI_FAILED);
}

TEST_F(MeetingTest, MeetingList) {
    const std::string rec =
        "meetingID=1;ownerName=J\xc3\xbcrgen;ownerSess=os;meetingName=N;meetingNo=no;meetingDate=d;"
        "meetingTime=t;meetingState=2;sharingState=1;endDate=ed;endTime=et;meetingDescription=de;"
        "waitMsg=w;meetingCount=3;inviteUrl=u;\r\n";
    t.Reply(k200, rec + "meetingID=2;\r\nmeetingID=3;");
    EXPECT_EQ(CgiGetMeetingList(s, nullptr), CGI_OK);
    ExpectCookiePost(t.requests[0], "/cgi-bin/meetingactive");
    EXPECT_EQ(t.requests[0].body, "StandAlone=true&action=getmeetinglist&biasmin=%2D300");
    ASSERT_EQ(s.meetings.size(), 2u);
    const MeetingRecord& m = s.meetings[0];
    EXPECT_EQ(m.ownerName, L"J\u00fcrgen");
    EXPECT_EQ(m.meetingState, 2);
    EXPECT_EQ(m.meetingCount, 3);
    EXPECT_EQ(m.inviteUrl, "u");
    EXPECT_EQ(s.meetings[1].meetingID, "2");

    // Keys out of order: the later key is not seen.
    t.Reply(k200, "meetingState=2;meetingID=9;\r\n");
    EXPECT_EQ(CgiGetMeetingList(s, nullptr), CGI_OK);
    ASSERT_EQ(s.meetings.size(), 1u);
    EXPECT_EQ(s.meetings[0].meetingID, "");
    EXPECT_EQ(s.meetings[0].meetingState, 2);

    const std::string id = "77";
    t.Reply(k200, "meetingID=77;meetingName=One;");
    EXPECT_EQ(CgiGetMeetingList(s, &id), CGI_OK);
    EXPECT_TRUE(s.meetings.empty());
    EXPECT_EQ(s.currentMeeting.meetingName, "One");
    EXPECT_EQ(t.requests.back().body, "StandAlone=true&action=getmeetinglist&biasmin=%2D300&meetingid=77");

    t.Reply(k200, "sessionExpired");
    EXPECT_EQ(CgiGetMeetingList(s, nullptr), CGI_SESSION_EXPIRED);
    EXPECT_TRUE(s.meetings.empty());
    t.Reply("", "");
    EXPECT_EQ(CgiGetMeetingList(s, nullptr), CGI_NO_RESPONSE);
    // An error page is a failure, not an empty list.
    t.Reply("HTTP/1.1 500 Internal Server Error\r\n\r\n", "");
    EXPECT_EQ(CgiGetMeetingList(s, nullptr), CGI_FAILED);
    t.Fail(CgiTransportStatus::OpenFailed);
    EXPECT_EQ(CgiGetMeetingList(s, nullptr), CGI_FAILED);
}

TEST_F(MeetingTest, JoinMeeting) {
    s.meetingId = "100001";
    Secret(s.meetingPassword, "code1");
    t.Reply(k200, "success");
    EXPECT_EQ(CgiJoinMeeting(s, false, nullptr), CGI_OK);
    ExpectCookiePost(t.requests[0], "/cgi-bin/meetingstart");
    EXPECT_EQ(t.requests[0].body, "StandAlone=true&submitter=joinmeeting&meetingid=100001&meetingpass=code1");
    t.Reply(k200, "success");
    EXPECT_EQ(CgiJoinMeeting(s, true, nullptr), CGI_OK);
    EXPECT_EQ(t.requests[1].body, "StandAlone=true&submitter=joinmeeting&meetingid=100001&invite=true");

    const struct { std::string body; int32_t result; } cases[] = {
        {"NeedPwd", CGI_MEETING_PASSWORD_NEEDED},
        {"InvalidPwd", CGI_BAD_PASSWORD_OR_CERT},
        {"attendees success", CGI_MEETING_FULL},
        {"{error: cannot get the portal}", CGI_NO_PORTAL},
        {"{error: cannot find the ParlemoSettings}", CGI_NO_MEETING_SETTINGS},
        {"Cannot join the meeting without invitation", CGI_INVITATION_REQUIRED},
        {"error: fail to create parlemo session", CGI_MEETING_SESSION_FAILED},
        {"what", CGI_FAILED},
    };
    for (const auto& c : cases) {
        t.Reply(k200, c.body);
        EXPECT_EQ(CgiJoinMeeting(s, false, nullptr), c.result) << c.body;
    }
    t.Fail(CgiTransportStatus::SendFailed, 12002);
    EXPECT_EQ(CgiJoinMeeting(s, false, nullptr), CGI_FAILED);
}

TEST(JoinMinutes, BoundedAndClamped) {
    const struct { const char* body; int32_t minutes; } cases[] = {
        {"{error: BeforeMins 15}\r\n", 15},
        {"{error: BeforeMins \r\n", 0},  // CRLF right behind the marker
        {"{error: BeforeMins 20}", 20},
        {"{error: BeforeMins 99999999999999999999999999999999999999}\r\n", 2147483647},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseJoinMinutes(c.body), c.minutes) << c.body;
    FakeTransport t;
    CgiSession s{t};
    int32_t minutes = -1;
    t.Reply(k200, "{error: BeforeMins 15}\r\n");
    EXPECT_EQ(CgiJoinMeeting(s, false, &minutes), CGI_NOT_OPEN_YET);
    EXPECT_EQ(minutes, 15);
}

TEST_F(MeetingTest, ParticipantListRequest) {
    s.meetingId = "M 1";
    ParticipantUpdate u;
    t.Reply(k200,
            "expires=60;meetingState=2;sharingState=1;endDate=ed;endTime=et;meetingName=N;waitMsg=w;"
            "sessionID=s1;name=J\xc3\xbcrgen;role=1;callerRole=1;state=3;viewonly=0;assistpermission=1;\r\n"
            "\r\n"
            "sessionID=s2;name=B;role=0;callerRole=0;state=1;viewonly=1;assistpermission=0;\r\n"
            "sessionID=s3;name=dropped;");
    EXPECT_EQ(CgiGetParticipants(s, 1, u), CGI_OK);
    ExpectCookiePost(t.requests[0], "/cgi-bin/meetingactive");
    EXPECT_EQ(t.requests[0].body, "StandAlone=true&action=getparticipants&waitMsg=true&meetingID=M%201");
    EXPECT_EQ(u.meeting.expires, 60);
    EXPECT_EQ(u.meeting.meetingName, std::string("N"));
    ASSERT_EQ(u.participants.size(), 3u);
    EXPECT_EQ(u.participants[0].name, L"J\u00fcrgen");
    EXPECT_EQ(u.participants[0].assistpermission, 1);
    EXPECT_EQ(u.participants[1].sessionID, "");  // a blank line is an empty entry
    EXPECT_EQ(u.participants[2].viewonly, 1);

    t.Reply(k200, "");
    EXPECT_EQ(CgiGetParticipants(s, 2, u), CGI_OK);
    EXPECT_EQ(t.requests[1].body, "StandAlone=true&action=getparticipants&meetingID=M%201");
}

// A failed exchange keeps the previous list, and says so in the log; a reply,
// whatever it says, is not such a failure.
TEST_F(MeetingTest, ParticipantListFailureIsLogged) {
    LogRecorder log;
    log.Attach(s.log, "\tAnn\t");
    ParticipantUpdate u;
    t.Fail(CgiTransportStatus::SendFailed, 12002);
    EXPECT_EQ(CgiGetParticipants(s, 2, u), CGI_NO_RESPONSE);
    t.Reply("", "");
    EXPECT_EQ(CgiGetParticipants(s, 2, u), CGI_NO_RESPONSE);
    ASSERT_EQ(log.lines.size(), 2u);
    EXPECT_EQ(log.lines[0], (LogRecorder::Line{0x80, 2, false,
                                               "\tAnn\tParticipant list not received (error 12002); "
                                               "the previous list is kept.\n"}));
    EXPECT_EQ(log.lines[1].text, "\tAnn\tParticipant list not received (empty reply); the previous list is kept.\n");

    log.lines.clear();
    t.Reply(k200, "sessionExpired");
    EXPECT_EQ(CgiGetParticipants(s, 2, u), CGI_SESSION_EXPIRED);
    t.Reply(k200, "sessionID=s1;\r\n");
    EXPECT_EQ(CgiGetParticipants(s, 2, u), CGI_OK);
    EXPECT_TRUE(log.lines.empty());
}

TEST(ParticipantReply, ResultsAndListRule) {
    const struct { const char* body; int32_t result; } cases[] = {
        {"sessionExpired plsessionterminated", CGI_SESSION_EXPIRED},
        {"expires=1;\r\nplsessionterminated", CGI_SESSION_TERMINATED},
        {"InvalidMeeting", CGI_INVALID_MEETING},
        {"x InvalidMeeting", CGI_OK},
        {"meetingState=2;expires=5;\r\n", CGI_OK},
    };
    for (const auto& c : cases) {
        ParticipantUpdate u;
        EXPECT_EQ(ParseParticipantReply(c.body, u), c.result) << c.body;
    }
    ParticipantUpdate u;
    ASSERT_EQ(ParseParticipantReply("meetingState=2;expires=5;\r\n", u), CGI_OK);
    EXPECT_EQ(u.meeting.meetingState, 2);
    EXPECT_FALSE(u.meeting.expires.has_value());

    std::vector<Participant> list(2);
    EXPECT_FALSE(ApplyParticipantResult(CGI_NO_RESPONSE, ParticipantUpdate{}, list));
    EXPECT_EQ(list.size(), 2u);  // a failed exchange keeps the list
    ParticipantUpdate one;
    one.participants.resize(1);
    EXPECT_TRUE(ApplyParticipantResult(CGI_OK, std::move(one), list));
    EXPECT_EQ(list.size(), 1u);
    EXPECT_TRUE(ApplyParticipantResult(CGI_SESSION_EXPIRED, ParticipantUpdate{}, list));
    EXPECT_TRUE(list.empty());
}

// A reply of bare line ends must not turn into millions of records: each list
// takes at most kMaxReplyRecords entries from one body.
TEST(ListReplies, RecordCountIsBounded) {
    std::string lines;
    for (size_t i = 0; i < kMaxReplyRecords + 5; ++i) lines += "\r\n";
    std::vector<MeetingRecord> meetings;
    EXPECT_EQ(ParseMeetingList(lines, meetings, nullptr), CGI_OK);
    EXPECT_EQ(meetings.size(), kMaxReplyRecords);
    std::vector<MeetingInfo> saved(1);  // the bound is per reply, not per list
    EXPECT_EQ(ParseMeetingInfoList(lines, saved), CGI_OK);
    EXPECT_EQ(saved.size(), kMaxReplyRecords + 1);
    ParticipantUpdate update;
    EXPECT_EQ(ParseParticipantReply(lines, update), CGI_OK);
    EXPECT_EQ(update.participants.size(), kMaxReplyRecords);
}
