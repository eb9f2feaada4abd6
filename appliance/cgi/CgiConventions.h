#pragma once
// What every appliance request shares: referrer, header blocks, the session
// cookie and the form-body encoding.
#include <string>

#include "appliance/cgi/CgiTransport.h"
#include "core/base/UserAgent.h"

struct CgiSession;

constexpr char kHttpVersion[] = "HTTP/1.1";
constexpr long kClientVersion = 134217734;  // 8.0.0.6, one byte per part

// "https://localhost/cgi-bin/welcome", plain or percent-encoded.
std::string PlainReferrer();
std::string EncodedReferrer();

// Content headers of every form POST. Compressed replies are decoded
// (Exchange) before any marker is looked for.
constexpr char kFormHeaders[] =
    "Accept-Language: en-us\r\nContent-Type: application/x-www-form-urlencoded\r\n"
    "Accept-Encoding: gzip, deflate\r\n";

// "Cookie: swap=<Base64 of the session id>\r\n" for POST requests.
std::string PostCookieLine(const CgiSession& session);
// The cookie line of GET requests, with its fixed tail and no CRLF.
std::string GetCookieLine(const CgiSession& session);

// Form values: UTF-8 bytes percent-encoded (every byte but 0-9, A-Z, a-z).
std::string UrlEncode(const std::string& utf8);
std::string UrlEncodeWide(const std::wstring& text);

// A GET with the cookie line and the encoded referrer.
CgiRequest MakeCookieGet(const CgiSession& session, std::string path);
// A POST carrying the session cookie before the form headers.
CgiRequest MakeCookiePost(const CgiSession& session, std::string path, std::string body);
// A POST without cookie: the form headers go with the send itself.
CgiRequest MakePlainPost(std::string path, std::string referrer, std::string body);

// Sends the request through the session's transport. A received body that
// does not match its Content-Length, does not decode or decodes past the
// reply limit makes the exchange fail (kErrorBadReply) with nothing received.
CgiReply Exchange(CgiSession& session, const CgiRequest& request);
