#include "appliance/ui/HostPort.h"

#include <algorithm>

namespace {

// Decimal 1-65535, digits only; 0 otherwise.
uint16_t ParsePort(const std::string& digits)
{
    if (digits.empty() || digits.size() > 5 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return 0;
    const unsigned long value = std::stoul(digits);
    return value <= 65535 ? static_cast<uint16_t>(value) : 0;
}

} // namespace

HostPort SplitHostPort(const std::string& text)
{
    HostPort out;
    out.host = text;
    size_t colon = std::string::npos;
    if (!text.empty() && text[0] == '[') {
        const size_t close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':')
            return out;
        colon = close + 1;
    } else {
        if (std::count(text.begin(), text.end(), ':') != 1)
            return out;
        colon = text.find(':');
    }
    const uint16_t port = ParsePort(text.substr(colon + 1));
    if (port == 0)
        return out;
    out.host = text.substr(0, colon);
    out.port = port;
    out.split = true;
    return out;
}
