// The few socket calls the loopback pair makes, one file a platform
// (LoopbackSockets_posix.cpp, LoopbackSockets_win.cpp).
#pragma once

#include "rfb/SocketCalls.h"

#include <cstddef>

namespace loopback {

// No socket, on both platforms (INVALID_SOCKET is all bits set too).
constexpr rdr::SocketHandle kNoSocket = ~rdr::SocketHandle(0);

// Connects a new pair on 127.0.0.1; false, with nothing left open, on failure.
bool connectPair(rdr::SocketHandle& nearEnd, rdr::SocketHandle& farEnd);
void closeSocket(rdr::SocketHandle s);
// One send or receive call: the count, 0 when the peer closed, or negative.
long sendSome(rdr::SocketHandle s, const void* data, size_t length);
long receiveSome(rdr::SocketHandle s, void* data, size_t length);
// Whether s is readable within timeoutMs (negative: no limit).
bool waitReadable(rdr::SocketHandle s, int timeoutMs);
void setNoDelay(rdr::SocketHandle s);
void setSendBuffer(rdr::SocketHandle s, int bytes);
void setReceiveBuffer(rdr::SocketHandle s, int bytes);

} // namespace loopback
