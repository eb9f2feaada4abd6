#pragma once
// "host:port" as a connection profile stores it; an IPv6 address (two or more
// colons) goes in square brackets unless it already has them.
#include <cstdint>
#include <string>

std::string FormatServerAddress(const std::string& host, uint16_t port);

// The host without the square brackets that keep an IPv6 literal apart in a
// URL ("[::1]" gives "::1"); any other text unchanged.
std::string UnbracketedHost(const std::string& host);
