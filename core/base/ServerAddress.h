#pragma once
// "host:port" as a connection profile stores it; an IPv6 address (two or more
// colons) goes in square brackets unless it already has them.
#include <cstdint>
#include <string>

std::string FormatServerAddress(const std::string& host, uint16_t port);
