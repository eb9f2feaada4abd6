#include "core/base/ServerAddress.h"

#include <gtest/gtest.h>

TEST(FormatServerAddress, BracketsIpv6Once)
{
    EXPECT_EQ(FormatServerAddress("vpn.example.com", 443), "vpn.example.com:443");
    EXPECT_EQ(FormatServerAddress("fe80::1", 8443), "[fe80::1]:8443");
    EXPECT_EQ(FormatServerAddress("[fe80::1]", 443), "[fe80::1]:443");
    EXPECT_EQ(FormatServerAddress("h:1", 443), "h:1:443");  // one colon is no IPv6 address
}

TEST(UnbracketedHost, StripsOnlyAWholeBracketPair)
{
    struct Case { const char* in; const char* out; };
    const Case cases[] = {
        {"[fe80::1]", "fe80::1"},
        {"fe80::1", "fe80::1"},
        {"vpn.example.com", "vpn.example.com"},
        {"[]", ""},
        {"[fe80::1", "[fe80::1"},
        {"fe80::1]", "fe80::1]"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(UnbracketedHost(c.in), c.out) << c.in;
}
