#include "rfb/FdInStream.h"

#include "rfb/Exception.h"

#include <chrono>
#include <cstdio>
#include <cstring>

namespace rdr {

namespace {
constexpr size_t kDefaultBufSize = 8192;
constexpr size_t kMinBulkRead = 1024;
} // namespace

FdInStream::FdInStream(SocketHandle socket, int timeoutMs, size_t bufSize)
    : m_socket(socket), m_timeoutMs(timeoutMs), m_bufSize(bufSize ? bufSize : kDefaultBufSize),
      m_start(new uint8_t[m_bufSize])
{
    m_ptr = m_end = m_start.get();
}

size_t FdInStream::pos() const
{
    return m_offset + static_cast<size_t>(m_ptr - m_start.get());
}

void FdInStream::startTiming()
{
    m_timing = true;
}

unsigned FdInStream::kbitsPerSecond() const
{
    return static_cast<unsigned>(static_cast<uint64_t>(m_timedKbits) * 10000 / m_timeWaitedIn100us);
}

void FdInStream::clearBuffer()
{
    m_ptr = m_end = m_start.get();
    m_offset = 0;
}

int FdInStream::discardAndWait()
{
    m_offset += static_cast<size_t>(m_end - m_start.get());
    m_ptr = m_end = m_start.get();
    int error = 0;
    switch (socketcalls::waitReadable(m_socket, 500, error)) {
    case socketcalls::Wait::Ready:
        return 1;
    case socketcalls::Wait::TimedOut:
        return 0;
    default:
        return -1;
    }
}

void FdInStream::readBytes(void* data, size_t length)
{
    if (length < kMinBulkRead && !m_timing) {
        InStream::readBytes(data, length);
        return;
    }
    uint8_t* out = static_cast<uint8_t*>(data);
    const size_t buffered = static_cast<size_t>(m_end - m_ptr);
    const size_t first = buffered < length ? buffered : length;
    std::memcpy(out, m_ptr, first);
    m_ptr += first;
    out += first;
    length -= first;
    while (length > 0) {
        const size_t n = readWithTimeout(out, length);
        out += n;
        length -= n;
        m_offset += n;
    }
}

size_t FdInStream::overrun(size_t itemSize, size_t nItems)
{
    if (itemSize > m_bufSize)
        throw Exception("FdInStream overrun: max itemSize exceeded");

    const size_t unread = static_cast<size_t>(m_end - m_ptr);
    if (unread && m_ptr != m_start.get())
        std::memmove(m_start.get(), m_ptr, unread);
    m_offset += static_cast<size_t>(m_ptr - m_start.get());
    m_ptr = m_start.get();
    m_end = m_start.get() + unread;

    while (static_cast<size_t>(m_end - m_start.get()) < itemSize) {
        const size_t room = m_bufSize - static_cast<size_t>(m_end - m_start.get());
        m_end += readWithTimeout(m_start.get() + (m_end - m_start.get()), room);
    }
    const size_t items = static_cast<size_t>(m_end - m_ptr) / itemSize;
    return items < nItems ? items : nItems;
}

// One receive of up to length bytes, after waiting for data with the stream's
// time-out. Never returns 0: a closed peer throws EndOfStream.
size_t FdInStream::readWithTimeout(uint8_t* buffer, size_t length)
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point before = m_timing ? Clock::now() : Clock::time_point();

    long n;
    for (;;) {
        int error = 0;
        socketcalls::Wait w;
        while ((w = socketcalls::waitReadable(m_socket, m_timeoutMs, error)) == socketcalls::Wait::Interrupted)
            std::fputs("select returned EINTR\n", stderr);
        if (w == socketcalls::Wait::Failed)
            throw SystemException("select", error);
        if (w == socketcalls::Wait::TimedOut && m_timeoutMs != 0)
            throw TimedOut();

        n = socketcalls::receive(m_socket, buffer, length, error);
        if (n > 0)
            break;
        if (n == 0)
            throw EndOfStream();
        if (!socketcalls::isInterrupted(error))
            throw SystemException("read", error);
        std::fputs("read returned EINTR\n", stderr);
    }
    m_bytesReceived += static_cast<uint64_t>(n);

    if (m_timing) {
        const auto elapsed = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - before).count();
        const uint64_t waited = static_cast<uint64_t>(elapsed) / 100;
        const uint64_t kbits = static_cast<uint64_t>(n) * 8 / 1000;
        // A wait is mostly latency, not transfer: count at most the time the
        // data needs at 10 kbit/s and at least the time it needs at 40 Mbit/s.
        uint64_t counted = waited;
        if (counted > kbits * 1000)
            counted = kbits * 1000;
        if (counted < kbits / 4)
            counted = kbits / 4;
        m_timeWaitedIn100us += static_cast<unsigned>(counted);
        m_timedKbits += static_cast<unsigned>(kbits);
    }
    return static_cast<size_t>(n);
}

} // namespace rdr
