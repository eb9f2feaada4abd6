#include "rfb/tests/LoopbackPair.h"

#include "rfb/tests/LoopbackSockets.h"

#include <algorithm>
#include <cstring>

using loopback::kNoSocket;

LoopbackPair::LoopbackPair(Sends sends) : m_near(kNoSocket), m_far(kNoSocket)
{
    m_ok = loopback::connectPair(m_near, m_far);
    if (m_ok && sends == Sends::AtOnce) {
        loopback::setNoDelay(m_near);
        loopback::setNoDelay(m_far);
    }
}

LoopbackPair::~LoopbackPair()
{
    closeFar();
    if (m_near != kNoSocket)
        loopback::closeSocket(m_near);
}

bool LoopbackPair::sendFromFar(const void* data, size_t length)
{
    const char* p = static_cast<const char*>(data);
    while (length > 0) {
        const long n = loopback::sendSome(m_far, p, length);
        if (n <= 0)
            return false;
        p += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

bool LoopbackPair::receiveAtFar(void* data, size_t length, int timeoutMs)
{
    char* p = static_cast<char*>(data);
    while (length > 0) {
        if (m_aheadPos == m_ahead.size()) {
            if (!loopback::waitReadable(m_far, timeoutMs))
                return false;
            m_ahead.resize(64 * 1024);
            const long n = loopback::receiveSome(m_far, m_ahead.data(), m_ahead.size());
            if (n <= 0) {
                m_ahead.clear();
                m_aheadPos = 0;
                return false;
            }
            m_ahead.resize(static_cast<size_t>(n));
            m_aheadPos = 0;
        }
        const size_t take = std::min(length, m_ahead.size() - m_aheadPos);
        std::memcpy(p, m_ahead.data() + m_aheadPos, take);
        m_aheadPos += take;
        p += take;
        length -= take;
    }
    return true;
}

bool LoopbackPair::farReadable(int timeoutMs)
{
    return m_aheadPos < m_ahead.size() || loopback::waitReadable(m_far, timeoutMs);
}

bool LoopbackPair::farSeesClose(int timeoutMs)
{
    m_ahead.clear();
    m_aheadPos = 0;
    char sink[4096];
    for (;;) {
        if (!farReadable(timeoutMs))
            return false;
        if (loopback::receiveSome(m_far, sink, sizeof sink) <= 0)
            return true;
    }
}

void LoopbackPair::closeFar()
{
    if (m_far != kNoSocket) {
        loopback::closeSocket(m_far);
        m_far = kNoSocket;
    }
}

void LoopbackPair::shrinkBuffers()
{
    const int size = 4096;
    loopback::setSendBuffer(m_near, size);
    loopback::setReceiveBuffer(m_far, size);
}
