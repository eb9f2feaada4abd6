#include "appliance/cgi/SessionRequests.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>

#include "appliance/cgi/CgiConventions.h"
#include "appliance/cgi/CgiResult.h"
#include "appliance/cgi/CgiSession.h"
#include "appliance/cgi/tests/FakeTransport.h"
#include "appliance/cgi/tests/LogRecorder.h"

namespace {

const std::string k200 = "HTTP/1.1 200 OK";
const std::string k407 = "HTTP/1.1 407 Proxy Authentication Required";

struct SessionTest : ::testing::Test {
    FakeTransport t;
    CgiSession s{t};
};

std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

}  // namespace

TEST_F(SessionTest, SessionAndMeetingTests) {
    s.sessionId = "abc";
    const struct { std::string headers, body; int32_t session, meeting; } cases[] = {
        {"", "", CGI_NO_RESPONSE, CGI_NO_RESPONSE},
        {k407, "Good Session Valid Meeting", CGI_PROXY_AUTH_REQUIRED, CGI_PROXY_AUTH_REQUIRED},
        {k200, "", CGI_FAILED, CGI_FAILED},
        {k200, "Invalid Session Good Session", CGI_FAILED, CGI_FAILED},
        {k200, "Good Session", CGI_OK, CGI_FAILED},
        {k200, "Invalid Meeting", CGI_FAILED, CGI_FAILED},
        {k200, "Valid Meeting", CGI_FAILED, CGI_OK},
    };
    for (const auto& c : cases) {
        t.Reply(c.headers, c.body);
        EXPECT_EQ(CgiSessionTest(s), c.session) << c.body;
        t.Reply(c.headers, c.body);
        EXPECT_EQ(CgiMeetingTest(s), c.meeting) << c.body;
    }
    t.Fail(CgiTransportStatus::HeadersFailed);
    EXPECT_EQ(CgiSessionTest(s), CGI_FAILED);
    EXPECT_EQ(t.requests[0].verb, "GET");
    EXPECT_EQ(t.requests[0].path, "/cgi-bin/meetingactive?SessionTest=true");
    EXPECT_EQ(t.requests[1].path, "/cgi-bin/meetingactive?MeetingTest=true");
    EXPECT_EQ(t.requests[1].addHeaders, GetCookieLine(s));
}

TEST_F(SessionTest, SessionTestTakesTheUserNameBounded) {
    s.displayName = L"before";
    t.Reply(k200, "Good Session\r\nusername: ");
    EXPECT_EQ(CgiSessionTest(s), CGI_OK);
    EXPECT_EQ(s.displayName, L"before");  // no line end: unchanged
    t.Reply(k200, "Good Session\r\nusername: J\xc3\xbcrgen\r\n");
    EXPECT_EQ(CgiSessionTest(s), CGI_OK);
    EXPECT_EQ(s.displayName, L"J\u00fcrgen");
    // 126 ASCII bytes and a two-byte letter: the letter does not fit whole.
    t.Reply(k200, "Good Session\r\nusername: " + std::string(126, 'a') + "\xc3\xbc\r\n");
    EXPECT_EQ(CgiSessionTest(s), CGI_OK);
    EXPECT_EQ(s.displayName, std::wstring(126, L'a'));
}

TEST_F(SessionTest, CheckServerCert) {
    t.Reply(k200, "");
    EXPECT_EQ(CgiCheckServerCert(s), CGI_FAILED);  // no certificate problem
    const CgiRequest& r = t.requests[0];
    EXPECT_EQ(r.verb, "POST");
    EXPECT_EQ(r.path, "/cgi-bin/welcome?standalone=true&checkcert=true");
    EXPECT_EQ(r.referrer, EncodedReferrer());
    EXPECT_EQ(r.addHeaders, "");
    EXPECT_EQ(r.sendHeaders, kFormHeaders);
    EXPECT_EQ(r.body, "");

    t.Reply("", "");
    EXPECT_EQ(CgiCheckServerCert(s), CGI_NO_RESPONSE);
    t.Reply("NOSTATUSLINE", "");
    EXPECT_EQ(CgiCheckServerCert(s), CGI_OK);
    t.Reply(k407, "");
    EXPECT_EQ(CgiCheckServerCert(s), CGI_PROXY_AUTH_REQUIRED);
    t.Fail(CgiTransportStatus::SendFailed, 12029);
    EXPECT_EQ(CgiCheckServerCert(s), CGI_FAILED);
    t.Fail(CgiTransportStatus::SendFailed, kErrorSecureFailure);
    EXPECT_EQ(CgiCheckServerCert(s), CGI_SERVER_CERT_UNREADABLE);
    EXPECT_FALSE(s.serverCertKnown);

    CgiReply refused;
    refused.status = CgiTransportStatus::SendFailed;
    refused.error = kErrorSecureFailure;
    refused.serverCertRead = true;
    refused.serverCert.subject = "localhost";
    refused.serverCert.thumbprint = std::string(40, 'b');
    t.Queue(refused);
    EXPECT_EQ(CgiCheckServerCert(s), CGI_BAD_PASSWORD_OR_CERT);
    EXPECT_TRUE(s.serverCertKnown);
    EXPECT_EQ(s.serverCert.subject, "localhost");
}

