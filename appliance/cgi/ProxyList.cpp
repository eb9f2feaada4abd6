#include "appliance/cgi/ProxyList.h"

#include "core/base/StringUtil.h"

namespace {

uint16_t ParsePort(const std::string& digits) {
    if (digits.empty() || digits.size() > 5) return 0;
    uint32_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return 0;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    return value <= 65535 ? static_cast<uint16_t>(value) : 0;
}

ProxyListEntry ParseItem(std::string item) {
    ProxyListEntry entry;
    size_t colon = 0;
    while ((colon = item.find(':', colon)) != std::string::npos) {
        if (colon + 1 >= item.size() || item[colon + 1] != '/') break;
        ++colon;
    }
    if (colon != std::string::npos) {
        entry.port = ParsePort(item.substr(colon + 1));
        item.resize(colon);
    }
    size_t eq = item.find('=');
    if (eq != std::string::npos) {
        entry.scheme = ToLowerString(item.substr(0, eq));
        entry.host = ToLowerString(item.substr(eq + 1));
    } else {
        entry.host = ToLowerString(item);
    }
    return entry;
}

}  // namespace

std::vector<ProxyListEntry> ParseProxyList(const std::string& text) {
    std::vector<ProxyListEntry> list;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of("; ", pos);
        if (end == std::string::npos) end = text.size();
        if (end > pos) list.push_back(ParseItem(text.substr(pos, end - pos)));
        pos = end + 1;
    }
    return list;
}

bool ChooseProxy(const std::vector<ProxyListEntry>& list, std::string& host, uint16_t& port) {
    for (const ProxyListEntry& e : list) {
        if (e.scheme.empty() || e.scheme.find("https") != std::string::npos) {
            host = e.host;
            port = e.port;
            return true;
        }
    }
    return false;
}

std::string JoinBypassHosts(const std::vector<ProxyListEntry>& list) {
    std::string joined;
    for (const ProxyListEntry& e : list) {
        if (!joined.empty()) joined += ';';
        joined += e.host;
    }
    return joined;
}

std::vector<std::string> SplitProxyList(const std::string& text) {
    std::vector<std::string> pieces;
    for (std::string& piece : SplitString(text, ";")) {
        if (piece.size() <= kMaxProxyListPiece) pieces.push_back(std::move(piece));
    }
    return pieces;
}
