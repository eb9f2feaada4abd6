// A connected TCP pair on 127.0.0.1 for socket tests: the near end is the one
// under test, the far end plays the peer. One pair serves the stream tests
// here and the host's session tests.
#pragma once

#include "rfb/SocketCalls.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class LoopbackPair {
public:
    // Batched leaves Nagle's algorithm on; AtOnce turns it off on both ends,
    // so each small message goes out as soon as it is sent.
    enum class Sends { Batched, AtOnce };

    explicit LoopbackPair(Sends sends = Sends::Batched);
    ~LoopbackPair();
    LoopbackPair(const LoopbackPair&) = delete;
    LoopbackPair& operator=(const LoopbackPair&) = delete;

    bool ok() const { return m_ok; }
    rdr::SocketHandle nearEnd() const { return m_near; }
    // The far end itself, for a peer under test that reads and writes it
    // (not mixed with receiveAtFar, whose read-ahead it would not see).
    rdr::SocketHandle farEnd() const { return m_far; }
    // Sends all bytes from the far end; false on failure.
    bool sendFromFar(const void* data, size_t length);
    bool sendFromFar(const std::vector<uint8_t>& bytes) { return sendFromFar(bytes.data(), bytes.size()); }
    // Receives exactly length bytes at the far end; false on failure, on
    // close, or when a wait for more takes longer than timeoutMs (negative:
    // no limit). Reads ahead into a buffer of its own, so a peer that reads a
    // message field by field costs one socket call per buffer, not per field
    // (under Wine each call is a server round trip).
    bool receiveAtFar(void* data, size_t length, int timeoutMs = -1);
    // Whether the far end has bytes to read (or sees a close) within timeoutMs.
    bool farReadable(int timeoutMs);
    // True when the near end was closed or shut down (a read at the far end
    // returns 0 or fails) within timeoutMs; data that arrives first is skipped.
    bool farSeesClose(int timeoutMs);
    void closeFar();
    // Small socket buffers (near end's send, far end's receive), so a far end
    // that does not read soon leaves the near end's sends waiting.
    void shrinkBuffers();

private:
    bool m_ok = false;
    rdr::SocketHandle m_near;
    rdr::SocketHandle m_far;
    std::vector<char> m_ahead;  // bytes read at the far end, not yet taken
    size_t m_aheadPos = 0;
};
