// Buffered input stream on a connected socket, with an optional time-out per
// wait and optional timing of how fast data arrives. Reads of 1024 bytes and
// more (and every read while timing) go straight to the caller's buffer.
#pragma once

#include "rfb/InStream.h"
#include "rfb/SocketCalls.h"

#include <memory>

namespace rdr {

class FdInStream : public InStream {
public:
    // timeoutMs 0 waits without limit; bufSize 0 means 8192.
    explicit FdInStream(SocketHandle socket, int timeoutMs = 0, size_t bufSize = 0);

    void readBytes(void* data, size_t length) override;
    size_t pos() const override;

    void setTimeout(int timeoutMs) { m_timeoutMs = timeoutMs; }
    SocketHandle getSocket() const { return m_socket; }
    uint64_t bytesReceived() const { return m_bytesReceived; }

    void startTiming();
    void stopTiming() { m_timing = false; }
    // Throughput seen while timing, and the time spent waiting in 100 us units.
    unsigned kbitsPerSecond() const;
    unsigned timeWaited() const { return m_timeWaitedIn100us; }

    void clearBuffer();
    // Drops the unread window and waits up to 500 ms for more data:
    // 1 readable, 0 nothing arrived, -1 the wait failed.
    int discardAndWait();

private:
    size_t overrun(size_t itemSize, size_t nItems) override;
    size_t readWithTimeout(uint8_t* buffer, size_t length);

    SocketHandle m_socket;
    int m_timeoutMs;
    bool m_timing = false;
    unsigned m_timeWaitedIn100us = 5;
    unsigned m_timedKbits = 0;
    size_t m_bufSize;
    size_t m_offset = 0;
    std::unique_ptr<uint8_t[]> m_start;
    uint64_t m_bytesReceived = 0;
};

} // namespace rdr
