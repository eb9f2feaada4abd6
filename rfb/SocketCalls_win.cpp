#include "rfb/SocketCalls.h"

#include <winsock2.h>

#include <climits>

namespace rdr::socketcalls {

Wait waitReadable(SocketHandle s, int timeoutMs, int& error)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(static_cast<SOCKET>(s), &readable);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    const int rc = select(0, &readable, nullptr, nullptr, timeoutMs < 0 ? nullptr : &tv);
    if (rc > 0)
        return Wait::Ready;
    if (rc == 0)
        return Wait::TimedOut;
    error = WSAGetLastError();
    return error == WSAEINTR ? Wait::Interrupted : Wait::Failed;
}

long receive(SocketHandle s, void* buffer, size_t length, int& error)
{
    const int len = length < INT_MAX ? static_cast<int>(length) : INT_MAX;
    const int n = recv(static_cast<SOCKET>(s), static_cast<char*>(buffer), len, 0);
    if (n == SOCKET_ERROR) {
        error = WSAGetLastError();
        return -1;
    }
    return n;
}

bool isInterrupted(int error)
{
    return error == WSAEINTR;
}

} // namespace rdr::socketcalls
