#pragma once
// Proxy and bypass lists as the system settings and auto-proxy results give
// them ("http=a:80;https=b:443", "c:3128", "<local>;*.example").
#include <cstdint>
#include <string>
#include <vector>

struct ProxyListEntry {
    std::string scheme;  // lower case; empty when the item names none
    std::string host;    // lower case
    uint16_t port = 0;   // 0 when none is given or it is not a port number
};

// Items end at ";" or a blank. Empty items are skipped: an empty entry would
// win the choice below and switch the proxy off. Ports are decimal.
std::vector<ProxyListEntry> ParseProxyList(const std::string& text);

// The first entry whose scheme contains "https" or is empty. Returns false and
// leaves host and port alone when none qualifies.
bool ChooseProxy(const std::vector<ProxyListEntry>& list, std::string& host, uint16_t& port);

// The hosts joined by ";".
std::string JoinBypassHosts(const std::vector<ProxyListEntry>& list);

// Pieces of a ";"-separated list, empty ones included. Pieces longer than
// kMaxProxyListPiece bytes are dropped: no host name is that long.
constexpr size_t kMaxProxyListPiece = 255;
std::vector<std::string> SplitProxyList(const std::string& text);
