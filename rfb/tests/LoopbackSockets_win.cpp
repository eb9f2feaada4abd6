#include "rfb/tests/LoopbackSockets.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>

namespace loopback {

namespace {

// Winsock stays started for the whole test program.
bool startWinsock()
{
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

int clampLength(size_t length)
{
    return length < INT_MAX ? static_cast<int>(length) : INT_MAX;
}

void setOption(rdr::SocketHandle s, int level, int name, int value)
{
    setsockopt(static_cast<SOCKET>(s), level, name, reinterpret_cast<const char*>(&value), sizeof value);
}

} // namespace

bool connectPair(rdr::SocketHandle& nearEnd, rdr::SocketHandle& farEnd)
{
    if (!startWinsock())
        return false;
    const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof addr;
    if (listener == INVALID_SOCKET || bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listener, 1) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        if (listener != INVALID_SOCKET)
            closesocket(listener);
        return false;
    }
    bool ok = false;
    const SOCKET farSock = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (farSock != INVALID_SOCKET && connect(farSock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        const SOCKET nearSock = accept(listener, nullptr, nullptr);
        if (nearSock != INVALID_SOCKET) {
            nearEnd = static_cast<rdr::SocketHandle>(nearSock);
            farEnd = static_cast<rdr::SocketHandle>(farSock);
            ok = true;
        }
    }
    if (!ok && farSock != INVALID_SOCKET)
        closesocket(farSock);
    closesocket(listener);
    return ok;
}

void closeSocket(rdr::SocketHandle s)
{
    closesocket(static_cast<SOCKET>(s));
}

long sendSome(rdr::SocketHandle s, const void* data, size_t length)
{
    return send(static_cast<SOCKET>(s), static_cast<const char*>(data), clampLength(length), 0);
}

long receiveSome(rdr::SocketHandle s, void* data, size_t length)
{
    return recv(static_cast<SOCKET>(s), static_cast<char*>(data), clampLength(length), 0);
}

bool waitReadable(rdr::SocketHandle s, int timeoutMs)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(static_cast<SOCKET>(s), &set);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    return select(0, &set, nullptr, nullptr, timeoutMs < 0 ? nullptr : &tv) > 0;
}

void setNoDelay(rdr::SocketHandle s)
{
    setOption(s, IPPROTO_TCP, TCP_NODELAY, TRUE);
}

void setSendBuffer(rdr::SocketHandle s, int bytes)
{
    setOption(s, SOL_SOCKET, SO_SNDBUF, bytes);
}

void setReceiveBuffer(rdr::SocketHandle s, int bytes)
{
    setOption(s, SOL_SOCKET, SO_RCVBUF, bytes);
}

} // namespace loopback
