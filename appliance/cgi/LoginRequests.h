#pragma once
// Login, guest login and logout at the appliance's "/cgi-bin/userLogin" and
// "/cgi-bin/userLogout".
#include <cstdint>

struct CgiSession;

// Domains on offer and whether this client may talk to the appliance:
// 0, 19, 24, 34, 38, 44, 51, 64, 65.
int32_t CgiQueryDomains(CgiSession& session);
// Posts the credentials: 0, 11, 12, 19, 24, 36, 37, 42, 43, 51, 65, 67.
int32_t CgiUserLogin(CgiSession& session);
// Logs in as a guest under the display name: 0, 11, 19, 24, 34, 38, 43, 51, 64, 65.
int32_t CgiGuestLogin(CgiSession& session);
// Ends the session; 0 in every case, and the session counts as signed out.
int32_t CgiUserLogout(CgiSession& session);
