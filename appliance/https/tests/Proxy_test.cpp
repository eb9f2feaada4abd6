// Proxy use and discovery with tinyproxy and a PAC file. The proxy is named
// "127.0.0.1" while the appliance is "localhost": Wine treats a proxy whose
// name equals the target's as no proxy at all.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>

#include "appliance/cgi/CgiResult.h"
#include "appliance/cgi/CgiSession.h"
#include "appliance/cgi/LoginRequests.h"
#include "appliance/https/ProxyDiscovery_win.h"
#include "appliance/cgi/SessionRequests.h"
#include "appliance/https/WinHttpTransport_win.h"
#include "appliance/https/tests/Peers_win.h"
#include "core/base/StoredSecret.h"

namespace {

struct ViaProxy {
    WinHttpTransport transport;
    CgiSession s{transport};
    ViaProxy() {
        s.applianceHost = "localhost";
        s.appliancePort = TestPeers().Port("appliance_port");
        s.acceptedCert = {"localhost", s.appliancePort, TestPeers()["server_sha1"]};
    }
    void Use(const char* portKey) {
        s.proxy.Enable = 1;
        s.proxy.server.host = "127.0.0.1";
        s.proxy.server.port = TestPeers().Port(portKey);
    }
};

// Wine sends the request inside the proxy's tunnel with an absolute target
// ("GET https://localhost:port/path ..."); the appliance serves it as the
// origin form, so what arrived and what came back can both be checked.
std::string LastTarget() {
    auto log = ReadRequestLog(TestPeers()["request_log"]);
    if (log.empty()) return std::string();
    const std::string& head = log.back().head;
    size_t sp = head.find(' ');
    return head.substr(sp + 1, head.find(' ', sp + 1) - sp - 1);
}

std::string Via(const std::string& path) {
    return "https://localhost:" + TestPeers()["appliance_port"] + path;
}

size_t Connects(const char* logKey) {
    std::string log = ReadWholeFile(TestPeers()[logKey]);
    size_t n = 0;
    for (size_t at = 0; (at = log.find("CONNECT localhost:", at)) != std::string::npos; ++at) ++n;
    return n;
}

}  // namespace

// Each request through the open proxy gets its whole reply and its result:
// a GET, a form POST whose session cookie later requests carry, and a binary
// download.
TEST(Proxy, RequestsGoThroughTheProxy) {
    ViaProxy v;
    v.Use("proxy_port");
    size_t before = Connects("proxy_log");
    EXPECT_EQ(CgiQueryDomains(v.s), CGI_OK);
    ASSERT_EQ(v.s.domains.size(), 1u);
    EXPECT_EQ(v.s.domains[0].name, "LocalDB");
    EXPECT_EQ(LastTarget(), Via("/cgi-bin/userLogin?callerRole=1&QueryDomain=true"));

    v.s.displayName = L"alice";
    std::string password = "secret";
    ASSERT_EQ(EncryptStoredString(&password[0], v.s.password), 1);
    v.s.domain = "LocalDB";
    EXPECT_EQ(CgiUserLogin(v.s), CGI_OK);
    EXPECT_FALSE(v.s.sessionId.empty());
    LoggedRequest login = ReadRequestLog(TestPeers()["request_log"]).back();
    EXPECT_EQ(LastTarget(), Via("/cgi-bin/userLogin"));
    EXPECT_EQ(login.body, "username=alice&password=secret&domain=LocalDB&login=true&login.x=0&login.y=0&callerRole=1");
    EXPECT_EQ(CgiSessionTest(v.s), CGI_OK);
    EXPECT_EQ(v.s.displayName, L"alice");

    const std::string file = TestPeers()["work_dir"] + "\\via-proxy.exe";
    EXPECT_EQ(CgiDownloadClientUpgrade(v.s, file), CGI_OK);
    EXPECT_EQ(ReadWholeFile(file), "MZ local appliance client installer\r\n");
    EXPECT_EQ(Connects("proxy_log"), before + 4);

    // On the bypass list: the request goes direct.
    v.s.proxy.discovered = 1;
    EXPECT_EQ(CgiSessionTest(v.s), CGI_OK);
    EXPECT_EQ(Connects("proxy_log"), before + 4);
    EXPECT_EQ(LastTarget(), "/cgi-bin/meetingactive?SessionTest=true");
}

// Under Wine a CONNECT answered with 407 fails the secure channel (12157)
// with or without credentials, so the 407 never reaches the reply parsers
// here; the appliance's own 407 reply (FailureRepliesMapToTheirCodes) and the
// native tests cover that mapping. What holds: the proxy is asked, and
// nothing reaches the appliance.
TEST(Proxy, AuthenticatingProxyIsAskedAndStopsTheRequest) {
    ViaProxy v;
    v.Use("auth_proxy_port");
    size_t before = ReadRequestLog(TestPeers()["request_log"]).size();
    size_t asked = Connects("auth_proxy_log");
    EXPECT_NE(CgiSessionTest(v.s), CGI_OK);
    v.s.proxy.server.user = "proxyuser";
    std::string password = "proxypass";
    ASSERT_EQ(EncryptStoredString(&password[0], v.s.proxy.server.password), 1);
    EXPECT_NE(CgiSessionTest(v.s), CGI_OK);
    EXPECT_EQ(Connects("auth_proxy_log"), asked + 2);
    EXPECT_EQ(ReadRequestLog(TestPeers()["request_log"]).size(), before);
}

