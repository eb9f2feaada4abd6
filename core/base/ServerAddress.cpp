#include "core/base/ServerAddress.h"

#include <algorithm>

std::string FormatServerAddress(const std::string& host, uint16_t port)
{
    bool ipv6 = std::count(host.begin(), host.end(), ':') >= 2 && (host.empty() || host[0] != '[');
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}
