#include "core/base/CaptchaPage.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kPath = "/cgi-bin/geoBotCaptcha?target=kx";

TEST(MakeCaptchaAddress, AcceptedHosts)
{
    struct Case { std::string host, authority; };
    const Case cases[] = {
        {"vpn.example.com", "vpn.example.com"},
        {"192.0.2.7", "192.0.2.7"},
        {"gw_1-a.example", "gw_1-a.example"},
        // The numeric address kept after resolution has no brackets.
        {"::1", "[::1]"},
        {"[fe80::1]", "[fe80::1]"},
        {"::ffff:192.0.2.1", "[::ffff:192.0.2.1]"},
        {"2001:DB8::A", "[2001:DB8::A]"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MakeCaptchaAddress(c.host), "https://" + c.authority + kPath) << c.host;
}

TEST(MakeCaptchaAddress, RefusedHosts)
{
    const std::string refused[] = {
        "",
        "evil.example/phish?",
        "user@vpn.example.com",
        "vpn.example.com#x",
        "vpn.example.com:8443",  // one colon: no IPv6 address, and the page has no port
        "a b",
        "\"quoted\"",
        "back\\slash",
        std::string("nul\0.example", 12),
        "h\xC3\xA4.example",
        "[vpn.example.com]",
        "[]",
        "[::1",
        "::1]",
        "fe80::1%eth0",
        "fe80::g",
        std::string(46, ':'),
        std::string(254, 'a'),
    };
    for (const auto& host : refused)
        EXPECT_EQ(MakeCaptchaAddress(host), "") << host;
}

TEST(MakeCaptchaAddress, LongestNameStillFitsTheOldBuffer)
{
    std::string name(253, 'a');
    std::string address = MakeCaptchaAddress(name);
    EXPECT_EQ(address, "https://" + name + kPath);
    EXPECT_LT(address.size(), 300u);
}

} // namespace
