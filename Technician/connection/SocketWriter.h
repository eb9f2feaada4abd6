// The writer on the sharing socket: one lock per whole message, waits in
// slices that end on the connection's stop, an overall time-out per message,
// and a count of the bytes sent. The socket is the core's: never closed here.
#pragma once

#include "Technician/connection/MessageWriter.h"
#include "Technician/connection/StopFlag.h"
#include "rfb/SocketCalls.h"

#include <atomic>
#include <cstdint>
#include <mutex>

namespace viewer {

class SocketWriter : public MessageWriter {
public:
    SocketWriter(rdr::SocketHandle socket, const StopFlag& stop, int timeoutMs = 10000)
        : m_socket(socket), m_stop(stop), m_timeoutMs(timeoutMs)
    {
    }

    void send(const Bytes& message) override;
    // Read without the write lock: a send blocked on a full socket holds it.
    uint64_t bytesSent() const { return m_bytesSent.load(); }

private:
    rdr::SocketHandle m_socket;
    const StopFlag& m_stop;
    int m_timeoutMs;
    std::mutex m_lock;
    std::atomic<uint64_t> m_bytesSent{0};
};

} // namespace viewer
