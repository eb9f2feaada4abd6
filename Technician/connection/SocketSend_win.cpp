#include "Technician/connection/SocketSend.h"

#include <winsock2.h>

namespace viewer::socketsend {

int waitWritable(rdr::SocketHandle s, int timeoutMs, int& error)
{
    fd_set w;
    FD_ZERO(&w);
    FD_SET(static_cast<SOCKET>(s), &w);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    const int rc = select(0, nullptr, &w, nullptr, &tv);
    if (rc == SOCKET_ERROR) {
        error = WSAGetLastError();
        return -1;
    }
    return rc > 0 ? 1 : 0;
}

long sendSome(rdr::SocketHandle s, const void* data, size_t length, int& error)
{
    const int chunk = length > 0x10000 ? 0x10000 : static_cast<int>(length);
    const int n = ::send(static_cast<SOCKET>(s), static_cast<const char*>(data), chunk, 0);
    if (n == SOCKET_ERROR) {
        error = WSAGetLastError();
        return -1;
    }
    return n;
}

} // namespace viewer::socketsend
