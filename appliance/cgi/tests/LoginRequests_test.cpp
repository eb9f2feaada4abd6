#include "appliance/cgi/LoginRequests.h"

#include <gtest/gtest.h>

#include <cstring>

#include "appliance/cgi/CgiConventions.h"
#include "appliance/cgi/CgiResult.h"
#include "appliance/cgi/CgiSession.h"
#include "appliance/cgi/LoginReplies.h"
#include "appliance/cgi/ReplyText.h"
#include "appliance/cgi/tests/FakeTransport.h"
#include "appliance/cgi/tests/LogRecorder.h"
#include "core/base/StoredSecret.h"

namespace {

const std::string kOk = "HTTP/1.1 200 OK\r\nserverversion: 8.0.0.6-1sv";
const std::string kForm =
    "Accept-Language: en-us\r\nContent-Type: application/x-www-form-urlencoded\r\n"
    "Accept-Encoding: gzip, deflate\r\n";

struct LoginTest : ::testing::Test {
    FakeTransport t;
    CgiSession s{t};
    void SetPassword(const char* text) {
        std::string copy = text;
        ASSERT_EQ(EncryptStoredString(&copy[0], s.password), 1);
    }
};

}  // namespace

TEST_F(LoginTest, QueryDomainsSendsTheCookieGet) {
    s.sessionId = "abc";
    t.Reply(kOk, "domain=LocalDB;authType=1\r\ndomain=Radius Users;authType=3\r\n");
    EXPECT_EQ(CgiQueryDomains(s), CGI_OK);
    ASSERT_EQ(t.requests.size(), 1u);
    const CgiRequest& r = t.requests[0];
    EXPECT_EQ(r.verb, "GET");
    EXPECT_EQ(r.path, "/cgi-bin/userLogin?callerRole=1&QueryDomain=true");
    EXPECT_EQ(r.referrer, "https%3A%2F%2Flocalhost%2Fcgi%2Dbin%2Fwelcome");
    EXPECT_EQ(r.addHeaders,
              "Cookie: swap=YWJj; Bar=0; lastFolderClicked=IMG00; 555=/cgi-bin/status; apportal=107");
    EXPECT_EQ(r.sendHeaders, "");
    EXPECT_EQ(r.body, "");
    ASSERT_EQ(s.domains.size(), 2u);
    EXPECT_EQ(s.domains[1].name, "Radius Users");
    EXPECT_EQ(s.domains[1].authType, 3);

    s.sendClientVersion = 1;
    s.sessionId.clear();
    t.Reply(kOk, "");
    EXPECT_EQ(CgiQueryDomains(s), CGI_NO_RESPONSE);
    EXPECT_EQ(t.requests[1].path, "/cgi-bin/userLogin?callerRole=1&QueryDomain=true&clientversion=134217734");
    EXPECT_EQ(t.requests[1].addHeaders.compare(0, 15, "Cookie: swap=; "), 0);
}

TEST_F(LoginTest, QueryDomainsReplies) {
    const struct { std::string headers, body; int32_t result; } cases[] = {
        {"", "", CGI_NO_RESPONSE},
        {"HTTP/1.1 407 Proxy Authentication Required\r\nserverversion: 8.0.0.6-1sv", "", CGI_PROXY_AUTH_REQUIRED},
        {kOk + "\r\nX-KE-geobot: denied here", "domain=a", CGI_GEOIP_DENIED},
        {"HTTP/1.1 200 OK", "domain=a;authType=1\r\n", CGI_SERVER_TOO_OLD},
        {"HTTP/1.1 200 OK\r\nserverversion: 5.9.9.9-99sv\r\nneedupgrade: 1", "", CGI_SERVER_TOO_OLD},
        {kOk + "\r\nneedupgrade: 1\r\nupgraderequired: 1", "", CGI_NEED_UPGRADE},
        {kOk + "\r\nupgraderequired: 1", "", CGI_UPGRADE_REQUIRED},
        {kOk, "", CGI_NO_RESPONSE},
        {kOk, "error:no available domains\r\n", CGI_NO_PORTAL},
        {kOk, "nothing\r\n", CGI_OK},
    };
    for (const auto& c : cases) {
        t.Reply(c.headers, c.body);
        EXPECT_EQ(CgiQueryDomains(s), c.result) << c.headers << "|" << c.body;
    }
    t.Fail(CgiTransportStatus::SendFailed, 12029);
    EXPECT_EQ(CgiQueryDomains(s), CGI_SERVER_UNREACHABLE);
    t.Fail(CgiTransportStatus::OpenFailed);
    EXPECT_EQ(CgiQueryDomains(s), CGI_NO_RESPONSE);
}

