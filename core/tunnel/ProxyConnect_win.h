#pragma once
// The CONNECT exchange with an HTTP proxy on a socket already connected to
// it. The reply is read with a deadline and a size limit.
#include "core/tunnel/SocketHandle_win.h"

#include <cstdint>
#include <string>

struct TunnelProxy;

enum class ProxyConnectStatus { Ok, SendFailed, AuthRequired, Refused, NoReply };

ProxyConnectStatus ProxyConnect(SOCKET s, const std::string& target, const TunnelProxy& proxy, uint64_t deadline);
