#include "appliance/cgi/ProxyList.h"

#include <gtest/gtest.h>

#include "appliance/cgi/ProxyConfig.h"

namespace {
std::string Chosen(const std::string& text) {
    std::string host = "kept";
    uint16_t port = 1;
    ChooseProxy(ParseProxyList(text), host, port);
    return host + ":" + std::to_string(port);
}
}  // namespace

TEST(ProxyList, ChoosesTheHttpsOrSchemelessEntry) {
    EXPECT_EQ(Chosen("http=a:80;https=b:443"), "b:443");
    EXPECT_EQ(Chosen("a:80"), "a:80");
    EXPECT_EQ(Chosen("ftp=c:21"), "kept:1");
    EXPECT_EQ(Chosen("HTTPS=Proxy.Example:3128"), "proxy.example:3128");
    EXPECT_EQ(Chosen("http://proxy:8080"), "http://proxy:8080");
}

TEST(ProxyList, EmptyItemsDoNotSwitchTheProxyOff) {
    EXPECT_EQ(Chosen("a:80; b:80"), "a:80");
    EXPECT_EQ(Chosen(";;b:81"), "b:81");
    EXPECT_EQ(ParseProxyList("a:80;;b:80 ").size(), 2u);
}

TEST(ProxyList, PortsAreDecimal) {
    EXPECT_EQ(Chosen("a:0808"), "a:808");
    EXPECT_EQ(Chosen("a:65536"), "a:0");
    EXPECT_EQ(Chosen("a:12x"), "a:0");
    EXPECT_EQ(Chosen("a"), "a:0");
}

TEST(ProxyList, BypassJoinAndSplit) {
    EXPECT_EQ(JoinBypassHosts(ParseProxyList("<local>;10.0.0.5 *.example")), "<local>;10.0.0.5;*.example");
    EXPECT_EQ(SplitProxyList("a;;b"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(SplitProxyList("a;" + std::string(kMaxProxyListPiece + 1, 'x') + ";b"),
              (std::vector<std::string>{"a", "b"}));
}

TEST(ProxyConfig, NameAndUse) {
    ProxyConfig c;
    c.Enable = 1;
    c.server.host = "localhost";
    EXPECT_EQ(c.ProxyName(), "localhost");  // port 0: no ":0"
    c.server.port = 3128;
    EXPECT_EQ(c.ProxyName(), "localhost:3128");
    EXPECT_TRUE(c.InUse());
    c.discovered = 1;
    EXPECT_FALSE(c.InUse());
    ProxyConfig copy = c;
    EXPECT_EQ(copy.ProxyName(), "localhost:3128");
}
