#include "Technician/connection/ViewerSession.h"

#include "Technician/connection/ViewerError.h"

#include <new>

namespace viewer {

ViewerSession::ViewerSession(rdr::SocketHandle socket, ViewerEvents& events, decode::DecodeLog log)
    : m_socket(socket), m_events(events), m_log(std::move(log))
{
}

ViewerSession::~ViewerSession()
{
    stop();
}

bool ViewerSession::running() const
{
    return m_running.load();
}

void ViewerSession::stop()
{
    m_stop.request();
    if (m_thread.joinable())
        m_thread.join();
    m_reader.reset();
    m_fb.reset();
}

const char* ViewerSession::open(const ViewerOptions& options, Finished finished, const OpenSchedule& schedule)
{
    stop();
    m_stop.clear();
    m_in.reset(new SliceInStream(m_socket, m_stop));
    m_writer.reset(new SocketWriter(m_socket, m_stop));
    try {
        if (const char* why = OpenSession(*m_in, *m_writer, m_reply, schedule))
            return why;
        if (!ClientFormatFor(options.colourDepth, m_reply.server, m_format) ||
            !decode::PixelColours::Supports(m_format.pf))
            return "unsupported colour depth";
        // Format and encodings go out at once: the host's pump may already
        // be polling, and what it sends before them is in its own format.
        m_writer->send(SetPixelFormatMessage(m_format));
        m_writer->send(SetEncodingsMessage(EncodingList(options)));
        if (options.serverScale > 1)
            m_writer->send(SetScaleMessage(options.serverScale));
        // The host's pump may have sent its first picture before this viewer
        // asked (the opening drops it) and sends only changes after that: a
        // still screen would never show. One whole-screen request fixes it.
        m_writer->send(UpdateRequestMessage(false, m_reply.width, m_reply.height));
        m_log.write(decode::LogLevel::DebugInfo, "Resolution: %d x %d depth %d\n", m_reply.width, m_reply.height,
                    m_reply.server.depth);
        m_fb.reset(new decode::Framebuffer(m_reply.width, m_reply.height));
        m_fb->draw().fill(m_fb->bounds(), kNewFramebufferColour);
        SliceInStream* in = m_in.get();
        m_reader.reset(new ViewerReader(*m_in, *m_writer, m_events, *m_fb, m_format, options,
                                        [in](int waitMs) { return in->dropAvailable(waitMs); }, m_log));
    } catch (const Stopped&) {
        m_reader.reset();
        m_fb.reset();
        return "stopped";
    } catch (const rdr::Exception& e) {
        m_log.write(decode::LogLevel::DebugError, "Exception (2): %s\n", e.str());
        m_reader.reset();
        m_fb.reset();
        return "the opening failed";
    } catch (const std::exception&) {
        m_reader.reset();
        m_fb.reset();
        return "the opening failed";
    }
    m_running.store(true);
    m_thread = std::thread([this, finished] {
        const ViewerReader::End end = m_reader->run(m_stop);
        m_log.write(decode::LogLevel::DebugInfo, "Update-processing thread finishing\n");
        m_running.store(false);
        if (finished)
            finished(end, m_reader->why());
    });
    return nullptr;
}

} // namespace viewer
