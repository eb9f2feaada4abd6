#include "Customer/session/HostConnection.h"

#include "Customer/encode/HostLog.h"
#include "rfb/VSocket.h"

#include <winsock2.h>

namespace {

// The socket is the core's: it is never shut down or closed here, and it is
// left as it was found (blocking) for the next session or for the core. While
// the session runs it is non-blocking, and the VSocket waits in short slices,
// so Shutdown ends a read or a send that the client thread or the update
// sender is waiting in, even one on a peer that has stopped reading.
class VSocketConnection : public HostConnection {
public:
    explicit VSocketConnection(rdr::SocketHandle socket)
    {
        m_socket.SetSocket(socket);
        m_nonBlocking = SetBlocking(false);
        if (!m_nonBlocking)
            HostLog(kHostLogWarn, "socket stays blocking(%d)\n", WSAGetLastError());
    }
    ~VSocketConnection() override
    {
        if (m_nonBlocking)
            SetBlocking(true);
    }
    VSocketConnection(const VSocketConnection&) = delete;
    VSocketConnection& operator=(const VSocketConnection&) = delete;

    bool ReadExact(void* buffer, size_t n) override { return m_socket.ReadExact(buffer, n) != 0; }
    bool SendExact(const void* data, size_t n) override { return m_socket.SendExact(data, n) == n; }
    bool SetTimeout(unsigned milliseconds) override { return m_socket.SetTimeout(milliseconds) != 0; }
    void Shutdown() override { m_socket.Abort(); }

private:
    bool SetBlocking(bool on)
    {
        u_long nonBlocking = on ? 0 : 1;
        return ioctlsocket(static_cast<SOCKET>(m_socket.GetSocket()), FIONBIO, &nonBlocking) == 0;
    }

    VSocket m_socket;
    bool m_nonBlocking = false;
};

} // namespace

std::unique_ptr<HostConnection> MakeSocketConnection(rdr::SocketHandle socket)
{
    return std::make_unique<VSocketConnection>(socket);
}
