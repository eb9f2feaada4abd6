#pragma once
// The appliance's captcha page, opened in the user's browser when its GeoIP
// and botnet filter refuses a login.
#include <string>

// "https://<host>/cgi-bin/geoBotCaptcha?target=kx". The host comes from a
// link or the user, so only a host name or IPv4 address (at most 253 of
// letters, digits, '.', '-', '_') or an IPv6 address (hex digits, ':' and
// '.', bracketed here) is accepted; anything else gives "".
std::string MakeCaptchaAddress(const std::string& host);

// Opens that address with the shell's "open" verb. False, and nothing
// opened, when the host is refused or the shell cannot open it.
bool OpenCaptchaPage(const std::string& host);
