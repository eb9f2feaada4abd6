#include "appliance/https/ProxyDiscovery_win.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <vector>

#include "appliance/cgi/ProxyList.h"
#include "core/base/TextConvert.h"

namespace {

std::string Narrow(const wchar_t* text) {
    return text ? WideToAnsi(text, kCodePageUtf8) : std::string();
}

void FreeText(LPWSTR text) {
    if (text) GlobalFree(text);
}

// The first IPv4 address of a bypass piece in dotted form; "" when it does
// not resolve.
std::string BypassAddress(const std::string& piece) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* result = nullptr;
    if (piece.empty() || getaddrinfo(piece.c_str(), nullptr, &hints, &result) != 0 || !result)
        return std::string();
    char text[INET_ADDRSTRLEN] = {};
    const auto* in = reinterpret_cast<const sockaddr_in*>(result->ai_addr);
    inet_ntop(AF_INET, const_cast<in_addr*>(&in->sin_addr), text, sizeof text);
    freeaddrinfo(result);
    return text;
}

}  // namespace

int CWInHTTPProxyHelper::GetIEProxyConfig(SystemProxyInfo& out) {
    if (!m_api) return 0;
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG ie{};
    if (!m_api->GetIEProxyConfigForCurrentUser(&ie)) return 0;
    out.autoDetect = ie.fAutoDetect ? 1 : 0;
    out.autoConfigUrl = Narrow(ie.lpszAutoConfigUrl);
    ChooseProxy(ParseProxyList(Narrow(ie.lpszProxy)), out.host, out.port);
    out.bypass = JoinBypassHosts(ParseProxyList(Narrow(ie.lpszProxyBypass)));
    FreeText(ie.lpszAutoConfigUrl);
    FreeText(ie.lpszProxy);
    FreeText(ie.lpszProxyBypass);
    return 1;
}

uint32_t CWInHTTPProxyHelper::GetProxyForUrl(ProxyServer& out, const std::string& host,
                                             const std::string& scriptUrl) {
    if (host.empty()) return ERROR_INVALID_DATA;
    if (!m_api) return ERROR_MOD_NOT_FOUND;
    const std::string url = host.find("//") != std::string::npos ? host : "https://" + host;
    m_session.Reset(m_api->Open(L"Kx AutoProxy/1.0", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                WINHTTP_NO_PROXY_BYPASS, 0));
    if (!m_session) return GetLastError();
    std::wstring script = AnsiToWide(scriptUrl, kCodePageUtf8);
    WINHTTP_AUTOPROXY_OPTIONS options{};
    if (!script.empty()) {
        options.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
        options.lpszAutoConfigUrl = script.c_str();
    } else {
        options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
    }
    options.fAutoLogonIfChallenged = TRUE;
    WINHTTP_PROXY_INFO info{};
    const std::wstring wurl = AnsiToWide(url, kCodePageUtf8);
    if (!m_api->GetProxyForUrl(m_session.get(), wurl.c_str(), &options, &info)) return GetLastError();
    ChooseProxy(ParseProxyList(Narrow(info.lpszProxy)), out.host, out.port);
    out.bypass = JoinBypassHosts(ParseProxyList(Narrow(info.lpszProxyBypass)));
    // DIRECT: no proxy at all.
    if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NO_PROXY) out.host.clear();
    FreeText(info.lpszProxy);
    FreeText(info.lpszProxyBypass);
    return 0;
}

int GetProxyForServer(ProxyConfig& config, const std::string& host) {
    CWInHTTPProxyHelper helper;
    const std::string script = config.AutoProxy ? std::string() : config.PacURL;
    if (helper.GetProxyForUrl(config.server, host, script) != 0) {
        config.Enable = 0;
        return -1;
    }
    if (config.server.host.empty()) config.Enable = 0;
    return 0;
}

void DetectProxy(ProxyConfig& target, uint8_t proxyType, const ProxyConfig& config,
                 const std::string& applianceHost, const std::string& applianceAddress) {
    target = config;
    if (target.Enable && (proxyType == PROXY_TYPE_AUTODETECT || proxyType == PROXY_TYPE_SCRIPT))
        GetProxyForServer(target, applianceHost);
    target.discovered = 0;
    if (!target.Enable || target.server.bypass.empty()) return;
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return;
    for (const std::string& piece : SplitProxyList(target.server.bypass)) {
        if (!applianceAddress.empty() && BypassAddress(piece) == applianceAddress) {
            target.discovered = 1;
            break;
        }
    }
    WSACleanup();
}

void ProxyConfigFromSystem(ProxyConfig& config) {
    config.server.user.clear();
    config.server.password.Clear();
    SystemProxyInfo info;
    CWInHTTPProxyHelper helper;
    if (helper.GetIEProxyConfig(info)) {
        config.AutoProxy = info.autoDetect;
        config.PacURL = info.autoConfigUrl;
        config.server.host = info.host;
        config.server.port = info.port;
        config.server.bypass = info.bypass;
        config.Enable = info.autoDetect || !info.autoConfigUrl.empty() || !info.host.empty() ? 1 : 0;
    } else {
        config.Enable = 0;
        config.AutoProxy = 0;
        config.PacURL.clear();
        config.server.host.clear();
        config.server.port = 0;
    }
}
