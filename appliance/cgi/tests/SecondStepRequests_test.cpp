#include "appliance/cgi/SecondStepRequests.h"

#include <gtest/gtest.h>

#include <functional>

#include "appliance/cgi/CgiResult.h"
#include "appliance/cgi/CgiSession.h"
#include "appliance/cgi/tests/FakeTransport.h"

namespace {

const std::string kForm =
    "Accept-Language: en-us\r\nContent-Type: application/x-www-form-urlencoded\r\n"
    "Accept-Encoding: gzip, deflate\r\n";
const std::string kOk = "HTTP/1.1 200 OK\r\n";
const std::string kStep = "state=RSANEWPIN&pstate=st%2D9%0D&domain=Local%20DB&username=J%C3%BCrgen%20W";

using Call = std::function<int32_t(CgiSession&)>;

const Call kOtp = [](CgiSession& s) { return CgiOtpLogin(s, "12 34&"); };
const Call kNewPin = [](CgiSession& s) { return CgiRsaNewPin(s, "12ab", "12a\xc3\xa4"); };
const Call kAccept = [](CgiSession& s) { return CgiRsaSystemPin(s, true); };
const Call kRefuse = [](CgiSession& s) { return CgiRsaSystemPin(s, false); };
const Call kNextCode = [](CgiSession& s) { return CgiRsaNextCode(s, "444444"); };
const Call kRadius = [](CgiSession& s) { return CgiRadiusChallenge(s, "rex d\xc3\xb6g"); };

struct SecondStepTest : ::testing::Test {
    FakeTransport t;
    CgiSession s{t};
    SecondStepTest() {
        s.sessionId = "sess-1";
        s.displayName = L"J\u00fcrgen W";
        s.domain = "Local DB";
        s.pstate = "st-9\r";  // as the login reply gave it, with its line's CR
    }
};

}  // namespace

TEST_F(SecondStepTest, RequestsCarryTheirPathHeadersAndBody) {
    const struct {
        const char* name;
        Call call;
        const char* path;
        bool cookie;  // the session cookie and the encoded referrer
        std::string body;
    } cases[] = {
        {"otp", kOtp, "/cgi-bin/otpLogin", true, "password=12%2034%26&login=true"},
        {"new pin", kNewPin, "/cgi-bin/userLogin", false, kStep + "&reply=12ab&rereply=12a%C3%A4"},
        {"accept", kAccept, "/cgi-bin/userLogin", false, kStep + "&sysreply=y"},
        {"refuse", kRefuse, "/cgi-bin/userLogin", false, kStep + "&sysreply=n"},
        {"next code", kNextCode, "/cgi-bin/userLogin", false, kStep + "&nextcode=444444"},
        {"radius", kRadius, "/cgi-bin/userLogin", false,
         "state=RADIUSCHALLENGE&pstate=st%2D9%0D&domain=Local%20DB&username=J%C3%BCrgen%20W"
         "&radiusReply=rex%20d%C3%B6g"},
    };
    for (const auto& c : cases) {
        t.requests.clear();
        c.call(s);
        ASSERT_EQ(t.requests.size(), 1u) << c.name;
        const CgiRequest& r = t.requests[0];
        EXPECT_EQ(r.verb, "POST") << c.name;
        EXPECT_EQ(r.path, c.path) << c.name;
        EXPECT_EQ(r.body, c.body) << c.name;
        if (c.cookie) {
            EXPECT_EQ(r.referrer, "https%3A%2F%2Flocalhost%2Fcgi%2Dbin%2Fwelcome");
            EXPECT_EQ(r.addHeaders, "Cookie: swap=c2Vzcy0x\r\n" + kForm);
            EXPECT_EQ(r.sendHeaders, "");
        } else {
            EXPECT_EQ(r.referrer, "https://localhost/cgi-bin/welcome") << c.name;
            EXPECT_EQ(r.addHeaders, "") << c.name;
            EXPECT_EQ(r.sendHeaders, kForm) << c.name;
        }
    }
}

