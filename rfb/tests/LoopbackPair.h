// A connected TCP pair on 127.0.0.1 for socket tests: the near end is the one
// under test, the far end plays the peer.
#pragma once

#include "rfb/SocketCalls.h"

#include <cstddef>

class LoopbackPair {
public:
    LoopbackPair();
    ~LoopbackPair();
    LoopbackPair(const LoopbackPair&) = delete;
    LoopbackPair& operator=(const LoopbackPair&) = delete;

    bool ok() const { return m_ok; }
    rdr::SocketHandle nearEnd() const { return m_near; }
    // Sends all bytes from the far end; false on failure.
    bool sendFromFar(const void* data, size_t length);
    // Far-end reads, used by the server-socket tests (Winsock side only).
    // Receives exactly length bytes at the far end; false on failure.
    bool receiveAtFar(void* data, size_t length);
    // Whether the far end has bytes to read within timeoutMs.
    bool farReadable(int timeoutMs);
    void closeFar();

private:
    bool m_ok = false;
    rdr::SocketHandle m_near;
    rdr::SocketHandle m_far;
};
