#include "rfb/VSocket.h"

#include <cstring>

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
    std::lock_guard<std::recursive_mutex> lock(m_sendLock);
    if (queueAndSend(static_cast<const std::uint8_t*>(buffer), n) != n || !sendQueue())
        return 0;
    return n;
}

size_t VSocket::SendQueued(const void* buffer, size_t n)
{
    std::lock_guard<std::recursive_mutex> lock(m_sendLock);
    return queueAndSend(static_cast<const std::uint8_t*>(buffer), n);
}

bool VSocket::Flush()
{
    std::lock_guard<std::recursive_mutex> lock(m_sendLock);
    return !m_failed.load() && !m_aborted.load() && sendQueue();
}

// Fills the queue; a full queue goes out as one 8192-byte send, and whole
// 8192-byte blocks beyond it go straight from the caller's buffer.
size_t VSocket::queueAndSend(const std::uint8_t* data, size_t n)
{
    if (m_failed.load() || m_aborted.load())
        return 0;
    const size_t total = n;
    if (m_queued + n > kQueueSize) {
        const size_t head = kQueueSize - m_queued;
        std::memcpy(m_queue + m_queued, data, head);
        m_queued = kQueueSize;
        if (!sendQueue())
            return 0;
        data += head;
        n -= head;
        while (n > kQueueSize) {
            if (!sendAll(data, kQueueSize)) {
                sendFailed();
                return 0;
            }
            data += kQueueSize;
            n -= kQueueSize;
        }
    }
    if (n > 0)
        std::memcpy(m_queue + m_queued, data, n);
    m_queued += n;
    return total;
}

bool VSocket::sendQueue()
{
    if (m_queued == 0)
        return true;
    if (!sendAll(m_queue, m_queued))
        return sendFailed();
    m_queued = 0;
    return true;
}

bool VSocket::sendFailed()
{
    m_failed.store(true);
    m_queued = 0;
    return false;
}
