#include "core/base/ToUpperString.h"

#include <gtest/gtest.h>

#include <string>

TEST(ToUpperString, Table)
{
    struct Case { std::string in, out; };
    const Case cases[] = {
        {"", ""},
        {"office-vpn 2", "OFFICE-VPN 2"},
        {"MiXeD.Example.COM:443", "MIXED.EXAMPLE.COM:443"},
        // UTF-8 and other high bytes are left alone, embedded zeros kept.
        {"\xC3\xA4x\xFF", "\xC3\xA4X\xFF"},
        {std::string("a\0b", 3), std::string("A\0B", 3)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ToUpperString(c.in), c.out) << c.in;
}
