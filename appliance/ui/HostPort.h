// The server text of the login window split into host and port.
#pragma once

#include <cstdint>
#include <string>

struct HostPort {
    std::string host;
    uint16_t port = 443;
    bool split = false;  // a port was found after the host
};

// "host:port" and "[IPv6]:port" (the host keeps its brackets); a bare IPv6
// address (several colons) or a text without a port stays whole with 443. A
// port that is not a number from 1 to 65535, or a '[' without its ']', also
// leaves the text whole with 443.
HostPort SplitHostPort(const std::string& text);
