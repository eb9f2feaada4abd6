#include "core/base/CaptchaPage.h"

#include <algorithm>

namespace {

constexpr size_t kMaxHostName = 253;
constexpr size_t kMaxIpv6Text = 45;

bool IsAsciiAlnum(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsHostName(const std::string& h)
{
    return !h.empty() && h.size() <= kMaxHostName && std::all_of(h.begin(), h.end(), [](char c) {
        return IsAsciiAlnum(c) || c == '.' || c == '-' || c == '_';
    });
}

bool IsIpv6Text(const std::string& h)
{
    return h.size() <= kMaxIpv6Text && std::count(h.begin(), h.end(), ':') >= 2 &&
           std::all_of(h.begin(), h.end(), [](char c) { return IsHexDigit(c) || c == ':' || c == '.'; });
}

} // namespace

std::string MakeCaptchaAddress(const std::string& host)
{
    std::string h = host;
    bool bracketed = h.size() >= 2 && h.front() == '[' && h.back() == ']';
    if (bracketed)
        h = h.substr(1, h.size() - 2);
    std::string authority;
    if (h.find(':') != std::string::npos || bracketed) {
        if (!IsIpv6Text(h))
            return std::string();
        authority = "[" + h + "]";
    } else {
        if (!IsHostName(h))
            return std::string();
        authority = h;
    }
    return "https://" + authority + "/cgi-bin/geoBotCaptcha?target=kx";
}