TEST(DomainList, EachEntryReadsOnlyItsOwnLine) {
    auto list = ParseDomainList(
        "domain=NoSemi\r\ndomain=NoType;\r\ndomain=Typed;authType=4\r\ndomain=Last;authType=x");
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].name, "NoSemi");
    EXPECT_EQ(list[0].authType, 1);
    EXPECT_EQ(list[1].name, "NoType");
    EXPECT_EQ(list[1].authType, 1);  // not the next entry's type
    EXPECT_EQ(list[2].authType, 4);
    EXPECT_EQ(list[3].authType, 0);
}

TEST_F(LoginTest, UserLoginBodyAndHeaders) {
    s.displayName = L"J\u00fcrgen W";
    SetPassword("p&ss w\xc3\xb6rd");
    s.domain = "Local-DB";
    t.Reply("HTTP/1.1 200 OK\r\nSet-Cookie: swap=c2Vzcw==; path=/", "");
    EXPECT_EQ(CgiUserLogin(s), CGI_OK);
    EXPECT_EQ(s.sessionId, "sess");
    const CgiRequest& r = t.requests[0];
    EXPECT_EQ(r.verb, "POST");
    EXPECT_EQ(r.path, "/cgi-bin/userLogin");
    EXPECT_EQ(r.referrer, "https://localhost/cgi-bin/welcome");
    EXPECT_EQ(r.addHeaders, "");
    EXPECT_EQ(r.sendHeaders, kForm + "X-KE-SESSIONPROMPT: true\r\n");
    EXPECT_EQ(r.body,
              "username=J%C3%BCrgen%20W&password=p%26ss%20w%C3%B6rd&domain=Local%2DDB"
              "&login=true&login.x=0&login.y=0&callerRole=1");

    s.password.Clear();
    s.domain.clear();
    s.portal = "Portal 2";
    s.pendingId = "77";
    s.sendClientVersion = 1;
    t.Reply("HTTP/1.1 200 OK", "");
    EXPECT_EQ(CgiUserLogin(s), CGI_LOGIN_FAILED);
    EXPECT_EQ(t.requests[1].body,
              "username=J%C3%BCrgen%20W&password=&portalname=Portal%202&clientversion=134217734"
              "&pendingId=77&login=true&login.x=0&login.y=0&callerRole=1");
}

TEST_F(LoginTest, UserLoginReplies) {
    const std::string c = "HTTP/1.1 200 OK\r\nSet-Cookie: swap=c2Vzcw==; path=/";
    const struct { std::string headers, body; int32_t result; } cases[] = {
        {"", "", CGI_NO_RESPONSE},
        {"HTTP/1.1 407 Proxy Authentication Required", "", CGI_PROXY_AUTH_REQUIRED},
        {c + "\r\nX-KE-geobot: blocked", "", CGI_GEOIP_DENIED},
        {c + "\r\nmultiportal: 1", "portal:P1\r\nportal:P2\r\n", CGI_MULTIPLE_PORTALS},
        {c + "\r\nnoenableportal: 1", "", CGI_NO_PORTAL},
        {c + "\r\nX-KE-pwdexpdays: -1\r\nX-KE-tf: 1\r\nX-KE-pendingId: 5", "", CGI_PASSWORD_EXPIRY},
        {c + "\r\nX-KE-tf: 1", "", CGI_SECOND_STEP},
        {"HTTP/1.1 200 OK\r\nX-KE-tf: 1", "", CGI_SECOND_STEP},
        {c + "\r\nX-KE-tf: 0", "", CGI_OK},
        {c + "\r\nX-KE-tf:\r\nX-KE-pendingId: 9", "", CGI_SESSION_EXISTS},
        {"HTTP/1.1 200 OK\r\nSet-Cookie: swap=***; path=/", "", CGI_LOGIN_FAILED},
    };
    for (const auto& k : cases) {
        t.Reply(k.headers, k.body);
        EXPECT_EQ(CgiUserLogin(s), k.result) << k.headers;
    }
    t.Fail(CgiTransportStatus::SendFailed, 12029);
    EXPECT_EQ(CgiUserLogin(s), CGI_NO_RESPONSE);
}

