#include "core/base/ServerAddress.h"

#include <algorithm>

std::string FormatServerAddress(const std::string& host, uint16_t port)
{
    bool ipv6 = std::count(host.begin(), host.end(), ':') >= 2 && (host.empty() || host[0] != '[');
    return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::string UnbracketedHost(const std::string& host)
{
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        return host.substr(1, host.size() - 2);
    return host;
}
