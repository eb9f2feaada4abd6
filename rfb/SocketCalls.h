// The two socket calls the socket stream needs, behind a neutral interface;
// SocketCalls_posix.cpp and SocketCalls_win.cpp implement them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rdr {

// A socket descriptor or a Winsock SOCKET; both fit.
using SocketHandle = std::uintptr_t;

namespace socketcalls {

enum class Wait { Ready, TimedOut, Interrupted, Failed };

// Waits until s is readable: timeoutMs 0 only polls, a negative value waits
// without limit. On Failed or Interrupted, error holds the system's number.
Wait waitReadable(SocketHandle s, int timeoutMs, int& error);

// Receives up to length bytes: the count (0 when the peer closed), or -1 with
// the system's number in error.
long receive(SocketHandle s, void* buffer, size_t length, int& error);

// Whether a receive error only means the call was interrupted.
bool isInterrupted(int error);

} // namespace socketcalls
} // namespace rdr
