#include "Customer/session/tests/TestSocket.h"

#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

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
