#include "rfb/VSocket.h"


int VSocket::SetTimeout(unsigned milliseconds)
{
    if ((RecordedWinsockVersion() & 0xFF) < 2)
        return 0;
    m_timeoutMs = milliseconds;
    return applyTimeouts(milliseconds) ? 1 : 0;
}

int VSocket::ReadExact(void* buffer, size_t n)
{
    std::uint8_t* p = static_cast<std::uint8_t*>(buffer);
    while (n > 0) {
        if (m_failed.load() || m_aborted.load())
            return 0;
        const long got = receiveSome(p, n);
        if (got <= 0)
            return 0;
        p += got;
        n -= static_cast<size_t>(got);
    }
    return 1;
}

size_t VSocket::SendExact(const void* buffer, size_t n)
{
    std::lock_guard<std::mutex> lock(m_sendLock);
    const std::uint8_t* data = static_cast<const std::uint8_t*>(buffer);
    for (size_t sent = 0; sent < n;) {
        if (m_failed.load() || m_aborted.load())
            return 0;
        const size_t block = n - sent < kSendBlock ? n - sent : kSendBlock;
        if (!sendAll(data + sent, block)) {
            m_failed.store(true);
            return 0;
        }
        sent += block;
    }
    return m_failed.load() || m_aborted.load() ? 0 : n;
}
