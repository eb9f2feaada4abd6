#pragma once
// Session and meeting tests, the appliance certificate check, the client
// download and the password change.
#include <cstdint>
#include <string>

struct CgiSession;

// 0 valid; 1 not valid or no answer; 19; 24. A valid session's reply may
// carry the user's display name, which is then stored.
int32_t CgiSessionTest(CgiSession& session);
int32_t CgiMeetingTest(CgiSession& session);

// 1 no certificate problem; 0 a reply without a status line or an exception
// (logged); 19; 24;
// 46 the certificate failed the checks and serverCert holds it;
// 66 it failed and could not be read.
int32_t CgiCheckServerCert(CgiSession& session);

// Fetches the client installer into path (UTF-8): 0 written; 1 nothing
// usable received (no reply, a status other than 200, or an empty body);
// 35 the file could not be written. The file is replaced only by a complete
// download.
int32_t CgiDownloadClientUpgrade(CgiSession& session, const std::string& path);

// 0 changed, 1 not changed.
int32_t CgiChangePassword(CgiSession& session, const std::string& newPassword,
                          const std::string& oldPassword);

// The longest display name taken from a session test, in bytes.
constexpr size_t kMaxSessionUserName = 127;
