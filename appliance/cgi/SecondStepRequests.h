#pragma once
// The second steps of a login: the one-time password at "/cgi-bin/otpLogin"
// and the RSA PIN, next-code and RADIUS answers at "/cgi-bin/userLogin".
// Each sends one POST, reads the reply's markers into the session (message,
// pstate, second-step kind, verdict, session cookie) and returns a result
// code; a reply without headers gives CGI_FAILED.
#include <cstdint>
#include <string>

struct CgiSession;

// 16 with the verdict in tfResult (-1 when the reply named none).
int32_t CgiOtpLogin(CgiSession& session, const std::string& code);
// 16 (verdict in tfResult), 65.
int32_t CgiRsaNewPin(CgiSession& session, const std::string& pin, const std::string& confirmation);
// 16 with a verdict, 13 without one (a further PIN step), 65.
int32_t CgiRsaSystemPin(CgiSession& session, bool accept);
// 16; 11 when an accepting (or missing) verdict came without a session
// cookie; 65. A refusing verdict (1 or 2) needs no cookie.
int32_t CgiRsaNextCode(CgiSession& session, const std::string& code);
// 0 logged in (the cookie is the session), 12 a further challenge, 11 no
// cookie, 65.
int32_t CgiRadiusChallenge(CgiSession& session, const std::string& reply);
