// Proxy and bypass lists from the system settings or an auto-proxy result,
// and a percent-encoded appliance host.
#include <cstddef>
#include <cstdint>
#include <string>

#include "appliance/cgi/ProxyList.h"
#include "appliance/cgi/UrlDecode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<ProxyListEntry> list = ParseProxyList(text);
    std::string host;
    uint16_t port = 0;
    ChooseProxy(list, host, port);
    JoinBypassHosts(list);
    SplitProxyList(text);
    UrlDecode(UrlDecode(text));
    return 0;
}
