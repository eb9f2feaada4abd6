#include "appliance/cgi/LoginReplies.h"

#include "appliance/cgi/CgiResult.h"
#include "appliance/cgi/ReplyText.h"
#include "core/base/Base64.h"

namespace {

// Session id from the "swap" cookie; false when there is none or it is not
// Base64.
bool ReadSessionCookie(const std::string& headers, std::string& sessionId) {
    std::string value, decoded;
    if (!FindSwapCookie(headers, value) || !TryBase64Decode(value.c_str(), decoded)) return false;
    sessionId = decoded;
    return true;
}

// The version and upgrade tests shared by the domain query and guest login.
int32_t VersionResult(const std::string& headers) {
    if (ServerTooOld(headers)) return CGI_SERVER_TOO_OLD;
    if (Contains(headers, "needupgrade")) return CGI_NEED_UPGRADE;
    if (Contains(headers, "upgraderequired")) return CGI_UPGRADE_REQUIRED;
    return CGI_OK;
}

}  // namespace

std::vector<DomainEntry> ParseDomainList(const std::string& body) {
    std::vector<DomainEntry> list;
    size_t pos = 0;
    while (pos < body.size() && list.size() < kMaxReplyRecords) {
        size_t end = body.find_first_of("\r\n", pos);
        if (end == std::string::npos) end = body.size();
        std::string line = body.substr(pos, end - pos);
        pos = end + 1;
        size_t at = line.find("domain=");
        if (at == std::string::npos) continue;
        DomainEntry entry;
        size_t start = at + 7;
        size_t semi = line.find(';', start);
        entry.name = line.substr(start, (semi == std::string::npos ? line.size() : semi) - start);
        size_t type = line.find("authType=", semi == std::string::npos ? line.size() : semi);
        if (type != std::string::npos) entry.authType = ParseDecimal(line.substr(type + 9));
        if (entry.name.size() <= kMaxReplyValue) list.push_back(std::move(entry));
    }
    return list;
}

int32_t ParseDomainQueryReply(const std::string& headers, const std::string& body, LoginReply& out) {
    if (headers.empty()) return CGI_NO_RESPONSE;
    if (StatusCodeIs(headers, "407")) return CGI_PROXY_AUTH_REQUIRED;
    std::string value;
    if (MarkerValue(headers, "X-KE-geobot: ", value)) {
        out.message = value;
        return CGI_GEOIP_DENIED;
    }
    if (MarkerValue(headers, "X-KE-message:", value)) out.message = value;
    if (int32_t r = VersionResult(headers)) return r;
    if (body.empty()) return CGI_NO_RESPONSE;
    if (Contains(body, "error:no available domains")) return CGI_NO_PORTAL;
    out.domains = ParseDomainList(body);
    return CGI_OK;
}

int32_t ParseUserLoginReply(const std::string& headers, const std::string& body, LoginReply& out) {
    if (headers.empty()) return CGI_NO_RESPONSE;
    // A proxy asking for credentials is not a refused login.
    if (StatusCodeIs(headers, "407")) return CGI_PROXY_AUTH_REQUIRED;
    std::string value;
    if (MarkerValue(headers, "X-KE-geobot: ", value)) {
        out.message = value;
        return CGI_GEOIP_DENIED;
    }
    if (Contains(headers, "multiportal")) {
        out.portals.emplace();
        ReadPortalList(body, *out.portals);
        return CGI_MULTIPLE_PORTALS;
    }
    if (Contains(headers, "noenableportal")) return CGI_NO_PORTAL;
    int32_t result = CGI_OK;
    std::string sessionId;
    if (ReadSessionCookie(headers, sessionId))
        out.sessionId = sessionId;
    else
        result = CGI_LOGIN_FAILED;
    if (MarkerValue(headers, "X-KE-maychangepwd", value)) out.mayChangePassword = ParseDecimal(value);
    if (MarkerValue(headers, "X-KE-pwdexpdays", value)) {
        out.passwordExpiryDays = ParseDecimal(value);
        if (*out.passwordExpiryDays == -1) return CGI_PASSWORD_EXPIRY;
    }
    if (MarkerValue(headers, "X-KE-tf:", value)) {
        int32_t kind = ParseDecimal(value);
        if (kind != 0) {
            std::string state;
            if (kind >= 2 && kind <= 5 && MarkerValueWithCr(headers, "X-KE-rsastate: ", state))
                out.pstate = state;
            out.secondStepKind = kind;
            result = CGI_SECOND_STEP;
        }
    }
    if (MarkerValue(headers, "X-KE-pendingId:", value)) {
        out.pendingId = value;
        return CGI_SESSION_EXISTS;
    }
    if (MarkerValue(headers, "X-KE-message:", value)) out.message = value;
    return result;
}

int32_t ParseGuestLoginReply(const std::string& headers, const std::string& body, LoginReply& out) {
    if (headers.empty()) return CGI_NO_RESPONSE;
    if (StatusCodeIs(headers, "407")) return CGI_PROXY_AUTH_REQUIRED;
    std::string value;
    if (MarkerLine(headers, "X-KE-geobot: ", value)) {
        out.message = value;
        return CGI_GEOIP_DENIED;
    }
    if (int32_t r = VersionResult(headers)) return r;
    if (Contains(headers, "multiportal")) {
        out.portals.emplace();
        ReadPortalList(body, *out.portals);
        return CGI_MULTIPLE_PORTALS;
    }
    int32_t result = CGI_OK;
    std::string sessionId;
    if (ReadSessionCookie(headers, sessionId))
        out.sessionId = sessionId;
    else
        result = CGI_LOGIN_FAILED;
    if (MarkerLine(headers, "X-KE-message:", value)) out.message = value;
    if (Contains(body, "error:no available portal")) return CGI_NO_PORTAL;
    return result;
}

void ApplyLoginReply(const LoginReply& reply, CgiSession& session) {
    if (reply.message) session.serverMessage = *reply.message;
    if (reply.portals) session.portals = *reply.portals;
    if (reply.domains) session.domains = *reply.domains;
    if (reply.sessionId) session.sessionId = *reply.sessionId;
    if (reply.mayChangePassword) session.mayChangePassword = *reply.mayChangePassword;
    if (reply.passwordExpiryDays) {
        session.passwordExpiry = 1;
        session.passwordExpiryDays = *reply.passwordExpiryDays;
    }
    if (reply.pstate) session.pstate = *reply.pstate;
    if (reply.secondStepKind) session.secondStepKind = *reply.secondStepKind;
    if (reply.pendingId) session.pendingId = *reply.pendingId;
}
