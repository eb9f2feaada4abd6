#pragma once
// The proxy configuration the manager holds and every HTTPS request copies.
// Plain values: copying copies every field, the password bytes included.
#include <cstdint>
#include <string>

#include "core/base/s_mem.h"

struct ProxyServer {
    std::string host;      // proxy address
    uint16_t port = 0;     // 0: none given, the host goes to WinHTTP alone
    std::string user;      // proxy user name
    s_mem password;        // StoredSecret of the proxy password, never plain
    std::string bypass;    // "Bypass Proxy:" list as typed, items joined by ";"
};

struct ProxyConfig {
    uint32_t Enable = 0;      // "Enable Proxy Settings"
    uint32_t AutoProxy = 0;   // automatic detection
    uint32_t discovered = 0;  // the appliance is on the bypass list: go direct
    std::string PacURL;       // automatic configuration script
    ProxyServer server;

    // A request goes through the proxy exactly when this holds.
    bool InUse() const { return Enable != 0 && discovered == 0 && !server.host.empty(); }
    // "host" or "host:port" as WinHTTP takes it (no ":0").
    std::string ProxyName() const;
};

// Proxy type byte kept beside the ProxyConfig (options page wording).
enum ProxyType : uint8_t {
    PROXY_TYPE_AUTODETECT = 0,
    PROXY_TYPE_SCRIPT = 1,
    PROXY_TYPE_SERVER = 2,
};
