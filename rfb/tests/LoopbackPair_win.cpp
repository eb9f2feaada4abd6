#include "LoopbackPair.h"

#include <winsock2.h>

namespace {

constexpr rdr::SocketHandle kNone = static_cast<rdr::SocketHandle>(INVALID_SOCKET);

// Winsock stays started for the whole test program.
bool startWinsock()
{
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

} // namespace

LoopbackPair::LoopbackPair() : m_near(kNone), m_far(kNone)
{
    if (!startWinsock())
        return;
    const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int len = sizeof addr;
    if (listener == INVALID_SOCKET || bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        listen(listener, 1) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        if (listener != INVALID_SOCKET)
            closesocket(listener);
        return;
    }
    const SOCKET farSock = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (farSock != INVALID_SOCKET && connect(farSock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        const SOCKET nearSock = accept(listener, nullptr, nullptr);
        if (nearSock != INVALID_SOCKET) {
            m_near = static_cast<rdr::SocketHandle>(nearSock);
            m_far = static_cast<rdr::SocketHandle>(farSock);
            m_ok = true;
        }
    }
    if (!m_ok && farSock != INVALID_SOCKET)
        closesocket(farSock);
    closesocket(listener);
}

LoopbackPair::~LoopbackPair()
{
    closeFar();
    if (m_near != kNone)
        closesocket(static_cast<SOCKET>(m_near));
}

bool LoopbackPair::sendFromFar(const void* data, size_t length)
{
    const char* p = static_cast<const char*>(data);
    while (length > 0) {
        const int n = send(static_cast<SOCKET>(m_far), p, static_cast<int>(length), 0);
        if (n <= 0)
            return false;
        p += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

bool LoopbackPair::receiveAtFar(void* data, size_t length)
{
    char* p = static_cast<char*>(data);
    while (length > 0) {
        const int n = recv(static_cast<SOCKET>(m_far), p, static_cast<int>(length), 0);
        if (n <= 0)
            return false;
        p += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

bool LoopbackPair::farReadable(int timeoutMs)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(static_cast<SOCKET>(m_far), &set);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    return select(0, &set, nullptr, nullptr, &tv) > 0;
}

void LoopbackPair::closeFar()
{
    if (m_far != kNone) {
        closesocket(static_cast<SOCKET>(m_far));
        m_far = kNone;
    }
}
