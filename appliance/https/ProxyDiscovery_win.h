#pragma once
// Settles which proxy, if any, the appliance requests go through: the user's
// own settings or the current user's system settings, automatic modes
// resolved by WinHTTP's auto-proxy service, and the bypass list.
#include <cstdint>
#include <string>

#include "appliance/cgi/ProxyConfig.h"
#include "appliance/https/WinHttpApi_win.h"

// The current user's system proxy settings.
struct SystemProxyInfo {
    uint32_t autoDetect = 0;
    std::string autoConfigUrl;
    std::string host;
    uint16_t port = 0;
    std::string bypass;  // hosts joined by ";"
};

class CWInHTTPProxyHelper {
public:
    CWInHTTPProxyHelper() : m_api(WinHttp()) {}
    virtual ~CWInHTTPProxyHelper() = default;
    CWInHTTPProxyHelper(const CWInHTTPProxyHelper&) = delete;
    CWInHTTPProxyHelper& operator=(const CWInHTTPProxyHelper&) = delete;

    // 1 when the settings were read, else 0.
    int GetIEProxyConfig(SystemProxyInfo& out);
    // The proxy for https://host (or host itself when it holds "//"), from
    // the script at scriptUrl or, when that is empty, by auto-detection.
    // 0, or the WinHTTP error (13 without a host).
    uint32_t GetProxyForUrl(ProxyServer& out, const std::string& host, const std::string& scriptUrl);

private:
    const WinHttpApi* m_api;
    WinHttpHandle m_session;
};

// Resolves an automatic mode into config.server; a failed query or no proxy
// switches the proxy off for this attempt (Enable = 0). 0 or -1.
int GetProxyForServer(ProxyConfig& config, const std::string& host);

// Copies config into target, resolves an automatic mode (proxy type 0 or 1)
// and sets discovered when the appliance's numeric address is on the bypass
// list.
void DetectProxy(ProxyConfig& target, uint8_t proxyType, const ProxyConfig& config,
                 const std::string& applianceHost, const std::string& applianceAddress);

// The system settings as the configuration of a launch from a link: proxy
// user and password emptied; Enable when any mode or host is set.
void ProxyConfigFromSystem(ProxyConfig& config);
