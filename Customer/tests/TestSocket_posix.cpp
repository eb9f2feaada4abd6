#include "Customer/tests/TestSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace {

// Behaves as the program's connection does: waits in short slices, and
// Shutdown stops reads and sends without shutting the socket down, which stays
// usable for the next session.
class PosixConnection : public HostConnection {
public:
    explicit PosixConnection(int fd) : m_fd(fd) {}
    bool ReadExact(void* buffer, size_t n) override
    {
        uint8_t* p = static_cast<uint8_t*>(buffer);
        while (n > 0) {
            if (!Wait(POLLIN))
                return false;
            const ssize_t got = recv(m_fd, p, n, MSG_DONTWAIT);
            if (got < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (got <= 0)
                return false;
            p += got;
            n -= static_cast<size_t>(got);
        }
        return true;
    }
    bool SendExact(const void* data, size_t n) override
    {
        const uint8_t* p = static_cast<const uint8_t*>(data);
        while (n > 0) {
            if (!Wait(POLLOUT))
                return false;
            const ssize_t sent = send(m_fd, p, n, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (sent < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (sent <= 0)
                return false;
            p += sent;
            n -= static_cast<size_t>(sent);
        }
        return true;
    }
    bool SetTimeout(unsigned ms) override
    {
        m_timeoutMs = ms;
        return true;
    }
    void Shutdown() override { m_stopped.store(true); }

private:
    bool Wait(short events)
    {
        int waited = 0;
        while (!m_stopped.load()) {
            if (m_timeoutMs && waited >= static_cast<int>(m_timeoutMs))
                return false;
            pollfd pfd{m_fd, events, 0};
            const int rc = poll(&pfd, 1, 100);
            if (rc > 0)
                return true;
            if (rc < 0 && errno != EINTR)
                return false;
            waited += 100;
        }
        return false;
    }

    int m_fd;
    unsigned m_timeoutMs = 0;
    std::atomic<bool> m_stopped{false};
};

} // namespace

std::unique_ptr<HostConnection> MakeHostConnection(rdr::SocketHandle s)
{
    return std::make_unique<PosixConnection>(static_cast<int>(s));
}

TestSocketPair::TestSocketPair()
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
    const int viewer = socket(AF_INET, SOCK_STREAM, 0);
    if (viewer >= 0 && connect(viewer, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        const int host = accept(listener, nullptr, nullptr);
        if (host >= 0) {
            const int one = 1;
            setsockopt(host, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            setsockopt(viewer, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            m_host = static_cast<rdr::SocketHandle>(host);
            m_viewer = static_cast<rdr::SocketHandle>(viewer);
            m_ok = true;
        }
    }
    if (!m_ok && viewer >= 0)
        close(viewer);
    close(listener);
}

TestSocketPair::~TestSocketPair()
{
    if (!m_ok)
        return;
    close(static_cast<int>(m_host));
    if (m_viewer != ~rdr::SocketHandle(0))
        close(static_cast<int>(m_viewer));
}

bool TestSocketPair::viewerSend(const void* data, size_t n)
{
    const uint8_t* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
        const ssize_t sent = send(static_cast<int>(m_viewer), p, n, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        p += sent;
        n -= static_cast<size_t>(sent);
    }
    return true;
}

bool TestSocketPair::viewerRecv(void* data, size_t n, int timeoutMs)
{
    uint8_t* p = static_cast<uint8_t*>(data);
    while (n > 0) {
        pollfd pfd{static_cast<int>(m_viewer), POLLIN, 0};
        if (poll(&pfd, 1, timeoutMs) <= 0)
            return false;
        const ssize_t got = recv(static_cast<int>(m_viewer), p, n, 0);
        if (got <= 0)
            return false;
        p += got;
        n -= static_cast<size_t>(got);
    }
    return true;
}

bool TestSocketPair::viewerSeesClose(int timeoutMs)
{
    uint8_t sink[4096];
    for (;;) {
        pollfd pfd{static_cast<int>(m_viewer), POLLIN, 0};
        if (poll(&pfd, 1, timeoutMs) <= 0)
            return false;
        const ssize_t got = recv(static_cast<int>(m_viewer), sink, sizeof sink, 0);
        if (got <= 0)
            return true;
    }
}

void TestSocketPair::closeViewer()
{
    if (m_ok && m_viewer != ~rdr::SocketHandle(0)) {
        close(static_cast<int>(m_viewer));
        m_viewer = ~rdr::SocketHandle(0);
    }
}

void TestSocketPair::shrinkBuffers()
{
    const int size = 4096;
    setsockopt(static_cast<int>(m_host), SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    setsockopt(static_cast<int>(m_viewer), SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}
