// The requests against the local appliance over real HTTPS with WinHTTP.
#include <gtest/gtest.h>

#include <cstring>

#include "appliance/https/CHttpsClient_win.h"
#include "appliance/cgi/CgiConventions.h"
#include "appliance/cgi/CgiResult.h"
#include "appliance/cgi/CgiSession.h"
#include "appliance/cgi/LoginRequests.h"
#include "appliance/cgi/MeetingRequests.h"
#include "appliance/cgi/SessionRequests.h"
#include "appliance/https/WinHttpTransport_win.h"
#include "appliance/https/tests/Peers_win.h"
#include "core/base/StoredSecret.h"

namespace {

void Secret(s_mem& out, const char* text) {
    std::string copy = text;
    ASSERT_EQ(EncryptStoredString(&copy[0], out), 1);
}

struct Appliance {
    WinHttpTransport transport;
    CgiSession s{transport};
    explicit Appliance(const char* portKey = "appliance_port") {
        s.applianceHost = "localhost";
        s.appliancePort = TestPeers().Port(portKey);
    }
};

size_t LogSize(const char* key = "request_log") { return ReadRequestLog(TestPeers()[key]).size(); }

LoggedRequest Last() {
    auto log = ReadRequestLog(TestPeers()["request_log"]);
    return log.empty() ? LoggedRequest{} : log.back();
}

// What every request carries, whoever sends it.
void ExpectCommon(const LoggedRequest& r, const char* method, const std::string& target, bool plainReferrer) {
    EXPECT_EQ(r.head.substr(0, r.head.find("\r\n")), std::string(method) + " " + target + " HTTP/1.1");
    EXPECT_EQ(r.Header("User-Agent"), kUserAgent);
    EXPECT_EQ(r.Header("Referer"), plainReferrer ? PlainReferrer() : EncodedReferrer());
    EXPECT_EQ(r.Header("Host"), "localhost:" + TestPeers()["appliance_port"]);
    // Only the form block asks for compressed replies.
    EXPECT_EQ(r.Header("Accept-Encoding"), std::string(method) == "GET" ? "<absent>" : "gzip, deflate");
}

void ExpectForm(const LoggedRequest& r, const std::string& body) {
    EXPECT_EQ(r.Header("Accept-Language"), "en-us");
    EXPECT_EQ(r.Header("Content-Type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(r.Header("Content-Length"), std::to_string(body.size()));
    EXPECT_EQ(r.body, body);
}

}  // namespace

// Before the run's CA is trusted.
// Run before the run's CA is trusted (with_peers.sh runs this suite alone).
TEST(UntrustedCertificate, CheckRefusesAndShowsTheCertificate) {
    Appliance a;
    EXPECT_EQ(CgiCheckServerCert(a.s), CGI_BAD_PASSWORD_OR_CERT);
    EXPECT_TRUE(a.s.serverCertKnown);
    EXPECT_EQ(a.s.serverCert.thumbprint, TestPeers()["server_sha1"]);
    EXPECT_NE(a.s.serverCert.subject.find("localhost"), std::string::npos);
    EXPECT_FALSE(a.s.serverCert.der.empty());
    // What the certificate alert shows: why it was refused, and the
    // algorithms by name.
    EXPECT_EQ(a.s.lastSecureFailureFlags, static_cast<uint32_t>(WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA));
    EXPECT_EQ(a.s.serverCert.signatureAlgorithm, "sha256RSA");
    EXPECT_EQ(a.s.serverCert.encryptionAlgorithm, "RSA");
    EXPECT_EQ(a.s.serverCert.keySize, 2048u);
    // Wine's WinHTTP does not tell the negotiated version; Windows does.
    const std::string& protocol = a.s.serverCert.protocol;
    EXPECT_TRUE(protocol.empty() || protocol.rfind("TLS 1.", 0) == 0) << protocol;
    // Requests with credentials never reach an appliance that is not trusted.
    size_t before = LogSize();
    a.s.displayName = L"alice";
    Secret(a.s.password, "secret");
    EXPECT_EQ(CgiUserLogin(a.s), CGI_NO_RESPONSE);
    EXPECT_EQ(CgiQueryDomains(a.s), CGI_SERVER_UNREACHABLE);
    EXPECT_EQ(LogSize(), before);
}

TEST(UntrustedCertificate, AcceptedForThatHostPortAndCertificateOnly) {
    Appliance a;
    a.s.acceptedCert = {"localhost", a.s.appliancePort, TestPeers()["server_sha1"]};
    EXPECT_EQ(CgiQueryDomains(a.s), CGI_OK);
    ASSERT_EQ(a.s.domains.size(), 1u);
    EXPECT_EQ(a.s.domains[0].name, "LocalDB");

    // The rogue appliance on another port: the acceptance does not reach it,
    // and the thumbprint of another certificate does not either.
    Appliance rogue("rogue_port");
    rogue.s.acceptedCert = a.s.acceptedCert;
    EXPECT_EQ(CgiQueryDomains(rogue.s), CGI_SERVER_UNREACHABLE);
    EXPECT_EQ(LogSize("rogue_log"), 0u);
    rogue.s.acceptedCert = {"localhost", rogue.s.appliancePort, TestPeers()["server_sha1"]};
    EXPECT_EQ(CgiQueryDomains(rogue.s), CGI_SERVER_UNREACHABLE);
    // The password never reaches a server whose certificate is not the
    // accepted one (Wine still sends the refused request, so its body is
    // wiped before it goes).
    rogue.s.displayName = L"alice";
    Secret(rogue.s.password, "secret");
    EXPECT_EQ(CgiUserLogin(rogue.s), CGI_NO_RESPONSE);
    for (const LoggedRequest& r : ReadRequestLog(TestPeers()["rogue_log"]))
        EXPECT_EQ(r.body.find("secret"), std::string::npos) << r.body;
    EXPECT_EQ(CgiCheckServerCert(rogue.s), CGI_BAD_PASSWORD_OR_CERT);
    EXPECT_EQ(rogue.s.serverCert.thumbprint, TestPeers()["rogue_sha1"]);
    rogue.s.acceptedCert.thumbprint = TestPeers()["rogue_sha1"];
    EXPECT_EQ(CgiQueryDomains(rogue.s), CGI_OK);
    EXPECT_EQ(rogue.s.domains.size(), 1u);
}

// Run alone, between the untrusted and the trusted runs: the system's chain
// engine reads the trusted roots once per process.
TEST(InstallTestCa, AddsTheRunsCaToTheTrustedRoots) { ASSERT_TRUE(InstallTestCa()); }

class Trusted : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(ControlPost("/__control/faults/clear", "{}")); }
};

