// Buffered input from the sharing socket that waits in short slices, so a
// read ends soon after the connection's stop request (Stopped), on a close
// (EndOfStream) or a socket error (SystemException). The socket is the
// core's: this stream never closes it.
#pragma once

#include "Technician/connection/StopFlag.h"
#include "rfb/InStream.h"
#include "rfb/SocketCalls.h"

#include <chrono>
#include <memory>

namespace viewer {

class SliceInStream : public rdr::InStream {
public:
    SliceInStream(rdr::SocketHandle socket, const StopFlag& stop);

    size_t pos() const override { return m_consumed + static_cast<size_t>(m_ptr - m_start.get()); }

    // Waits up to timeoutMs for bytes (buffered or on the socket): true when
    // some are there or the peer closed, false on time-out. Throws Stopped.
    bool waitData(int timeoutMs);
    // Drops the buffered bytes and whatever the socket holds now, waiting up
    // to waitMs for the first: the count dropped, 0 when nothing came, -1
    // when the socket closed or failed. One call drops a slice at most, so a
    // peer that never pauses cannot keep the caller in here.
    long dropAvailable(int waitMs);
    // Reads past the deadline throw rdr::TimedOut (the opening's bound);
    // a negative value removes it.
    void setDeadlineMs(int ms);

private:
    size_t overrun(size_t itemSize, size_t nItems) override;
    // One receive into the buffer's free tail after a sliced wait.
    void fill();

    static constexpr size_t kBufSize = 16384;
    static constexpr int kSliceMs = 50;
    rdr::SocketHandle m_socket;
    const StopFlag& m_stop;
    std::unique_ptr<uint8_t[]> m_start;
    size_t m_consumed = 0;
    bool m_hasDeadline = false;
    std::chrono::steady_clock::time_point m_deadline;
};

} // namespace viewer
