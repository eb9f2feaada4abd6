#pragma once
// Parsing the replies of the domain query, the user login and the guest login.
// Each parser reads the raw response headers and the body and fills a reply
// record; the requests then store the record's values in the session.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "appliance/cgi/CgiSession.h"

struct LoginReply {
    std::optional<std::string> message;  // "X-KE-geobot: " or "X-KE-message:"
    std::optional<std::vector<std::string>> portals;
    std::optional<std::vector<DomainEntry>> domains;
    std::optional<std::string> sessionId;
    std::optional<int32_t> mayChangePassword;
    std::optional<int32_t> passwordExpiryDays;
    std::optional<int32_t> secondStepKind;
    std::optional<std::string> pstate;
    std::optional<std::string> pendingId;
};

// Domain list body: one entry a line, "domain=" name [";"] ["authType=" n].
std::vector<DomainEntry> ParseDomainList(const std::string& body);

int32_t ParseDomainQueryReply(const std::string& headers, const std::string& body, LoginReply& out);
int32_t ParseUserLoginReply(const std::string& headers, const std::string& body, LoginReply& out);
int32_t ParseGuestLoginReply(const std::string& headers, const std::string& body, LoginReply& out);

// Stores what a reply carried in the session.
void ApplyLoginReply(const LoginReply& reply, CgiSession& session);