TEST_F(Trusted, CertificateCheckPassesOnceTheCaIsTrusted) {
    Appliance a;
    EXPECT_EQ(CgiCheckServerCert(a.s), CGI_FAILED);  // no certificate problem
    ExpectCommon(Last(), "POST", "/cgi-bin/welcome?standalone=true&checkcert=true", false);
    ExpectForm(Last(), "");
    // The same appliance by its address: a trusted certificate for another name.
    a.s.applianceHost = "127.0.0.1";
    EXPECT_EQ(CgiCheckServerCert(a.s), CGI_BAD_PASSWORD_OR_CERT);
    EXPECT_EQ(a.s.lastSecureFailureFlags, static_cast<uint32_t>(WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID));
}

// A certificate from the trusted CA whose dates have passed: refused, and
// the alert is told why (with the name's fault too when reached by address).
TEST_F(Trusted, ExpiredCertificateIsRefusedWithTheDateFlag) {
    Appliance a("expired_port");
    EXPECT_EQ(CgiCheckServerCert(a.s), CGI_BAD_PASSWORD_OR_CERT);
    EXPECT_EQ(a.s.lastSecureFailureFlags, static_cast<uint32_t>(WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID));
    EXPECT_EQ(a.s.serverCert.thumbprint, TestPeers()["expired_sha1"]);
    EXPECT_EQ(CgiQueryDomains(a.s), CGI_SERVER_UNREACHABLE);
    a.s.applianceHost = "127.0.0.1";
    EXPECT_EQ(CgiCheckServerCert(a.s), CGI_BAD_PASSWORD_OR_CERT);
    EXPECT_EQ(a.s.lastSecureFailureFlags, static_cast<uint32_t>(WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID |
                                                                WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID));
}

