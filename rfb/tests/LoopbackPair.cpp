#include "rfb/tests/LoopbackPair.h"

#include "rfb/tests/LoopbackSockets.h"

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
        if (!farReadable(timeoutMs))
            return false;
        const long n = loopback::receiveSome(m_far, p, length);
        if (n <= 0)
            return false;
        p += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

bool LoopbackPair::farReadable(int timeoutMs)
{
    return loopback::waitReadable(m_far, timeoutMs);
}

bool LoopbackPair::farSeesClose(int timeoutMs)
{
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
