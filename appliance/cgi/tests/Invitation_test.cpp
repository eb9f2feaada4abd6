#include "appliance/cgi/Invitation.h"

#include <gtest/gtest.h>

#include "appliance/cgi/CgiConventions.h"
#include "appliance/cgi/CgiResult.h"
#include "appliance/cgi/CgiSession.h"
#include "appliance/cgi/tests/FakeTransport.h"

namespace {

const std::string k200 = "HTTP/1.1 200 OK";

TEST(Invitation, IsValidEmailOutcomesInTheirOrder)
{
    EXPECT_EQ(IsValidEmail(nullptr), -1);
    struct Case {
        const wchar_t* text;
        int expected;
    } cases[] = {
        {L"", 1},
        {L"ann.example.org", 2},  // no "@"
        {L"ann@example", 2},      // no "."
        {L"a!b@x.org", 3},
        {L"a/b@x.org", 3},
        {L"a'b@x.org", 3},
        {L"a\\b@x.org", 3},
        {L"a@x.org,b@x.org", 4},
        {L"a@x.org;", 4},
        {L"!,", 2},          // the "." and "@" test comes first
        {L"a!@x.org,", 3},   // then the characters
        {L"ann@example.org", 0},
    };
    for (const Case& c : cases) {
        const std::wstring t = c.text;
        EXPECT_EQ(IsValidEmail(&t), c.expected);
    }
}

TEST(Invitation, SplitKeepsEmptyPieces)
{
    using V = std::vector<std::wstring>;
    EXPECT_EQ(SplitAddresses(L""), V{});
    EXPECT_EQ(SplitAddresses(L"a"), V{L"a"});
    EXPECT_EQ(SplitAddresses(L"a;"), V{L"a"});
    EXPECT_EQ(SplitAddresses(L"a;;b"), (V{L"a", L"", L"b"}));
    EXPECT_EQ(SplitAddresses(L";"), V{L""});
}

TEST(Invitation, ChecksBeforeAnyRequest)
{
    struct Case {
        const wchar_t* required;
        const wchar_t* optional;
        const wchar_t* coordinator;
        InviteCheck expected;
    } cases[] = {
        {L"", L"", L"", InviteCheck::NoAddress},
        {L"a@x.org;;b@x.org", L"", L"", InviteCheck::NoAddress},
        {L"ann.example.org", L"", L"", InviteCheck::InvalidAddress},
        {L"a!b@x.org", L"", L"", InviteCheck::InvalidCharacters},
        {L"a@x.org", L"b@x.org,c@x.org", L"", InviteCheck::AddressSeparator},
        {L"", L"b@x.org", L"", InviteCheck::Ok},
        {L"a@x.org", L"", L"boss", InviteCheck::InvalidCoordinator},
        {L"a@x.org", L"", L"bo/ss@x.org", InviteCheck::CoordinatorCharacters},
        {L"a@x.org", L"", L"c@x.org,d@x.org", InviteCheck::SeveralCoordinators},
        {L"a@x.org", L"", L"c@x.org", InviteCheck::Ok},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CheckInvitation({c.required, c.optional, c.coordinator, L""}), c.expected) << c.required;
}

TEST(Invitation, RequestBodyByteForByte)
{
    FakeTransport t;
    CgiSession s{t};
    s.sessionId = "abc";
    t.Reply(k200, "error=0&*&*");
    int32_t error = -1;
    EXPECT_EQ(CgiInviteGuests(s, {L"a@x.org", L"b\u00e9@x.org", L"c+d@x.org"}, {}, L"", L"Hi & bye",
                              "Weekly \xc3\xa9", error),
              CGI_OK);
    EXPECT_EQ(error, 0);
    ASSERT_EQ(t.requests.size(), 1u);
    const CgiRequest& r = t.requests[0];
    EXPECT_EQ(r.verb, "POST");
    EXPECT_EQ(r.path, "/cgi-bin/MeetingInvite");
    EXPECT_EQ(r.addHeaders, "Cookie: swap=YWJj\r\n" + std::string(kFormHeaders));
    EXPECT_EQ(r.body,
              "inviteguest=true&invitecount=3&t0=a%40x%2Eorg&t1=b%C3%A9%40x%2Eorg&t2=c%2Bd%40x%2Eorg"
              "&optionalcount=0&custommsg=Hi%20%26%20bye&techemail=&dhsac=true&meetingname=Weekly%20%C3%A9");
}

TEST(Invitation, RepliesAsATable)
{
    struct Case {
        bool received;
        const char* headers;
        const char* body;
        int32_t result;
        int32_t error;
    } cases[] = {
        {false, "", "", CGI_NO_RESPONSE, -1},
        {true, "", "error=0&*&*", CGI_NO_RESPONSE, -1},
        {true, "HTTP/1.1 407 Proxy Authentication Required", "", CGI_PROXY_AUTH_REQUIRED, -1},
        {true, "HTTP/1.1 200 OK", "error=0&*&*", CGI_OK, 0},
        {true, "HTTP/1.1 200 OK", "error=21&*&*", CGI_OK, 21},
        {true, "HTTP/1.1 200 OK", "error=7", CGI_OK, 7},
        {true, "HTTP/1.1 200 OK", "sent", CGI_OK, kInviteErrorUnread},
        {true, "HTTP/1.1 200 OK", "", CGI_OK, kInviteErrorUnread},
        {true, "HTTP/1.1 200 OK", "error=&*&*", CGI_OK, kInviteErrorUnread},
        {true, "HTTP/1.1 200 OK", "error=99999999999999&*&*", CGI_OK, kInviteErrorUnread},
        {true, "HTTP/1.1 200 OK", "error=-3&*&*", CGI_OK, kInviteErrorUnread},
    };
    for (const Case& c : cases) {
        FakeTransport t;
        CgiSession s{t};
        if (c.received)
            t.Reply(c.headers, c.body);
        else
            t.Fail(CgiTransportStatus::SendFailed);
        int32_t error = -1;
        EXPECT_EQ(CgiInviteGuests(s, {L"a@x.org"}, {L"b@x.org"}, L"", L"", "m", error), c.result) << c.body;
        EXPECT_EQ(error, c.error) << c.body;
    }
}

} // namespace
