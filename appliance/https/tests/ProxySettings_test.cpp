// Proxy settings in the registry and the appliance address resolution (in the
// private prefix of with_peers.sh).
#include "appliance/https/ProxySettings_win.h"

#include <gtest/gtest.h>

#include <cstring>

#include "core/base/PlainSecret.h"
#include "core/base/Registry.h"
#include "core/base/StoredSecret.h"

namespace {

const std::string kKey = std::string(kSettingsKey) + "\\Proxy";

void Secret(s_mem& out, const char* text) {
    std::string copy = text;
    ASSERT_EQ(EncryptStoredString(&copy[0], out), 1);
}

}  // namespace

TEST(ProxySettings, SaveAndReadServerType) {
    RegDeleteKeyTree(HKEY_CURRENT_USER, kKey.c_str(), nullptr);
    ProxyConfig missing;
    missing.Enable = 1;
    missing.server.host = "stale";
    uint8_t type = PROXY_TYPE_SCRIPT;
    EXPECT_EQ(ReadProxySettings(missing, type), 0);
    EXPECT_EQ(missing.Enable, 0u);
    EXPECT_EQ(missing.server.host, "");
    EXPECT_EQ(type, PROXY_TYPE_SCRIPT);

    ProxyConfig c;
    c.Enable = 1;
    c.server.host = "proxy.example";
    c.server.port = 3128;
    c.server.bypass = "<local>;10.0.0.5";
    c.server.user = "pu";
    Secret(c.server.password, "p\xc3\xa4ss");
    ASSERT_EQ(SaveProxySettings(c, PROXY_TYPE_SERVER), 1);

    s_mem stored;
    ASSERT_EQ(RegReadValue(kKey.c_str(), "npx0", stored), 1);
    ProxyConfig r;
    type = 0;
    ASSERT_EQ(ReadProxySettings(r, type), 1);
    EXPECT_EQ(type, PROXY_TYPE_SERVER);
    EXPECT_EQ(r.server.host, "proxy.example");
    EXPECT_EQ(r.server.port, 3128);
    EXPECT_EQ(r.server.bypass, "<local>;10.0.0.5");
    EXPECT_EQ(r.server.user, "pu");
    EXPECT_EQ(PlainSecret(r.server.password).Text(), "p\xc3\xa4ss");
    // In memory under a key of its own.
    EXPECT_FALSE(r.server.password.Length() == stored.Length() &&
                 std::memcmp(r.server.password.Data(), stored.Data(), stored.Length()) == 0);

    // Disabled: only type and flag are written, the rest stays.
    ProxyConfig off;
    off.server.host = "other";
    ASSERT_EQ(SaveProxySettings(off, PROXY_TYPE_SERVER), 1);
    std::string server;
    ASSERT_EQ(RegReadString(kKey.c_str(), "Server", server), 1);
    EXPECT_EQ(server, "proxy.example");
    ASSERT_EQ(RegReadValue(kKey.c_str(), "npx0", stored), 1);

    // An empty password removes "npx0"; one that cannot be decrypted fails the save.
    c.server.password.Clear();
    ASSERT_EQ(SaveProxySettings(c, PROXY_TYPE_SERVER), 1);
    EXPECT_EQ(RegReadValue(kKey.c_str(), "npx0", stored), 0);
    c.server.password.Assign("bad", 3);
    EXPECT_EQ(SaveProxySettings(c, PROXY_TYPE_SERVER), 0);

    // A port above 65535 keeps its low 16 bits.
    ASSERT_EQ(RegWriteDword(kKey.c_str(), "Port", 0x10050), 1);
    ASSERT_EQ(ReadProxySettings(r, type), 1);
    EXPECT_EQ(r.server.port, 0x50);
}

TEST(ResolveApplianceHost, AddressesFamiliesAndDecoding) {
    std::string host = "127.0.0.1", numeric;
    int family = -1;
    ASSERT_EQ(ResolveApplianceHost(host, 443, numeric, family), 1);
    EXPECT_EQ(numeric, "127.0.0.1");
    EXPECT_EQ(family, 0);

    host = "%31%32%37.0.0.1";
    ASSERT_EQ(ResolveApplianceHost(host, 443, numeric, family), 1);
    EXPECT_EQ(host, "127.0.0.1");
    host = "%2531%2532%2537.0.0.1";
    ASSERT_EQ(ResolveApplianceHost(host, 443, numeric, family), 1);
    EXPECT_EQ(host, "127.0.0.1");

    // An IPv6 literal comes out in brackets and still resolves the next time.
    host = "::1";
    ASSERT_EQ(ResolveApplianceHost(host, 443, numeric, family), 1);
    EXPECT_EQ(host, "[::1]");
    EXPECT_EQ(numeric, "::1");
    EXPECT_EQ(family, 1);
    ASSERT_EQ(ResolveApplianceHost(host, 443, numeric, family), 1);
    EXPECT_EQ(host, "[::1]");

    host = "no-such-host.invalid";
    numeric = "kept";
    EXPECT_EQ(ResolveApplianceHost(host, 443, numeric, family), 0);
    EXPECT_EQ(numeric, "kept");
}