TEST(ProxyDiscovery, PacScriptChoosesTheProxy) {
    ProxyConfig config, target;
    config.Enable = 1;
    config.PacURL = TestPeers()["pac_url"];
    DetectProxy(target, PROXY_TYPE_SCRIPT, config, "localhost", "127.0.0.1");
    EXPECT_EQ(target.Enable, 1u);
    EXPECT_EQ(target.server.host, "127.0.0.1");
    EXPECT_EQ(target.server.port, TestPeers().Port("proxy_port"));
    EXPECT_EQ(target.discovered, 0u);

    ViaProxy v;
    v.s.proxy = target;
    size_t before = Connects("proxy_log");
    EXPECT_EQ(CgiQueryDomains(v.s), CGI_OK);
    ASSERT_EQ(v.s.domains.size(), 1u);
    EXPECT_EQ(v.s.domains[0].name, "LocalDB");
    EXPECT_EQ(Connects("proxy_log"), before + 1);
    EXPECT_EQ(LastTarget(), Via("/cgi-bin/userLogin?callerRole=1&QueryDomain=true"));
    // A failure reply through the chosen proxy maps to its own code.
    EXPECT_EQ(CgiSessionTest(v.s), CGI_FAILED);  // no session yet
    EXPECT_EQ(Connects("proxy_log"), before + 2);
    v.s.displayName = L"Guest via PAC";
    EXPECT_EQ(CgiGuestLogin(v.s), CGI_OK);
    EXPECT_EQ(CgiSessionTest(v.s), CGI_OK);
    EXPECT_EQ(Connects("proxy_log"), before + 4);

    // The script says DIRECT for other hosts; a script that cannot be
    // fetched switches the proxy off for this attempt.
    DetectProxy(target, PROXY_TYPE_SCRIPT, config, "direct.example", "10.0.0.9");
    EXPECT_EQ(target.Enable, 0u);
    config.PacURL = TestPeers()["missing_pac_url"];
    DetectProxy(target, PROXY_TYPE_SCRIPT, config, "localhost", "127.0.0.1");
    EXPECT_EQ(target.Enable, 0u);
}

TEST(ProxyDiscovery, BypassListSetsDiscovered) {
    ProxyConfig config, target;
    config.Enable = 1;
    config.server.host = "127.0.0.1";
    config.server.port = TestPeers().Port("proxy_port");
    config.server.bypass = "no-such-host.invalid;;10.0.0.5;localhost";
    DetectProxy(target, PROXY_TYPE_SERVER, config, "localhost", "127.0.0.1");
    EXPECT_EQ(target.discovered, 1u);
    EXPECT_FALSE(target.InUse());
    DetectProxy(target, PROXY_TYPE_SERVER, config, "appliance", "10.0.0.5");
    EXPECT_EQ(target.discovered, 1u);
    DetectProxy(target, PROXY_TYPE_SERVER, config, "appliance", "10.0.0.6");
    EXPECT_EQ(target.discovered, 0u);
    EXPECT_TRUE(target.InUse());
}

TEST(ProxyDiscovery, SystemSettingsOfTheCurrentUser) {
    // The Internet Settings blob: version, counter, flags (proxy | PAC URL),
    // then proxy, bypass and script address, each with its length.
    auto piece = [](std::string& blob, const std::string& text) {
        uint32_t n = static_cast<uint32_t>(text.size());
        blob.append(reinterpret_cast<const char*>(&n), 4);
        blob += text;
    };
    std::string blob;
    const uint32_t head[] = {0x46, 1, 2 | 4};
    blob.append(reinterpret_cast<const char*>(head), sizeof head);
    piece(blob, "http=a:80;https=127.0.0.1:" + TestPeers()["proxy_port"]);
    piece(blob, "<local>;localhost");
    piece(blob, TestPeers()["pac_url"]);
    blob.append(32, '\0');
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER,
                              L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections",
                              0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, L"DefaultConnectionSettings", 0, REG_BINARY,
                             reinterpret_cast<const BYTE*>(blob.data()), static_cast<DWORD>(blob.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);

    ProxyConfig config;
    config.server.user = "stale";
    ProxyConfigFromSystem(config);
    EXPECT_EQ(config.Enable, 1u);
    EXPECT_EQ(config.server.host, "127.0.0.1");
    EXPECT_EQ(config.server.port, TestPeers().Port("proxy_port"));
    EXPECT_EQ(config.server.bypass, "<local>;localhost");
    EXPECT_EQ(config.PacURL, TestPeers()["pac_url"]);
    EXPECT_EQ(config.server.user, "");
}
