#include "appliance/cgi/SessionRequests.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "appliance/cgi/CgiConventions.h"
#include "appliance/cgi/CgiResult.h"
#include "appliance/cgi/CgiSession.h"
#include "appliance/cgi/ReplyText.h"
#include "core/base/TextConvert.h"

namespace {

// Cuts UTF-8 text to at most max bytes without splitting a sequence.
std::string CutUtf8(std::string text, size_t max) {
    if (text.size() <= max) return text;
    size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text.resize(end);
    return text;
}

// The shape both tests share: a cookie GET to meetingactive.
int32_t ActiveTest(CgiSession& session, const char* query, const char* invalid, const char* valid,
                   std::string* body) {
    CgiReply reply = Exchange(session, MakeCookieGet(session, std::string("/cgi-bin/meetingactive?") + query));
    if (reply.status != CgiTransportStatus::Ok) return CGI_FAILED;
    if (reply.headers.empty()) return CGI_NO_RESPONSE;
    if (StatusCodeIs(reply.headers, "407")) return CGI_PROXY_AUTH_REQUIRED;
    if (reply.body.empty() || Contains(reply.body, invalid) || !Contains(reply.body, valid))
        return CGI_FAILED;
    if (body) *body = std::move(reply.body);
    return CGI_OK;
}

int32_t CheckServerCert(CgiSession& session) {
    CgiRequest request = MakePlainPost("/cgi-bin/welcome?standalone=true&checkcert=true",
                                       EncodedReferrer(), std::string());
    request.certificateCheck = true;
    CgiReply reply = Exchange(session, request);
    if (reply.status == CgiTransportStatus::SendFailed && reply.error == kErrorSecureFailure) {
        if (!reply.serverCertRead) return CGI_SERVER_CERT_UNREADABLE;
        session.serverCert = reply.serverCert;
        session.serverCertKnown = true;
        session.lastSecureFailureFlags = reply.secureFailureFlags;
        return CGI_BAD_PASSWORD_OR_CERT;
    }
    if (reply.status != CgiTransportStatus::Ok) return CGI_FAILED;
    if (reply.headers.empty()) return CGI_NO_RESPONSE;
    if (reply.headers.find(' ') == std::string::npos) return CGI_OK;
    if (StatusCodeIs(reply.headers, "407")) return CGI_PROXY_AUTH_REQUIRED;
    return CGI_FAILED;
}

}  // namespace

int32_t CgiSessionTest(CgiSession& session) {
    std::string body;
    int32_t result = ActiveTest(session, "SessionTest=true", "Invalid Session", "Good Session", &body);
    std::string name;
    if (result == CGI_OK && MarkerLine(body, "username: ", name))
        session.displayName = AnsiToWide(CutUtf8(name, kMaxSessionUserName), kCodePageUtf8);
    return result;
}

int32_t CgiMeetingTest(CgiSession& session) {
    return ActiveTest(session, "MeetingTest=true", "Invalid Meeting", "Valid Meeting", nullptr);
}

int32_t CgiCheckServerCert(CgiSession& session) {
    try {
        return CheckServerCert(session);
    } catch (...) {
        session.log.Print(kLogCatAppliance, DHLOG_WARN, true, "Check Server Certificate exception.\n");
        return CGI_OK;
    }
}

int32_t CgiDownloadClientUpgrade(CgiSession& session, const std::string& path) {
    CgiRequest request =
        MakeCookieGet(session, "/cgi-bin/meetingstart?upgradeclient=ture&StandAlone=ture");
    request.binaryBody = true;
    CgiReply reply = Exchange(session, request);
    // An error page, a proxy's 407 or an expired session is not an installer.
    if (reply.status != CgiTransportStatus::Ok || !StatusCodeIs(reply.headers, "200") ||
        reply.body.empty())
        return CGI_FAILED;

    namespace fs = std::filesystem;
    const fs::path target = fs::u8path(path);
    fs::path part = target;
    part += ".part";
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        if (!out) return CGI_FILE_WRITE_FAILED;
        out.write(reply.body.data(), static_cast<std::streamsize>(reply.body.size()));
        out.close();
        if (!out) {
            std::error_code ignored;
            fs::remove(part, ignored);
            return CGI_FILE_WRITE_FAILED;
        }
    }
    std::error_code error;
    fs::rename(part, target, error);
    if (error) {
        fs::remove(part, error);
        return CGI_FILE_WRITE_FAILED;
    }
    return CGI_OK;
}

int32_t CgiChangePassword(CgiSession& session, const std::string& newPassword,
                          const std::string& oldPassword) {
    std::string body = "fromSAC=true&domain=" + UrlEncode(session.domain) +
                       "&username=" + UrlEncodeWide(session.displayName) +
                       "&oldPass=" + UrlEncode(oldPassword) + "&newPass1=" + UrlEncode(newPassword) +
                       "&newPass2=" + UrlEncode(newPassword);
    CgiRequest request = MakePlainPost("/cgi-bin/loginChangePass", PlainReferrer(), std::move(body));
    CgiReply reply = Exchange(session, request);
    std::fill(request.body.begin(), request.body.end(), '\0');
    if (reply.status != CgiTransportStatus::Ok || reply.headers.empty()) return CGI_FAILED;
    std::string value;
    if (MarkerLine(reply.headers, "X-PWD-change: ", value)) return CGI_OK;
    return CGI_FAILED;
}