TEST_F(LoginTest, UserLoginStoresWhatTheReplyCarries) {
    s.sessionId = "old";
    t.Reply("HTTP/1.1 200 OK\r\nmultiportal: 1\r\nSet-Cookie: swap=bmV3; path=/",
            "portal:P1\r\nportal:P 2\r\n");
    EXPECT_EQ(CgiUserLogin(s), CGI_MULTIPLE_PORTALS);
    EXPECT_EQ(s.portals, (std::vector<std::string>{"P1", "P 2"}));
    EXPECT_EQ(s.sessionId, "old");  // the cookie of a portal choice is not taken

    t.Reply("HTTP/1.1 200 OK\r\nSet-Cookie: swap=bmV3; path=/\r\nX-KE-maychangepwd: 1\r\n"
            "X-KE-pwdexpdays: 5\r\nX-KE-tf: 3\r\nX-KE-rsastate: st-1\r\nX-KE-message: hello there",
            "");
    EXPECT_EQ(CgiUserLogin(s), CGI_SECOND_STEP);
    EXPECT_EQ(s.sessionId, "new");
    EXPECT_EQ(s.mayChangePassword, 1);
    EXPECT_EQ(s.passwordExpiry, 1);
    EXPECT_EQ(s.passwordExpiryDays, 5);
    EXPECT_EQ(s.secondStepKind, 3);
    EXPECT_EQ(s.pstate, "st-1\r");  // goes back as sent
    EXPECT_EQ(s.serverMessage, "hello there");

    t.Reply("HTTP/1.1 200 OK\r\nX-KE-pendingId: p-42 \r\n", "");
    EXPECT_EQ(CgiUserLogin(s), CGI_SESSION_EXISTS);
    EXPECT_EQ(s.pendingId, "p-42");
}

TEST_F(LoginTest, ClientCertificateSteps) {
    s.clientCertRequired = 1;
    EXPECT_EQ(CgiUserLogin(s), CGI_CLIENT_CERT_UNAVAILABLE);
    EXPECT_TRUE(t.requests.empty());

    s.clientCertRequired = 0;
    CgiReply need;
    need.status = CgiTransportStatus::SendFailed;
    need.error = kErrorClientCertNeeded;
    need.clientCertStoreRead = true;
    need.clientCerts = {{"Alice", "Local CA", std::string(40, 'a')}};
    t.Queue(need);
    EXPECT_EQ(CgiUserLogin(s), CGI_CLIENT_CERT_NEEDED);
    ClientCertEntry e;
    EXPECT_EQ(GetClientCertEntry(s, 0, e), 0);
    EXPECT_EQ(e.subject, "Alice");
    EXPECT_EQ(GetClientCertEntry(s, 1, e), 1);

    need.clientCertStoreRead = false;
    t.Queue(need);
    EXPECT_EQ(CgiUserLogin(s), CGI_CLIENT_CERT_UNAVAILABLE);
}

TEST_F(LoginTest, GuestLoginBodyAndReplies) {
    s.displayName = L"Guest One";
    t.Reply(kOk + "\r\nSet-Cookie: swap=Z3N0; path=/", "");
    EXPECT_EQ(CgiGuestLogin(s), CGI_OK);
    EXPECT_EQ(s.sessionId, "gst");
    const CgiRequest& r = t.requests[0];
    EXPECT_EQ(r.verb, "POST");
    EXPECT_EQ(r.path, "/cgi-bin/userLogin");
    EXPECT_EQ(r.referrer, "https://localhost/cgi-bin/welcome");
    EXPECT_EQ(r.sendHeaders, kForm);
    EXPECT_EQ(r.body, "guestLogin=meeting&guestuser=Guest%20One&callerRole=0");

    s.portal = "P";
    s.sendClientVersion = 1;
    const std::string cookie = "\r\nSet-Cookie: swap=Z3N0; path=/";
    const struct { std::string headers, body; int32_t result; } cases[] = {
        {"", "", CGI_NO_RESPONSE},
        {"HTTP/1.1 407 Proxy Authentication Required\r\nX-KE-geobot: x", "", CGI_PROXY_AUTH_REQUIRED},
        {kOk + "\r\nX-KE-geobot: nope", "", CGI_GEOIP_DENIED},
        {"HTTP/1.1 200 OK" + cookie, "", CGI_SERVER_TOO_OLD},
        {"HTTP/1.1 200 OK\r\nserverversion: 6.0.0.0-7sv", "", CGI_SERVER_TOO_OLD},
        {kOk + "\r\nneedupgrade: 1\r\nupgraderequired: 1", "", CGI_NEED_UPGRADE},
        {kOk + "\r\nupgraderequired: 1", "", CGI_UPGRADE_REQUIRED},
        {kOk + "\r\nmultiportal: 1" + cookie, "portal:A\r\nportal:B\r\nportal:C\r\n", CGI_MULTIPLE_PORTALS},
        {kOk, "", CGI_LOGIN_FAILED},
        {kOk + cookie, "error:no available portal", CGI_NO_PORTAL},
    };
    for (const auto& c : cases) {
        t.Reply(c.headers, c.body);
        EXPECT_EQ(CgiGuestLogin(s), c.result) << c.headers;
    }
    EXPECT_EQ(t.requests[1].body,
              "guestLogin=meeting&guestuser=Guest%20One&portalname=P&clientversion=134217734&callerRole=0");
    EXPECT_EQ(s.portals.size(), 3u);
}

