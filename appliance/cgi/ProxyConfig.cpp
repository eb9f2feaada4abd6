#include "appliance/cgi/ProxyConfig.h"

std::string ProxyConfig::ProxyName() const {
    if (server.port == 0) return server.host;
    return server.host + ":" + std::to_string(server.port);
}
