#include "appliance/cgi/SecondStepRequests.h"

#include <algorithm>

#include "appliance/cgi/CgiConventions.h"
#include "appliance/cgi/CgiResult.h"
#include "appliance/cgi/CgiSession.h"
#include "appliance/cgi/ReplyText.h"
#include "core/base/Base64.h"

namespace {

// Sends the request and wipes its body (it carries codes and PINs). Headers
// come back empty when nothing was received.
std::string Send(CgiSession& session, CgiRequest request) {
    session.tfResult = -1;
    CgiReply reply = Exchange(session, request);
    std::fill(request.body.begin(), request.body.end(), '\0');
    if (reply.status != CgiTransportStatus::Ok) return {};
    return reply.headers;
}

// "state=...&pstate=...&domain=...&username=..." of every userLogin step.
std::string StepBody(const CgiSession& session, const char* state) {
    return std::string("state=") + state + "&pstate=" + UrlEncode(session.pstate) +
           "&domain=" + UrlEncode(session.domain) + "&username=" + UrlEncodeWide(session.displayName);
}

CgiRequest StepPost(std::string body) {
    return MakePlainPost("/cgi-bin/userLogin", PlainReferrer(), std::move(body));
}

// The geobot denial, then the message and the state token; true on a denial.
bool ReadCommon(const std::string& headers, CgiSession& session) {
    std::string value;
    if (MarkerValue(headers, "X-KE-geobot: ", value)) {
        session.serverMessage = value;
        return true;
    }
    if (MarkerValue(headers, "X-KE-message:", value)) session.serverMessage = value;
    if (MarkerValueWithCr(headers, "X-KE-rsastate: ", value)) session.pstate = value;
    return false;
}

bool ReadVerdict(const std::string& headers, CgiSession& session) {
    std::string value;
    if (!MarkerValue(headers, "X-KE-tfresult:", value)) return false;
    session.tfResult = ParseDecimal(value.substr(0, 63));
    return true;
}

// A non-zero "X-KE-tf:" into the session; true when there was one.
bool ReadKind(const std::string& headers, CgiSession& session) {
    std::string value;
    if (!MarkerValue(headers, "X-KE-tf:", value)) return false;
    const int32_t kind = ParseDecimal(value.substr(0, 63));
    if (kind == 0) return false;
    session.secondStepKind = kind;
    return true;
}

// The "swap" cookie as the session value; false when missing or not Base64.
bool ReadCookie(const std::string& headers, CgiSession& session) {
    std::string value, decoded;
    if (!FindSwapCookie(headers, value) || !TryBase64Decode(value.c_str(), decoded)) return false;
    session.sessionId = decoded;
    return true;
}

}  // namespace

int32_t CgiOtpLogin(CgiSession& session, const std::string& code) {
    const std::string headers = Send(
        session, MakeCookiePost(session, "/cgi-bin/otpLogin", "password=" + UrlEncode(code) + "&login=true"));
    if (headers.empty()) return CGI_FAILED;
    ReadVerdict(headers, session);
    std::string value;
    if (MarkerValue(headers, "X-KE-message:", value)) session.serverMessage = value;
    return CGI_SECOND_STEP_VERDICT;
}

int32_t CgiRsaNewPin(CgiSession& session, const std::string& pin, const std::string& confirmation) {
    const std::string headers = Send(session, StepPost(StepBody(session, "RSANEWPIN") + "&reply=" + UrlEncode(pin) +
                                                       "&rereply=" + UrlEncode(confirmation)));
    if (headers.empty()) return CGI_FAILED;
    if (ReadCommon(headers, session)) return CGI_GEOIP_DENIED;
    ReadVerdict(headers, session);
    return CGI_SECOND_STEP_VERDICT;
}

int32_t CgiRsaSystemPin(CgiSession& session, bool accept) {
    const std::string headers =
        Send(session, StepPost(StepBody(session, "RSANEWPIN") + (accept ? "&sysreply=y" : "&sysreply=n")));
    if (headers.empty()) return CGI_FAILED;
    if (ReadCommon(headers, session)) return CGI_GEOIP_DENIED;
    ReadKind(headers, session);
    return ReadVerdict(headers, session) ? CGI_SECOND_STEP_VERDICT : CGI_SECOND_STEP_AGAIN;
}

int32_t CgiRsaNextCode(CgiSession& session, const std::string& code) {
    const std::string headers =
        Send(session, StepPost(StepBody(session, "RSANEWPIN") + "&nextcode=" + UrlEncode(code)));
    if (headers.empty()) return CGI_FAILED;
    if (ReadCommon(headers, session)) return CGI_GEOIP_DENIED;
    const bool cookie = ReadCookie(headers, session);
    ReadVerdict(headers, session);
    // A wrong or refused code comes without a session: still a verdict.
    if (!cookie && session.tfResult != 1 && session.tfResult != 2) return CGI_LOGIN_FAILED;
    return CGI_SECOND_STEP_VERDICT;
}

int32_t CgiRadiusChallenge(CgiSession& session, const std::string& reply) {
    const std::string headers =
        Send(session, StepPost(StepBody(session, "RADIUSCHALLENGE") + "&radiusReply=" + UrlEncode(reply)));
    if (headers.empty()) return CGI_FAILED;
    if (ReadCommon(headers, session)) return CGI_GEOIP_DENIED;
    if (ReadKind(headers, session)) return CGI_SECOND_STEP;
    return ReadCookie(headers, session) ? CGI_OK : CGI_LOGIN_FAILED;
}
