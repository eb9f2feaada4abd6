#pragma once
// Numeric host and port text of a socket address, for log lines and for
// the appliance address the program keeps once resolved.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <string>

// getnameinfo with NI_NUMERICHOST | NI_NUMERICSERV into host (IPv4 dotted or
// IPv6 text, without brackets) and service (the decimal port). Returns the
// socket error code, 0 on success, and sets it as the thread's socket error
// too; host and service are left unchanged on failure. Winsock must be
// started (WSAStartup) by the caller.
int FormatNumericAddress(const sockaddr* address, int addressLength, std::string& host, std::string& service);
