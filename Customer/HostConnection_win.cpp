#include "Customer/HostConnection.h"

#include "rfb/VSocket.h"

#include <winsock2.h>

#include <atomic>

namespace {

// Reads wait for data in short slices and stop once Shutdown was called: a
// thread blocked in recv is not reliably woken by shutdown() (Wine), and the
// socket is the core's to close, not ours.
class VSocketConnection : public HostConnection {
public:
    explicit VSocketConnection(rdr::SocketHandle socket) { m_socket.SetSocket(socket); }

    bool ReadExact(void* buffer, size_t n) override
    {
        char* p = static_cast<char*>(buffer);
        while (n > 0) {
            const size_t ready = WaitReadable();
            if (ready == 0)
                return false;
            const size_t chunk = ready < n ? ready : n;
            if (!m_socket.ReadExact(p, chunk))
                return false;
            p += chunk;
            n -= chunk;
        }
        return true;
    }
    bool SendExact(const void* data, size_t n) override
    {
        return !m_stopped.load() && m_socket.SendExact(data, n) == n;
    }
    bool SetTimeout(unsigned milliseconds) override { return m_socket.SetTimeout(milliseconds) != 0; }
    void Shutdown() override
    {
        m_stopped.store(true);
        shutdown(Socket(), SD_BOTH);
    }

private:
    SOCKET Socket() const { return static_cast<SOCKET>(m_socket.GetSocket()); }

    // Bytes ready to read (at least 1; a closed peer counts as 1 so the read
    // reports it), or 0 once stopped or when waiting fails.
    size_t WaitReadable()
    {
        while (!m_stopped.load()) {
            fd_set set;
            FD_ZERO(&set);
            FD_SET(Socket(), &set);
            timeval slice{0, 100000};
            const int rc = select(0, &set, nullptr, nullptr, &slice);
            if (rc == SOCKET_ERROR)
                return 0;
            if (rc == 0)
                continue;
            u_long avail = 0;
            if (ioctlsocket(Socket(), FIONREAD, &avail) != 0)
                return 0;
            return avail > 0 ? static_cast<size_t>(avail) : 1;
        }
        return 0;
    }

    VSocket m_socket;
    std::atomic<bool> m_stopped{false};
};

} // namespace

std::unique_ptr<HostConnection> MakeSocketConnection(rdr::SocketHandle socket)
{
    return std::make_unique<VSocketConnection>(socket);
}
