#include "rfb/SocketCalls.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>

namespace rdr::socketcalls {

Wait waitReadable(SocketHandle s, int timeoutMs, int& error)
{
    pollfd p{static_cast<int>(s), POLLIN, 0};
    const int rc = poll(&p, 1, timeoutMs < 0 ? -1 : timeoutMs);
    if (rc > 0)
        return Wait::Ready;
    if (rc == 0)
        return Wait::TimedOut;
    error = errno;
    return error == EINTR ? Wait::Interrupted : Wait::Failed;
}

long receive(SocketHandle s, void* buffer, size_t length, int& error)
{
    const ssize_t n = recv(static_cast<int>(s), buffer, length, 0);
    if (n < 0)
        error = errno;
    return static_cast<long>(n);
}

bool isInterrupted(int error)
{
    return error == EINTR;
}

} // namespace rdr::socketcalls
