#include "rfb/tests/LoopbackSockets.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace loopback {

bool connectPair(rdr::SocketHandle& nearEnd, rdr::SocketHandle& farEnd)
{
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listener, 1) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        if (listener >= 0)
            close(listener);
        return false;
    }
    bool ok = false;
    const int farSock = socket(AF_INET, SOCK_STREAM, 0);
    if (farSock >= 0 && connect(farSock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        const int nearSock = accept(listener, nullptr, nullptr);
        if (nearSock >= 0) {
            nearEnd = static_cast<rdr::SocketHandle>(nearSock);
            farEnd = static_cast<rdr::SocketHandle>(farSock);
            ok = true;
        }
    }
    if (!ok && farSock >= 0)
        close(farSock);
    close(listener);
    return ok;
}

void closeSocket(rdr::SocketHandle s)
{
    close(static_cast<int>(s));
}

long sendSome(rdr::SocketHandle s, const void* data, size_t length)
{
    return static_cast<long>(send(static_cast<int>(s), data, length, MSG_NOSIGNAL));
}

long receiveSome(rdr::SocketHandle s, void* data, size_t length)
{
    return static_cast<long>(recv(static_cast<int>(s), data, length, 0));
}

bool waitReadable(rdr::SocketHandle s, int timeoutMs)
{
    pollfd p{static_cast<int>(s), POLLIN, 0};
    return poll(&p, 1, timeoutMs < 0 ? -1 : timeoutMs) > 0;
}

void setNoDelay(rdr::SocketHandle s)
{
    const int one = 1;
    setsockopt(static_cast<int>(s), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

void setSendBuffer(rdr::SocketHandle s, int bytes)
{
    setsockopt(static_cast<int>(s), SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
}

void setReceiveBuffer(rdr::SocketHandle s, int bytes)
{
    setsockopt(static_cast<int>(s), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

} // namespace loopback
