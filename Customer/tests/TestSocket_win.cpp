#include "Customer/tests/TestSocket.h"

#include "rfb/VSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace {

// Winsock for the test program, with the version the product's socket checks.
struct WinsockUser {
    WinsockUser()
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        bool started = false;
        InitWinsock(&started);
        if (started)
            WSACleanup();
    }
};

void ensureWinsock()
{
    static WinsockUser user;
}

const rdr::SocketHandle kNone = static_cast<rdr::SocketHandle>(INVALID_SOCKET);

} // namespace

std::unique_ptr<HostConnection> MakeHostConnection(rdr::SocketHandle s)
{
    return MakeSocketConnection(s);
}

TestSocketPair::TestSocketPair() : m_host(kNone), m_viewer(kNone)
{
    ensureWinsock();
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
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
    SOCKET viewer = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (viewer != INVALID_SOCKET && connect(viewer, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        SOCKET host = accept(listener, nullptr, nullptr);
        if (host != INVALID_SOCKET) {
            const BOOL one = TRUE;
            setsockopt(host, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
            setsockopt(viewer, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
            m_host = static_cast<rdr::SocketHandle>(host);
            m_viewer = static_cast<rdr::SocketHandle>(viewer);
            m_ok = true;
        }
    }
    if (!m_ok && viewer != INVALID_SOCKET)
        closesocket(viewer);
    closesocket(listener);
}

TestSocketPair::~TestSocketPair()
{
    if (m_host != kNone)
        closesocket(static_cast<SOCKET>(m_host));
    if (m_viewer != kNone)
        closesocket(static_cast<SOCKET>(m_viewer));
}

bool TestSocketPair::viewerSend(const void* data, size_t n)
{
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        const int sent = send(static_cast<SOCKET>(m_viewer), p, static_cast<int>(n), 0);
        if (sent <= 0)
            return false;
        p += sent;
        n -= static_cast<size_t>(sent);
    }
    return true;
}

bool TestSocketPair::viewerRecv(void* data, size_t n, int timeoutMs)
{
    char* p = static_cast<char*>(data);
    while (n > 0) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(static_cast<SOCKET>(m_viewer), &set);
        timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        if (select(0, &set, nullptr, nullptr, &tv) <= 0)
            return false;
        const int got = recv(static_cast<SOCKET>(m_viewer), p, static_cast<int>(n), 0);
        if (got <= 0)
            return false;
        p += got;
        n -= static_cast<size_t>(got);
    }
    return true;
}

bool TestSocketPair::viewerSeesClose(int timeoutMs)
{
    char sink[4096];
    for (;;) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(static_cast<SOCKET>(m_viewer), &set);
        timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        if (select(0, &set, nullptr, nullptr, &tv) <= 0)
            return false;
        if (recv(static_cast<SOCKET>(m_viewer), sink, sizeof sink, 0) <= 0)
            return true;
    }
}

void TestSocketPair::closeViewer()
{
    if (m_viewer != kNone) {
        closesocket(static_cast<SOCKET>(m_viewer));
        m_viewer = kNone;
    }
}

void TestSocketPair::shrinkBuffers()
{
    const int size = 4096;
    setsockopt(static_cast<SOCKET>(m_host), SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&size), sizeof size);
    setsockopt(static_cast<SOCKET>(m_viewer), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&size),
               sizeof size);
}
