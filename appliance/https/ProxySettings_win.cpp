#include "appliance/https/ProxySettings_win.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include "core/base/PlainSecret.h"
#include "appliance/cgi/UrlDecode.h"
#include "core/base/DHLog.h"
#include "core/base/Registry.h"
#include "core/base/ServerAddress.h"
#include "core/base/StoredSecret.h"
#include "core/base/TextConvert.h"

namespace {

const std::string kProxyKey = std::string(kSettingsKey) + "\\Proxy";

// 0, or the resolver's error.
int Resolve(const std::string& host, const std::string& port, addrinfo*& result) {
    addrinfo hints{};
    int error = getaddrinfo(UnbracketedHost(host).c_str(), port.c_str(), &hints, &result);
    if (error == 0 && !result) error = WSANO_DATA;
    return error;
}

// The system's text for a resolver error, on one line.
std::wstring ErrorText(int error) {
    wchar_t buf[1024] = {};
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                 FORMAT_MESSAGE_MAX_WIDTH_MASK,
                             nullptr, static_cast<DWORD>(error), 0, buf, 1024, nullptr);
    std::wstring text(buf, n);
    while (!text.empty() && (text.back() == L' ' || text.back() == L'\r' || text.back() == L'\n'))
        text.pop_back();
    return text.empty() ? L"error " + std::to_wstring(error) : text;
}

}  // namespace

int ReadProxySettings(ProxyConfig& config, uint8_t& proxyType) {
    const char* key = kProxyKey.c_str();
    DWORD enable = 0;
    if (!RegReadDword(key, "Enable", enable)) {
        config.Enable = 0;
        config.AutoProxy = 0;
        config.PacURL.clear();
        config.server.host.clear();
        config.server.user.clear();
        config.server.port = 0;
        config.server.password.Clear();
        return 0;
    }
    config.Enable = enable;
    DWORD type = proxyType;
    if (RegReadDword(key, "ProxyType", type)) proxyType = static_cast<uint8_t>(type & 0xFF);
    DWORD value = 0;
    RegReadDword(key, "AutoProxy", value);
    config.AutoProxy = value;
    config.PacURL.clear();
    RegReadString(key, "PacURL", config.PacURL);
    config.server.host.clear();
    RegReadString(key, "Server", config.server.host);
    value = 0;
    RegReadDword(key, "Port", value);
    config.server.port = static_cast<uint16_t>(value & 0xFFFF);
    config.server.bypass.clear();
    RegReadString(key, "Bypass", config.server.bypass);
    config.server.user.clear();
    RegReadString(key, "User", config.server.user);
    config.server.password.Clear();
    s_mem stored;
    if (RegReadValue(key, "npx0", stored)) {
        PlainSecret plain(stored);
        if (!plain.Text().empty()) {
            std::string copy = plain.Text();
            EncryptStoredString(&copy[0], config.server.password);
        }
    }
    return 1;
}

int SaveProxySettings(const ProxyConfig& config, uint8_t proxyType) {
    const char* key = kProxyKey.c_str();
    int ok = RegWriteDword(key, "ProxyType", proxyType);
    ok &= RegWriteDword(key, "Enable", config.Enable ? 1 : 0);
    if (!config.Enable) return ok;
    switch (proxyType) {
        case PROXY_TYPE_AUTODETECT:
            ok &= RegWriteDword(key, "AutoProxy", config.AutoProxy ? 1 : 0);
            break;
        case PROXY_TYPE_SCRIPT:
            ok &= RegWriteString(HKEY_CURRENT_USER, key, "PacURL", config.PacURL.c_str());
            break;
        case PROXY_TYPE_SERVER: {
            ok &= RegWriteString(HKEY_CURRENT_USER, key, "Server", config.server.host.c_str());
            ok &= RegWriteDword(key, "Port", config.server.port);
            ok &= RegWriteString(HKEY_CURRENT_USER, key, "Bypass", config.server.bypass.c_str());
            ok &= RegWriteString(HKEY_CURRENT_USER, key, "User", config.server.user.c_str());
            PlainSecret plain(config.server.password);
            if (plain.Text().empty()) {
                // No password, or one that cannot be decrypted: nothing to keep.
                if (!config.server.password.IsEmpty()) ok = 0;
                RegDeleteKeyTree(HKEY_CURRENT_USER, key, "npx0");
                break;
            }
            std::string copy = plain.Text();
            s_mem fresh;
            // A password that cannot be stored is a failed save, not a silent one.
            ok &= EncryptStoredString(&copy[0], fresh) && SaveProxyPassword(key, fresh);
            break;
        }
        default:
            break;
    }
    return ok;
}

int SaveProxyPassword(const char* keyPath, const s_mem& secret) {
    return RegWriteValue(HKEY_CURRENT_USER, keyPath, "npx0", secret, REG_BINARY);
}

int ResolveApplianceHost(std::string& host, uint16_t port, std::string& numericAddress, int& family) {
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 0;
    const std::string portText = std::to_string(port);
    std::string name = host;
    addrinfo* result = nullptr;
    if (Resolve(name, portText, result) != 0) {
        name = UrlDecode(name);
        if (Resolve(name, portText, result) != 0) {
            name = UrlDecode(name);
            if (int error = Resolve(name, portText, result)) {
                DHLog::Instance().PrintW(DHLOG_CAT_STARTUP, DHLOG_ERROR, false, L"%s <%s>\n",
                                         AnsiToWide(host, kCodePageUtf8).c_str(), ErrorText(error).c_str());
                WSACleanup();
                return 0;
            }
        }
    }
    int resolvedFamily = result->ai_family == AF_INET ? 0 : result->ai_family == AF_INET6 ? 1 : -1;
    char numeric[NI_MAXHOST] = {};
    bool ok = resolvedFamily >= 0 &&
              getnameinfo(result->ai_addr, static_cast<socklen_t>(result->ai_addrlen), numeric, sizeof numeric,
                          nullptr, 0, NI_NUMERICHOST) == 0;
    freeaddrinfo(result);
    WSACleanup();
    if (!ok) return 0;
    numericAddress = numeric;
    family = resolvedFamily;
    const std::string bare = UnbracketedHost(name);
    host = (family == 1 && bare.compare(0, numericAddress.size(), numericAddress) == 0)
               ? "[" + numericAddress + "]"
               : name;
    return 1;
}
