// The server text of the login window split into host and port.
#include "appliance/ui/HostPort.h"

#include <gtest/gtest.h>

namespace {

TEST(HostPortTest, SplitsHostAndPortOrKeepsTheTextWhole)
{
    struct Case {
        const char* text;
        const char* host;
        uint16_t port;
        bool split;
    } cases[] = {
        {"host:8443", "host", 8443, true},
        {"appliance.example.com", "appliance.example.com", 443, false},
        {"[2001:db8::1]:444", "[2001:db8::1]", 444, true},  // brackets kept
        {"[2001:db8::1]", "[2001:db8::1]", 443, false},
        {"2001:db8::1", "2001:db8::1", 443, false},        // bare IPv6 stays whole
        {"host:65535", "host", 65535, true},
        {"host:1", "host", 1, true},
        // Not a port from 1 to 65535: the text stays whole with 443.
        {"host:0", "host:0", 443, false},
        {"host:abc", "host:abc", 443, false},
        {"host:70000", "host:70000", 443, false},  // would wrap to 4464 in 16 bits
        {"host:65536", "host:65536", 443, false},
        {"host:", "host:", 443, false},
        {"host:44x", "host:44x", 443, false},
        {"host:-1", "host:-1", 443, false},
        {"[x", "[x", 443, false},  // no closing bracket
        {"[::1]:0", "[::1]:0", 443, false},
        {"[::1]x", "[::1]x", 443, false},
        {"", "", 443, false},
    };
    for (const Case& c : cases) {
        const HostPort hp = SplitHostPort(c.text);
        EXPECT_EQ(hp.host, c.host) << c.text;
        EXPECT_EQ(hp.port, c.port) << c.text;
        EXPECT_EQ(hp.split, c.split) << c.text;
    }
}

} // namespace