TEST_F(LoginTest, GuestLoginMessageNeedsNoLoginWindow) {
    t.Reply(kOk + "\r\nSet-Cookie: swap=Z3N0; path=/\r\nX-KE-message: Welcome", "");
    EXPECT_EQ(CgiGuestLogin(s), CGI_OK);
    EXPECT_EQ(s.serverMessage, "Welcome");
}

TEST_F(LoginTest, LogoutSendsTheCookieGetAndAlwaysSignsOut) {
    s.sessionId = "abc";
    s.signedIn = 1;
    t.Fail(CgiTransportStatus::SendFailed, 12029);
    EXPECT_EQ(CgiUserLogout(s), CGI_OK);
    EXPECT_EQ(s.signedIn, 0);
    const CgiRequest& r = t.requests[0];
    EXPECT_EQ(r.verb, "GET");
    EXPECT_EQ(r.path, "/cgi-bin/userLogout");
    EXPECT_EQ(r.referrer, "https://localhost/cgi-bin/welcome");
    EXPECT_EQ(r.addHeaders, GetCookieLine(s));
}

// The logout line is written once the request was opened and its cookie set,
// whatever the send gave; the session counts as signed out in every case.
TEST_F(LoginTest, LogoutIsLoggedOnceTheRequestWasOpened) {
    LogRecorder log;
    log.Attach(s.log, "Host(Coordinator)\tAnn\t");
    const struct { CgiTransportStatus status; bool logged; } cases[] = {
        {CgiTransportStatus::Ok, true},
        {CgiTransportStatus::SendFailed, true},
        {CgiTransportStatus::OpenFailed, false},
        {CgiTransportStatus::HeadersFailed, false},
    };
    for (const auto& c : cases) {
        log.lines.clear();
        s.signedIn = 1;
        if (c.status == CgiTransportStatus::Ok)
            t.Reply("HTTP/1.1 200 OK", "");
        else
            t.Fail(c.status, 12029);
        EXPECT_EQ(CgiUserLogout(s), CGI_OK);
        EXPECT_EQ(s.signedIn, 0);
        if (c.logged) {
            ASSERT_EQ(log.lines.size(), 1u) << static_cast<int>(c.status);
            EXPECT_EQ(log.lines[0], (LogRecorder::Line{0x08, 3, false, "Host(Coordinator)\tAnn\tLogout.\n"}));
        } else {
            EXPECT_TRUE(log.lines.empty()) << static_cast<int>(c.status);
        }
    }
    // No logger bound: nothing to write to, and the logout still completes.
    s.log = CgiLog{};
    t.Reply("HTTP/1.1 200 OK", "");
    EXPECT_EQ(CgiUserLogout(s), CGI_OK);
}

// Domain and portal lists are bounded like every other list reply.
TEST(DomainList, EntryCountIsBounded) {
    std::string domains, portals;
    for (size_t i = 0; i < kMaxReplyRecords + 5; ++i) {
        domains += "domain=\r\n";
        portals += "portal:\r\n";
    }
    EXPECT_EQ(ParseDomainList(domains).size(), kMaxReplyRecords);
    std::vector<std::string> list;
    ReadPortalList(portals, list);
    EXPECT_EQ(list.size(), kMaxReplyRecords);
}
