#include "LoopbackPair.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr rdr::SocketHandle kNone = ~rdr::SocketHandle(0);
}

LoopbackPair::LoopbackPair() : m_near(kNone), m_far(kNone)
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
        return;
    }
    const int farSock = socket(AF_INET, SOCK_STREAM, 0);
    if (farSock >= 0 && connect(farSock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        const int nearSock = accept(listener, nullptr, nullptr);
        if (nearSock >= 0) {
            m_near = static_cast<rdr::SocketHandle>(nearSock);
            m_far = static_cast<rdr::SocketHandle>(farSock);
            m_ok = true;
        }
    }
    if (!m_ok && farSock >= 0)
        close(farSock);
    close(listener);
}

LoopbackPair::~LoopbackPair()
{
    closeFar();
    if (m_near != kNone)
        close(static_cast<int>(m_near));
}

bool LoopbackPair::sendFromFar(const void* data, size_t length)
{
    const char* p = static_cast<const char*>(data);
    while (length > 0) {
        const ssize_t n = send(static_cast<int>(m_far), p, length, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        p += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

void LoopbackPair::closeFar()
{
    if (m_far != kNone) {
        close(static_cast<int>(m_far));
        m_far = kNone;
    }
}
