#include "Technician/connection/SocketSend.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

namespace viewer::socketsend {

int waitWritable(rdr::SocketHandle s, int timeoutMs, int& error)
{
    pollfd p{static_cast<int>(s), POLLOUT, 0};
    const int rc = poll(&p, 1, timeoutMs);
    if (rc < 0) {
        error = errno;
        return error == EINTR ? 0 : -1;
    }
    return rc > 0 ? 1 : 0;
}

long sendSome(rdr::SocketHandle s, const void* data, size_t length, int& error)
{
    const ssize_t n = ::send(static_cast<int>(s), data, length, MSG_NOSIGNAL);
    if (n < 0)
        error = errno;
    return static_cast<long>(n);
}

} // namespace viewer::socketsend
