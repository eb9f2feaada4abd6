#include "appliance/cgi/LoginRequests.h"

#include <algorithm>
#include <string>

#include "appliance/cgi/CgiConventions.h"
#include "appliance/cgi/CgiResult.h"
#include "appliance/cgi/CgiSession.h"
#include "appliance/cgi/LoginReplies.h"
#include "core/base/PlainSecret.h"

int32_t CgiQueryDomains(CgiSession& session) {
    session.domains.clear();
    std::string path = "/cgi-bin/userLogin?callerRole=1&QueryDomain=true";
    if (session.sendClientVersion) path += "&clientversion=" + std::to_string(kClientVersion);
    CgiReply reply = Exchange(session, MakeCookieGet(session, path));
    if (reply.status == CgiTransportStatus::SendFailed) return CGI_SERVER_UNREACHABLE;
    if (reply.status != CgiTransportStatus::Ok) return CGI_NO_RESPONSE;
    LoginReply parsed;
    int32_t result = ParseDomainQueryReply(reply.headers, reply.body, parsed);
    ApplyLoginReply(parsed, session);
    return result;
}

int32_t CgiUserLogin(CgiSession& session) {
    if (session.clientCertRequired && session.clientCert.empty()) return CGI_CLIENT_CERT_UNAVAILABLE;
    std::string body = "username=" + UrlEncodeWide(session.displayName);
    {
        PlainSecret password(session.password);
        body += "&password=" + UrlEncode(password.Text());
    }
    if (!session.domain.empty()) body += "&domain=" + UrlEncode(session.domain);
    if (!session.portal.empty()) body += "&portalname=" + UrlEncode(session.portal);
    if (session.sendClientVersion) body += "&clientversion=" + std::to_string(kClientVersion);
    if (!session.pendingId.empty()) body += "&pendingId=" + UrlEncode(session.pendingId);
    body += "&login=true&login.x=0&login.y=0&callerRole=1";

    CgiRequest request = MakePlainPost("/cgi-bin/userLogin", PlainReferrer(), std::move(body));
    request.sendHeaders += "X-KE-SESSIONPROMPT: true\r\n";
    CgiReply reply = Exchange(session, request);
    std::fill(request.body.begin(), request.body.end(), '\0');
    if (reply.status == CgiTransportStatus::SendFailed && reply.error == kErrorClientCertNeeded) {
        if (!reply.clientCertStoreRead) return CGI_CLIENT_CERT_UNAVAILABLE;
        session.clientCerts = reply.clientCerts;
        return CGI_CLIENT_CERT_NEEDED;
    }
    if (reply.status != CgiTransportStatus::Ok) return CGI_NO_RESPONSE;
    LoginReply parsed;
    int32_t result = ParseUserLoginReply(reply.headers, reply.body, parsed);
    ApplyLoginReply(parsed, session);
    return result;
}

int32_t CgiGuestLogin(CgiSession& session) {
    std::string body = "guestLogin=meeting&guestuser=" + UrlEncodeWide(session.displayName);
    if (!session.portal.empty()) body += "&portalname=" + UrlEncode(session.portal);
    if (session.sendClientVersion) body += "&clientversion=" + std::to_string(kClientVersion);
    body += "&callerRole=0";
    CgiReply reply =
        Exchange(session, MakePlainPost("/cgi-bin/userLogin", PlainReferrer(), std::move(body)));
    if (reply.status != CgiTransportStatus::Ok) return CGI_NO_RESPONSE;
    LoginReply parsed;
    int32_t result = ParseGuestLoginReply(reply.headers, reply.body, parsed);
    ApplyLoginReply(parsed, session);
    return result;
}

int32_t CgiUserLogout(CgiSession& session) {
    CgiRequest request = MakeCookieGet(session, "/cgi-bin/userLogout");
    request.referrer = PlainReferrer();
    CgiReply reply = Exchange(session, request);
    // Logged once the request was opened, whatever became of the send.
    if (reply.status == CgiTransportStatus::Ok || reply.status == CgiTransportStatus::SendFailed)
        session.log.Print(DHLOG_CAT_SHARING, DHLOG_INFO, false, session.log.EventPrefix() + "Logout.\n");
    session.signedIn = 0;
    return CGI_OK;
}
