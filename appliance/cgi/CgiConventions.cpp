#include "appliance/cgi/CgiConventions.h"

#include "appliance/cgi/CgiSession.h"
#include "appliance/cgi/ReplyBody.h"
#include "core/base/Base64.h"
#include "core/base/StringUtil.h"
#include "core/base/TextConvert.h"

namespace {
constexpr char kReferrer[] = "https://localhost/cgi-bin/welcome";
}

std::string PlainReferrer() { return kReferrer; }

std::string EncodedReferrer() { return PercentEncode(kReferrer); }

std::string PostCookieLine(const CgiSession& session) {
    std::string encoded;
    Base64Encode(session.sessionId.c_str(), encoded);
    return "Cookie: swap=" + encoded + "\r\n";
}

std::string GetCookieLine(const CgiSession& session) {
    std::string encoded;
    Base64Encode(session.sessionId.c_str(), encoded);
    return "Cookie: swap=" + encoded +
           "; Bar=0; lastFolderClicked=IMG00; 555=/cgi-bin/status; apportal=107";
}

std::string UrlEncode(const std::string& utf8) { return PercentEncode(utf8); }

std::string UrlEncodeWide(const std::wstring& text) {
    return PercentEncode(WideToAnsi(text, kCodePageUtf8));
}

CgiRequest MakeCookieGet(const CgiSession& session, std::string path) {
    CgiRequest r;
    r.verb = "GET";
    r.path = std::move(path);
    r.referrer = EncodedReferrer();
    r.addHeaders = GetCookieLine(session);
    return r;
}

CgiRequest MakeCookiePost(const CgiSession& session, std::string path, std::string body) {
    CgiRequest r;
    r.verb = "POST";
    r.path = std::move(path);
    r.referrer = EncodedReferrer();
    r.addHeaders = PostCookieLine(session) + kFormHeaders;
    r.body = std::move(body);
    return r;
}

CgiRequest MakePlainPost(std::string path, std::string referrer, std::string body) {
    CgiRequest r;
    r.verb = "POST";
    r.path = std::move(path);
    r.referrer = std::move(referrer);
    r.sendHeaders = kFormHeaders;
    r.body = std::move(body);
    return r;
}

CgiReply Exchange(CgiSession& session, const CgiRequest& request) {
    CgiReply reply = session.transport->Exchange(request, session);
    if (reply.status != CgiTransportStatus::Ok || reply.headers.empty()) return reply;
    const ReplyBodyCheck check =
        CheckReplyBody(reply.headers, reply.body, request.binaryBody ? kMaxDownload : kMaxTextReply);
    if (check == ReplyBodyCheck::Ok) return reply;
    static const char* const kWhy[] = {"", "cut short", "not decodable", "too large"};
    session.log.Print(DHLOG_CAT_STARTUP, DHLOG_WARN, false,
                      std::string("The reply to ") + request.path.substr(0, request.path.find('?')) + " was " +
                          kWhy[static_cast<int>(check)] + "; it is dropped.\n");
    reply.status = CgiTransportStatus::SendFailed;
    reply.error = kErrorBadReply;
    reply.headers.clear();
    reply.body.clear();
    return reply;
}