TEST_F(SecondStepTest, RepliesGiveTheirResultAndFillTheSession) {
    const std::string cookie = "Set-Cookie: swap=bmV3; path=/\r\n";
    const struct {
        const char* name;
        Call call;
        std::string headers;
        int32_t result, tfResult;
        const char* message;  // nullptr: unchanged
        const char* pstate;   // nullptr: unchanged
        int32_t kind;         // 7: unchanged
        const char* session;
    } cases[] = {
        {"otp wrong", kOtp, "X-KE-tfresult: 1\r\nX-KE-message: Wrong code.", CGI_SECOND_STEP_VERDICT, 1, "Wrong code.",
         nullptr, 7, "sess-1"},
        {"otp accepted", kOtp, "X-KE-tfresult: 0", CGI_SECOND_STEP_VERDICT, 0, nullptr, nullptr, 7, "sess-1"},
        // No verdict is no verdict, not the one of the answer before.
        {"otp no verdict", kOtp, "X-KE-message: hm", CGI_SECOND_STEP_VERDICT, -1, "hm", nullptr, 7, "sess-1"},
        {"otp ignores geobot", kOtp, "X-KE-geobot: x\r\nX-KE-tfresult: 2", CGI_SECOND_STEP_VERDICT, 2, nullptr, nullptr,
         7, "sess-1"},
        {"new pin accepted", kNewPin, "X-KE-message: PIN accepted\r\nX-KE-rsastate: st-2\r\nX-KE-tfresult: 0",
         CGI_SECOND_STEP_VERDICT, 0, "PIN accepted", "st-2\r", 7, "sess-1"},
        {"new pin no verdict", kNewPin, "X-KE-rsastate: st-3", CGI_SECOND_STEP_VERDICT, -1, nullptr, "st-3\r", 7,
         "sess-1"},
        // The denial is read first and ends the reading.
        {"new pin geobot", kNewPin, "X-KE-message: m\r\nX-KE-geobot: Botnet filter\r\nX-KE-tfresult: 0",
         CGI_GEOIP_DENIED, -1, "Botnet filter", nullptr, 7, "sess-1"},
        {"system pin accepted", kAccept, "X-KE-tfresult: 0", CGI_SECOND_STEP_VERDICT, 0, nullptr, nullptr, 7,
         "sess-1"},
        {"system pin refused", kRefuse, "X-KE-message: Choose a PIN\r\nX-KE-rsastate: st-4\r\nX-KE-tf: 2",
         CGI_SECOND_STEP_AGAIN, -1, "Choose a PIN", "st-4\r", 2, "sess-1"},
        {"system pin tf 0", kAccept, "X-KE-tf: 0", CGI_SECOND_STEP_AGAIN, -1, nullptr, nullptr, 7, "sess-1"},
        {"system pin geobot", kAccept, "X-KE-geobot: no", CGI_GEOIP_DENIED, -1, "no", nullptr, 7, "sess-1"},
        {"next code accepted", kNextCode, cookie + "X-KE-tfresult: 0", CGI_SECOND_STEP_VERDICT, 0, nullptr, nullptr, 7,
         "new"},
        // A wrong code comes without a cookie and is still a verdict.
        {"next code wrong", kNextCode, "X-KE-message: Wrong token code.\r\nX-KE-rsastate: st-5\r\nX-KE-tfresult: 1",
         CGI_SECOND_STEP_VERDICT, 1, "Wrong token code.", "st-5\r", 7, "sess-1"},
        {"next code failed", kNextCode, "X-KE-tfresult: 2", CGI_SECOND_STEP_VERDICT, 2, nullptr, nullptr, 7, "sess-1"},
        {"next code no cookie", kNextCode, "X-KE-tfresult: 0", CGI_LOGIN_FAILED, 0, nullptr, nullptr, 7, "sess-1"},
        {"next code nothing", kNextCode, "X-KE-message: ?", CGI_LOGIN_FAILED, -1, "?", nullptr, 7, "sess-1"},
        {"next code bad cookie", kNextCode, "Set-Cookie: swap=***; path=/\r\nX-KE-tfresult: 0", CGI_LOGIN_FAILED, 0,
         nullptr, nullptr, 7, "sess-1"},
        {"next code geobot", kNextCode, cookie + "X-KE-geobot: no", CGI_GEOIP_DENIED, -1, "no", nullptr, 7, "sess-1"},
        {"radius logged in", kRadius, cookie, CGI_OK, -1, nullptr, nullptr, 7, "new"},
        // The further challenge wins over a cookie, which is not taken.
        {"radius challenge", kRadius, cookie + "X-KE-message: Pet?\r\nX-KE-rsastate: st-6\r\nX-KE-tf: 5",
         CGI_SECOND_STEP, -1, "Pet?", "st-6\r", 5, "sess-1"},
        {"radius wrong", kRadius, "X-KE-message: Wrong answer.", CGI_LOGIN_FAILED, -1, "Wrong answer.", nullptr, 7,
         "sess-1"},
        {"radius geobot", kRadius, "X-KE-geobot: no\r\nX-KE-tf: 5", CGI_GEOIP_DENIED, -1, "no", nullptr, 7, "sess-1"},
    };
    for (const auto& c : cases) {
        s.sessionId = "sess-1";
        s.pstate = "old\r";
        s.serverMessage = "before";
        s.secondStepKind = 7;
        s.tfResult = 0;
        t.Reply(kOk + c.headers, "");
        EXPECT_EQ(c.call(s), c.result) << c.name;
        EXPECT_EQ(s.tfResult, c.tfResult) << c.name;
        EXPECT_EQ(s.serverMessage, c.message ? c.message : "before") << c.name;
        EXPECT_EQ(s.pstate, c.pstate ? c.pstate : "old\r") << c.name;
        EXPECT_EQ(s.secondStepKind, c.kind) << c.name;
        EXPECT_EQ(s.sessionId, c.session) << c.name;
    }
}

TEST_F(SecondStepTest, NoHeadersIsAFailure) {
    for (const Call& call : {kOtp, kNewPin, kAccept, kNextCode, kRadius}) {
        t.Reply("", "");
        EXPECT_EQ(call(s), CGI_FAILED);
        t.Fail(CgiTransportStatus::SendFailed, 12029);
        EXPECT_EQ(call(s), CGI_FAILED);
        t.Fail(CgiTransportStatus::OpenFailed);
        EXPECT_EQ(call(s), CGI_FAILED);
    }
    EXPECT_EQ(s.sessionId, "sess-1");
    EXPECT_EQ(s.pstate, "st-9\r");
}

// The token goes back exactly as the appliance sent it, its CR included.
TEST_F(SecondStepTest, StateTokenGoesBackWithItsCarriageReturn) {
    t.Reply(kOk + "X-KE-rsastate: tok 1\r\nX-KE-tf: 5", "");
    EXPECT_EQ(CgiRadiusChallenge(s, "a"), CGI_SECOND_STEP);
    t.Reply(kOk + "X-KE-rsastate: tok2", "");  // the last header line
    CgiRadiusChallenge(s, "b");
    EXPECT_EQ(t.requests[1].body.substr(0, 45), "state=RADIUSCHALLENGE&pstate=tok%201%0D&domai");
    EXPECT_EQ(s.pstate, "tok2\r");
}
