// The two sending calls of the viewer's writer, per platform
// (SocketSend_posix.cpp, SocketSend_win.cpp).
#pragma once

#include "rfb/SocketCalls.h"

namespace viewer::socketsend {

// Waits up to timeoutMs for room to send: 1 ready, 0 timed out, -1 failed.
int waitWritable(rdr::SocketHandle s, int timeoutMs, int& error);
// Sends up to length bytes without raising a signal: the count, or -1 with
// the system's number in error.
long sendSome(rdr::SocketHandle s, const void* data, size_t length, int& error);

} // namespace viewer::socketsend
