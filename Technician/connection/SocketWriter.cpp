#include "Technician/connection/SocketWriter.h"

#include "Technician/connection/SocketSend.h"
#include "Technician/connection/ViewerError.h"

#include <cstdio>

namespace viewer {

void SocketWriter::send(const Bytes& message)
{
    constexpr int kSliceMs = 50;
    std::lock_guard<std::mutex> hold(m_lock);
    size_t done = 0;
    int waited = 0;
    while (done < message.size()) {
        if (m_stop.requested())
            throw Stopped();
        int error = 0;
        const int ready = socketsend::waitWritable(m_socket, kSliceMs, error);
        if (ready < 0) {
            char text[64];
            std::snprintf(text, sizeof text, "Socket error %d", error);
            throw QuietException(text);
        }
        if (ready == 0) {
            waited += kSliceMs;
            if (waited >= m_timeoutMs)
                throw QuietException("Send timed out");
            continue;
        }
        const long n = socketsend::sendSome(m_socket, message.data() + done, message.size() - done, error);
        if (n <= 0) {
            char text[64];
            std::snprintf(text, sizeof text, "Socket error %d", n < 0 ? error : 0);
            throw QuietException(text);
        }
        done += static_cast<size_t>(n);
        m_bytesSent += static_cast<uint64_t>(n);
    }
}

} // namespace viewer
