// One viewer on the sharing socket: the opening, then a reader thread of its
// own until the host ends the session, an error, or stop(). Each open() makes
// new streams, a new framebuffer and a new thread; stop() ends the reads and
// sends in their next slice and joins the thread. The socket is the core's
// and is never closed here.
#pragma once

#include "Technician/connection/SliceInStream.h"
#include "Technician/connection/SocketWriter.h"
#include "Technician/connection/ViewerOpening.h"
#include "Technician/connection/ViewerReader.h"

#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace viewer {

class ViewerSession {
public:
    // How the reader ended, told once from the reader thread as it finishes.
    using Finished = std::function<void(ViewerReader::End end, const std::string& why)>;

    ViewerSession(rdr::SocketHandle socket, ViewerEvents& events, decode::DecodeLog log = decode::DecodeLog());
    ~ViewerSession();
    ViewerSession(const ViewerSession&) = delete;
    ViewerSession& operator=(const ViewerSession&) = delete;

    // The opening and the client format; on success the reader runs and null
    // is returned, else why it failed (nothing runs). An old reader is
    // stopped and joined first.
    const char* open(const ViewerOptions& options, Finished finished,
                     const OpenSchedule& schedule = OpenSchedule());
    // Ends the reader (if any) and joins it; the framebuffer is dropped.
    void stop();
    bool running() const;

    // Null while no session is open; the picture of the open session.
    decode::Framebuffer* framebuffer() { return m_fb.get(); }
    ViewerReader* reader() { return m_reader.get(); }
    MessageWriter* writer() { return m_writer.get(); }
    const StartReply& startReply() const { return m_reply; }
    const ClientFormat& clientFormat() const { return m_format; }
    uint64_t bytesSent() const { return m_writer ? m_writer->bytesSent() : 0; }

private:
    rdr::SocketHandle m_socket;
    ViewerEvents& m_events;
    decode::DecodeLog m_log;
    StopFlag m_stop;
    std::unique_ptr<SliceInStream> m_in;
    std::unique_ptr<SocketWriter> m_writer;
    std::unique_ptr<decode::Framebuffer> m_fb;
    std::unique_ptr<ViewerReader> m_reader;
    std::thread m_thread;
    StartReply m_reply;
    ClientFormat m_format;
    std::atomic<bool> m_running{false};
};

} // namespace viewer