TEST_F(Trusted, LoginMeetingsAndLogoutSendExactlyWhatTheyShould) {
    Appliance a;
    EXPECT_EQ(CgiQueryDomains(a.s), CGI_OK);
    LoggedRequest r = Last();
    ExpectCommon(r, "GET", "/cgi-bin/userLogin?callerRole=1&QueryDomain=true", false);
    EXPECT_EQ(r.Header("Cookie"),
              "swap=; Bar=0; lastFolderClicked=IMG00; 555=/cgi-bin/status; apportal=107");
    EXPECT_EQ(r.body, "");

    a.s.displayName = L"alice";
    Secret(a.s.password, "wrong");
    a.s.domain = "LocalDB";
    EXPECT_EQ(CgiUserLogin(a.s), CGI_LOGIN_FAILED);
    Secret(a.s.password, "secret");
    EXPECT_EQ(CgiUserLogin(a.s), CGI_OK);
    r = Last();
    ExpectCommon(r, "POST", "/cgi-bin/userLogin", true);
    ExpectForm(r, "username=alice&password=secret&domain=LocalDB&login=true&login.x=0&login.y=0&callerRole=1");
    EXPECT_EQ(r.Header("X-KE-SESSIONPROMPT"), "true");
    EXPECT_EQ(r.Header("Cookie"), "<absent>");
    ASSERT_FALSE(a.s.sessionId.empty());
    const std::string cookie = "swap=" + GetCookieLine(a.s).substr(13, GetCookieLine(a.s).find(';') - 13);

    EXPECT_EQ(CgiSessionTest(a.s), CGI_OK);
    ExpectCommon(Last(), "GET", "/cgi-bin/meetingactive?SessionTest=true", false);
    EXPECT_EQ(Last().Header("Cookie"), GetCookieLine(a.s).substr(8));

    EXPECT_EQ(CgiGetMeetingList(a.s, nullptr), CGI_OK);
    ASSERT_EQ(a.s.meetings.size(), 1u);
    EXPECT_EQ(a.s.meetings[0].meetingID, "100001");
    r = Last();
    ExpectCommon(r, "POST", "/cgi-bin/meetingactive", false);
    EXPECT_EQ(r.Header("Cookie"), cookie);
    ExpectForm(r, "StandAlone=true&action=getmeetinglist&biasmin=" +
                      UrlEncode(std::to_string(a.s.utcOffsetMinutes())));

    a.s.meetingId = "100001";
    EXPECT_EQ(CgiMeetingTest(a.s), CGI_OK);
    EXPECT_EQ(CgiJoinMeeting(a.s, false, nullptr), CGI_MEETING_PASSWORD_NEEDED);
    Secret(a.s.meetingPassword, "code1");
    EXPECT_EQ(CgiJoinMeeting(a.s, false, nullptr), CGI_OK);
    ExpectForm(Last(), "StandAlone=true&submitter=joinmeeting&meetingid=100001&meetingpass=code1");

    ParticipantUpdate update;
    EXPECT_EQ(CgiGetParticipants(a.s, 2, update), CGI_OK);
    ExpectForm(Last(), "StandAlone=true&action=getparticipants&meetingID=100001");
    bool found = false;
    for (const Participant& p : update.participants) found |= p.sessionID == a.s.sessionId;
    EXPECT_TRUE(found);

    a.s.meetingName = "Design review";
    a.s.meetingPassword.Clear();
    EXPECT_EQ(CgiStartMeeting(a.s, 0, 3600, kStartNow), CGI_OK);
    EXPECT_NE(a.s.meetingId, "100001");
    ExpectForm(Last(), "StandAlone=true&submitter=startmeeting&meetingname=Design%20review&meetingpass="
                       "&isstartnow=true&seconds2start=0&seconds2end=3600&meetingdescription=");
    EXPECT_EQ(CgiRescheduleMeeting(a.s, 600, 4200), CGI_OK);
    EXPECT_EQ(CgiCancelMeeting(a.s, a.s.meetingId), CGI_OK);

    MeetingInfo info;
    info.meetingname = L"Planning";
    info.meetingstart = "2031/01/02 10:00";
    info.meetingend = "2031/01/02 11:00";
    EXPECT_EQ(CgiSaveMeetingInfo(a.s, &info, -60, 0, nullptr), CGI_OK);
    ExpectForm(Last(), "StandAlone=true&submitter=savemeetinginfo&savemode=0&meetingname=Planning"
                       "&meetingcode=&meetingstart=2031%2F01%2F02%2010%3A00&meetingend=2031%2F01%2F02%2011%3A00"
                       "&meetingdescription=&requrieemails=&optionalemails=&inviteremail=&custmsg=&stamp="
                       "&biasmin=60");
    std::wstring clash;
    EXPECT_EQ(CgiSaveMeetingInfo(a.s, &info, -60, 0, &clash), CGI_SAVED_NAME_USED);
    EXPECT_EQ(clash, L"Planning(1)");
    std::vector<MeetingInfo> saved;
    EXPECT_EQ(CgiGetMeetingInfo(a.s, &saved, -60), CGI_OK);
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0].meetingname, L"Planning");
    EXPECT_EQ(CgiDeleteMeetingInfo(a.s, &saved[0]), CGI_OK);
    EXPECT_EQ(CgiDeleteMeetingInfo(a.s, &saved[0]), CGI_SAVED_MEETING_NOT_FOUND);

    EXPECT_EQ(CgiUserLogout(a.s), CGI_OK);
    ExpectCommon(Last(), "GET", "/cgi-bin/userLogout", true);
    EXPECT_EQ(CgiSessionTest(a.s), CGI_FAILED);
}

