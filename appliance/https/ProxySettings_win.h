#pragma once
// The proxy configuration kept under the settings key's "Proxy" subkey, and
// the resolution of the appliance's address that every connection attempt
// runs first. The manager holds the values and calls these.
#include <cstdint>
#include <string>

#include "appliance/cgi/ProxyConfig.h"
#include "core/base/s_mem.h"

// Reads the settings; 1 when "Enable" was found, else 0 after resetting the
// configuration (the proxy type then stays as it was). The password is kept
// in memory under a fresh key.
int ReadProxySettings(ProxyConfig& config, uint8_t& proxyType);

// Writes the settings back; 1 only when every write succeeded, the password
// included.
int SaveProxySettings(const ProxyConfig& config, uint8_t proxyType);

// Writes "npx0" (REG_BINARY) under keyPath of the current user.
int SaveProxyPassword(const char* keyPath, const s_mem& secret);

// Resolves host (an IPv6 literal may stand in brackets; a host that does not
// resolve is tried again percent-decoded, twice) and gives the first address
// in numeric form with its family (0 IPv4, 1 IPv6). An IPv6 literal comes
// back in brackets, as URLs need it; a later call takes that form again.
// 1 on success, else 0 and nothing changed.
int ResolveApplianceHost(std::string& host, uint16_t port, std::string& numericAddress, int& family);
