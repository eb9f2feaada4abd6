#include "core/tunnel/ServiceRequest.h"
#include "core/control/TunnelHello.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

TEST(TunnelHello, LayoutAndCuts)
{
    std::string longName(200, 'N');
    std::string longSession(200, 'S');
    auto h = BuildTunnelHello(1, "meeting-0123456789-0123456789-0123456789", longName, longSession);
    ASSERT_EQ(h.size(), 298u);
    const uint8_t head[] = {0xBB, 0xAA, 0x01, 0x26, 0x01, 0x00, 0x01, 0x22, 0x01, 0x00};
    EXPECT_EQ(std::memcmp(h.data(), head, sizeof head), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&h[10])), std::string("meeting-0123456789-0123456789-0123456789", 31));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&h[42]), 128), std::string(128, 'N'));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&h[170])), std::string(127, 'S'));
    EXPECT_EQ(h[297], 0);

    auto p = BuildTunnelHello(0, "42", "Ann", "sid");
    EXPECT_EQ(p[8], 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&p[10])), "42");
    EXPECT_EQ(p[12], 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&p[42])), "Ann");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&p[170])), "sid");
}

TEST(ServiceRequest, EachKindAndRole)
{
    const std::string tail = "User-Agent: Quenlore Secure Parlemo Windows 8.0.0.6\r\nProxy-Authorization: SID1\r\n\r\n";
    struct Case { TunnelKind kind; bool host; bool coordinator; const char* head; };
    const Case cases[] = {
        {TunnelKind::Control, false, true, "CONNECT localhost:-3 HTTP/1.0\r\nX-SSLVPN-PROTOCOL: 2.0\r\nX-SSLVPN-SERVICE: PL_CONTROL\r\n"},
        {TunnelKind::Control, true, false, "CONNECT localhost:-4 HTTP/1.0\r\nX-SSLVPN-PROTOCOL: 2.0\r\nX-SSLVPN-SERVICE: PL_CONTROL\r\n"},
        {TunnelKind::Sharing, true, true, "CONNECT localhost:-1 HTTP/1.0\r\nX-SSLVPN-PROTOCOL: 2.0\r\nX-SSLVPN-SERVICE: PL-HOST\r\n"},
        {TunnelKind::Sharing, false, true, "CONNECT localhost:-2 HTTP/1.0\r\nX-SSLVPN-PROTOCOL: 2.0\r\nX-SSLVPN-SERVICE: PL-PARTICIPANT\r\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BuildServiceConnect(c.kind, c.host, c.coordinator, "SID1"), c.head + tail);
    // A session id cannot add header lines.
    EXPECT_EQ(BuildServiceConnect(TunnelKind::Control, false, false, "SID1\r\nX-Evil: 1").find("X-Evil"),
              std::string::npos);
}

// The appliance matches the service request's session against the hello's:
// both carry the same cut of a long id.
TEST(ServiceRequest, SessionIdCutAsInTheHello)
{
    for (size_t length : {126u, 127u, 128u, 300u}) {
        const std::string session(length, 'S');
        const std::string r = BuildServiceConnect(TunnelKind::Control, false, false, session);
        const std::string marker = "Proxy-Authorization: ";
        const size_t at = r.find(marker) + marker.size();
        const std::string sent = r.substr(at, r.find("\r\n", at) - at);
        auto hello = BuildTunnelHello(0, "42", "Ann", session);
        EXPECT_EQ(sent, std::string(reinterpret_cast<const char*>(&hello[170]))) << length;
        EXPECT_EQ(sent.size(), std::min<size_t>(length, 127)) << length;
    }
}

TEST(ProxyConnect, RequestTextAndIpv6Target)
{
    EXPECT_EQ(FormatProxyTarget("appliance.example", 443), "appliance.example:443");
    EXPECT_EQ(FormatProxyTarget("2001:db8::1", 8443), "[2001:db8::1]:8443");
    std::string r = BuildProxyConnect("[2001:db8::1]:443", false, "dTpw");
    EXPECT_EQ(r,
              "CONNECT [2001:db8::1]:443 HTTP/1.0\r\n"
              "User-Agent: Quenlore Secure Parlemo Windows 8.0.0.6\r\n"
              "HOST: [2001:db8::1]:443\r\nContent-Length: 0\r\nProxy-Connection: Keep-Alive\r\n"
              "X-SSLVPN-PROTOCOL: 2.0\r\nX-SSLVPN-SERVICE: DH-PROXY\r\n"
              "User-Agent: Quenlore Secure Parlemo Windows 8.0.0.6\r\n"
              "Proxy-Authorization: Basic dTpw\r\n\r\n");
    EXPECT_EQ(BuildProxyConnect("h:1", true, "").find("Proxy-Authorization"), std::string::npos);
    EXPECT_EQ(BuildProxyConnect("h:1", true, "").rfind("CONNECT h:1 HTTP/1.1\r\n", 0), 0u);
}

TEST(ProxyConnect, BasicCredentials)
{
    EXPECT_EQ(ProxyBasicCredentials("tester", "secret"), "dGVzdGVyOnNlY3JldA==");
    EXPECT_EQ(ProxyBasicCredentials("u", ""), "dTo=");
    EXPECT_EQ(ProxyBasicCredentials("", "p"), "OnA=");
    EXPECT_EQ(ProxyBasicCredentials("", ""), "");
}

TEST(ProxyReplyReader, StatusesSplitsAndLimit)
{
    struct Case { const char* text; ProxyReplyReader::Status status; };
    const Case cases[] = {
        {"HTTP/1.0 200 Connection established\r\n\r\n", ProxyReplyReader::Status::Ok},
        {"HTTP/1.1 407 Proxy Authentication Required\r\nX: y\r\n\r\n", ProxyReplyReader::Status::AuthRequired},
        {"HTTP/1.1 403 Forbidden\r\n\r\n", ProxyReplyReader::Status::Refused},
        {"garbage\r\n\r\n", ProxyReplyReader::Status::Refused},
        {"HTTP/1.0 20\r\n\r\n", ProxyReplyReader::Status::Refused},
    };
    for (const Case& c : cases) {
        ProxyReplyReader r;
        std::string t = c.text;
        t += "TLSBYTES";
        // One byte at a time: the header ends exactly where it should.
        size_t used = 0;
        for (size_t i = 0; i < t.size() && r.GetState() == ProxyReplyReader::State::NeedMore; ++i)
            used += r.Feed(reinterpret_cast<const uint8_t*>(&t[i]), 1);
        EXPECT_EQ(used, std::strlen(c.text));
        EXPECT_EQ(r.GetState(), ProxyReplyReader::State::Complete);
        EXPECT_EQ(r.GetStatus(), c.status) << c.text;
    }
    ProxyReplyReader r;
    std::string endless(20000, 'x');
    size_t used = r.Feed(reinterpret_cast<const uint8_t*>(endless.data()), endless.size());
    EXPECT_EQ(r.GetState(), ProxyReplyReader::State::TooLong);
    EXPECT_EQ(used, ProxyReplyReader::kMaxHeader);
}

} // namespace