TEST_F(Trusted, GuestLoginDownloadAndPasswordChange) {
    Appliance a;
    a.s.displayName = L"G\u00e4st";
    EXPECT_EQ(CgiGuestLogin(a.s), CGI_OK);
    ExpectCommon(Last(), "POST", "/cgi-bin/userLogin", true);
    ExpectForm(Last(), "guestLogin=meeting&guestuser=G%C3%A4st&callerRole=0");

    const std::string file = TestPeers()["work_dir"] + "\\client.exe";
    EXPECT_EQ(CgiDownloadClientUpgrade(a.s, file), CGI_OK);
    EXPECT_EQ(ReadWholeFile(file), "MZ local appliance client installer\r\n");
    ASSERT_TRUE(ControlPost("/__control/faults", R"({"path": "/cgi-bin/meetingstart", "status": 404, "body": "<html>gone</html>"})"));
    EXPECT_EQ(CgiDownloadClientUpgrade(a.s, file), CGI_FAILED);
    EXPECT_EQ(ReadWholeFile(file), "MZ local appliance client installer\r\n");
    // A newer installer replaces the one already there.
    ASSERT_TRUE(ControlPost("/__control/faults/clear", "{}"));
    ASSERT_TRUE(ControlPost("/__control/faults", R"({"path": "/cgi-bin/meetingstart", "body": "MZ newer", "count": 1})"));
    EXPECT_EQ(CgiDownloadClientUpgrade(a.s, file), CGI_OK);
    EXPECT_EQ(ReadWholeFile(file), "MZ newer");

    a.s.displayName = L"bob";
    EXPECT_EQ(CgiChangePassword(a.s, "n3w pass", "wrong"), CGI_FAILED);
    EXPECT_EQ(CgiChangePassword(a.s, "n3w pass", "hunter2"), CGI_OK);
    ExpectCommon(Last(), "POST", "/cgi-bin/loginChangePass", true);
    ExpectForm(Last(), "fromSAC=true&domain=&username=bob&oldPass=hunter2&newPass1=n3w%20pass&newPass2=n3w%20pass");
}