TEST_F(SessionTest, CheckServerCertCatchesAnExceptionAndLogsIt) {
    LogRecorder log;
    log.Attach(s.log, "prefix\t");
    t.throwNext = true;
    EXPECT_EQ(CgiCheckServerCert(s), CGI_OK);
    ASSERT_EQ(log.lines.size(), 1u);
    // Category 0x02, WARN, forced: written even where warnings are not.
    EXPECT_EQ(log.lines[0], (LogRecorder::Line{0x02, 2, true, "Check Server Certificate exception.\n"}));
    EXPECT_FALSE(s.serverCertKnown);

    // A logger that throws in turn does not escape either.
    s.log.write = [](uint8_t, int, bool, const std::string&) { throw std::bad_alloc(); };
    t.throwNext = true;
    EXPECT_EQ(CgiCheckServerCert(s), CGI_OK);
    t.Reply(k200, "");
    EXPECT_EQ(CgiCheckServerCert(s), CGI_FAILED);
}

TEST_F(SessionTest, DownloadWritesOnlyACompleteInstaller) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::u8path(::testing::TempDir()) / "corvisk-download-test";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path file = dir / "setup.exe";
    std::ofstream(file, std::ios::binary) << "previous";

    const std::string binary("MZ\0\x01\x02 installer", 15);
    const struct { std::string headers, body; int32_t result; const char* after; } cases[] = {
        {"", "", CGI_FAILED, "previous"},
        {"HTTP/1.1 404 Not Found", "<html>not found</html>", CGI_FAILED, "previous"},
        {k407, "<html>proxy</html>", CGI_FAILED, "previous"},
        {k200, "", CGI_FAILED, "previous"},
        // The connection ended before the announced length: never put in place.
        {k200 + "\r\nContent-Length: 4096", binary, CGI_FAILED, "previous"},
        {k200 + "\r\nContent-Length: 14", binary, CGI_FAILED, "previous"},
        {k200 + "\r\nContent-Length: 15", binary, CGI_OK, nullptr},
        {k200, binary, CGI_OK, nullptr},
        // A status line without a reason phrase is still a 200.
        {"HTTP/1.1 200", binary, CGI_OK, nullptr},
    };
    for (const auto& c : cases) {
        t.Reply(c.headers, c.body);
        EXPECT_EQ(CgiDownloadClientUpgrade(s, file.u8string()), c.result) << c.headers;
        EXPECT_EQ(ReadFile(file), c.after ? std::string(c.after) : binary);
    }
    EXPECT_TRUE(t.requests[0].binaryBody);
    EXPECT_EQ(t.requests[0].verb, "GET");
    EXPECT_EQ(t.requests[0].path, "/cgi-bin/meetingstart?upgradeclient=ture&StandAlone=ture");
    EXPECT_FALSE(fs::exists(dir / "setup.exe.part"));

    t.Reply(k200, binary);
    EXPECT_EQ(CgiDownloadClientUpgrade(s, (dir / "missing" / "setup.exe").u8string()),
              CGI_FILE_WRITE_FAILED);
    fs::remove_all(dir);
}

TEST_F(SessionTest, ChangePassword) {
    s.displayName = L"alice";
    t.Reply(k200 + "\r\nX-KE-message: bad\r\nX-PWD-change: ok", "");
    EXPECT_EQ(CgiChangePassword(s, "n3w pw", "old"), CGI_OK);
    const CgiRequest& r = t.requests[0];
    EXPECT_EQ(r.verb, "POST");
    EXPECT_EQ(r.path, "/cgi-bin/loginChangePass");
    EXPECT_EQ(r.referrer, "https://localhost/cgi-bin/welcome");
    EXPECT_EQ(r.sendHeaders, kFormHeaders);
    EXPECT_EQ(r.body, "fromSAC=true&domain=&username=alice&oldPass=old&newPass1=n3w%20pw&newPass2=n3w%20pw");

    const struct { std::string headers; int32_t result; } cases[] = {
        {"", CGI_FAILED},
        {k200 + "\r\nX-KE-message: Password too short", CGI_FAILED},
        {k200, CGI_FAILED},
    };
    for (const auto& c : cases) {
        t.Reply(c.headers, "");
        EXPECT_EQ(CgiChangePassword(s, "n", "o"), c.result) << c.headers;
    }
    t.Fail(CgiTransportStatus::SendFailed, 12002);
    EXPECT_EQ(CgiChangePassword(s, "n", "o"), CGI_FAILED);
}
