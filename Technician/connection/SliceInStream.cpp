#include "Technician/connection/SliceInStream.h"

#include <cstring>

namespace viewer {

namespace {

// What one dropAvailable call takes off the socket at most.
constexpr long kDropSlice = 256 * 1024;

} // namespace

using namespace rdr::socketcalls;

SliceInStream::SliceInStream(rdr::SocketHandle socket, const StopFlag& stop)
    : m_socket(socket), m_stop(stop), m_start(new uint8_t[kBufSize])
{
    m_ptr = m_end = m_start.get();
}

size_t SliceInStream::overrun(size_t itemSize, size_t nItems)
{
    if (itemSize > kBufSize)
        throw rdr::Exception("item larger than the stream buffer");
    if (m_ptr != m_start.get()) {
        const size_t left = static_cast<size_t>(m_end - m_ptr);
        m_consumed += static_cast<size_t>(m_ptr - m_start.get());
        std::memmove(m_start.get(), m_ptr, left);
        m_ptr = m_start.get();
        m_end = m_ptr + left;
    }
    while (static_cast<size_t>(m_end - m_ptr) < itemSize)
        fill();
    const size_t fit = static_cast<size_t>(m_end - m_ptr) / itemSize;
    return fit < nItems ? fit : nItems;
}

void SliceInStream::fill()
{
    for (;;) {
        if (m_stop.requested())
            throw Stopped();
        if (m_hasDeadline && std::chrono::steady_clock::now() >= m_deadline)
            throw rdr::TimedOut();
        int error = 0;
        const Wait w = waitReadable(m_socket, kSliceMs, error);
        if (w == Wait::TimedOut || w == Wait::Interrupted)
            continue;
        if (w == Wait::Failed)
            throw rdr::SystemException("select", error);
        uint8_t* const tail = const_cast<uint8_t*>(m_end);
        const long n = receive(m_socket, tail, kBufSize - static_cast<size_t>(m_end - m_start.get()), error);
        if (n == 0)
            throw rdr::EndOfStream();
        if (n < 0) {
            if (isInterrupted(error))
                continue;
            throw rdr::SystemException("recv", error);
        }
        m_end += n;
        return;
    }
}

void SliceInStream::setDeadlineMs(int ms)
{
    m_hasDeadline = ms >= 0;
    m_deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms < 0 ? 0 : ms);
}

bool SliceInStream::waitData(int timeoutMs)
{
    if (m_ptr != m_end)
        return true;
    for (int waited = 0;; waited += kSliceMs) {
        if (m_stop.requested())
            throw Stopped();
        int error = 0;
        const Wait w = waitReadable(m_socket, kSliceMs, error);
        if (w == Wait::Ready || w == Wait::Failed)
            return true;
        if (waited + kSliceMs >= timeoutMs)
            return false;
    }
}

long SliceInStream::dropAvailable(int waitMs)
{
    long dropped = static_cast<long>(m_end - m_ptr);
    m_consumed += static_cast<size_t>(m_end - m_start.get());
    m_ptr = m_end = m_start.get();
    int error = 0;
    Wait w = waitReadable(m_socket, dropped > 0 ? 0 : waitMs, error);
    while (w == Wait::Ready && dropped < kDropSlice) {
        uint8_t scratch[4096];
        const long n = receive(m_socket, scratch, sizeof scratch, error);
        if (n <= 0)
            return dropped > 0 ? dropped : -1;
        dropped += n;
        m_consumed += static_cast<size_t>(n);
        w = waitReadable(m_socket, 0, error);
    }
    if (w == Wait::Failed)
        return -1;
    return dropped;
}

} // namespace viewer