TEST_F(Trusted, FailureRepliesMapToTheirCodes) {
    Appliance a;
    ASSERT_TRUE(ControlPost("/__control/faults", R"({"path": "/cgi-bin/userLogin", "method": "GET", "omit_headers": ["serverversion"], "count": 1})"));
    EXPECT_EQ(CgiQueryDomains(a.s), CGI_SERVER_TOO_OLD);
    ASSERT_TRUE(ControlPost("/__control/faults", R"({"path": "/cgi-bin/meetingactive", "status": 407, "count": 1})"));
    EXPECT_EQ(CgiSessionTest(a.s), CGI_PROXY_AUTH_REQUIRED);
    ASSERT_TRUE(ControlPost("/__control/faults", R"({"path": "/cgi-bin/meetingactive", "body": "sessionExpired", "count": 1})"));
    EXPECT_EQ(CgiGetMeetingList(a.s, nullptr), CGI_SESSION_EXPIRED);
    ASSERT_TRUE(ControlPost("/__control/faults", R"({"match": "submitter=joinmeeting", "body": "{error: BeforeMins 15}\r\n", "count": 1})"));
    int32_t minutes = 0;
    EXPECT_EQ(CgiJoinMeeting(a.s, false, &minutes), CGI_NOT_OPEN_YET);
    EXPECT_EQ(minutes, 15);
    ASSERT_TRUE(ControlPost("/__control/faults", R"({"path": "/cgi-bin/meetingactive", "oversize": 17000000, "count": 1})"));
    EXPECT_EQ(CgiCancelMeeting(a.s, "1"), CGI_FAILED);
}

TEST_F(Trusted, RequestsThatReachedTheApplianceAreNotRepeated) {
    Appliance a;
    a.s.displayName = L"alice";
    Secret(a.s.password, "secret");
    ASSERT_TRUE(ControlPost("/__control/faults", R"({"path": "/cgi-bin/userLogin", "method": "POST", "drop": "reset"})"));
    size_t before = LogSize();
    EXPECT_EQ(CgiUserLogin(a.s), CGI_NO_RESPONSE);
    EXPECT_EQ(LogSize(), before + 1);
    ASSERT_TRUE(ControlPost("/__control/faults", R"({"path": "/cgi-bin/loginChangePass", "drop": "close"})"));
    EXPECT_EQ(CgiChangePassword(a.s, "x", "secret"), CGI_FAILED);
    EXPECT_EQ(LogSize(), before + 2);
}

TEST(WinHttpBinding, MissingLibraryFailsEveryStep) {
    static const wchar_t* const kNames[] = {L"no-such-winhttp.dll"};
    WinHttpApi api{};
    EXPECT_FALSE(BindWinHttp(kNames, 1, api));
    CHttpsClient client(nullptr);
    EXPECT_EQ(client.OpenRequest("GET"), 0);
    EXPECT_EQ(client.ErrorText(), "Cannot load Winhttp lib");
    EXPECT_EQ(client.AddHeaders("X: 1\r\n"), 0);
    EXPECT_EQ(client.Send(nullptr, ""), 0);
    EXPECT_EQ(client.QueryRawHeaders(), "");
    EXPECT_NE(WinHttp(), nullptr);
}
