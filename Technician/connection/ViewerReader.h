// The reader's side of a viewing session, on bytes: the server-message
// switch, FramebufferUpdate with its pseudo-encodings and resync, cursor
// shapes. It draws into the decoders' framebuffer, sends its few requests
// through the writer and tells the windows through ViewerEvents.
#pragma once

#include "Technician/connection/CursorShape.h"
#include "Technician/connection/MessageWriter.h"
#include "Technician/connection/StopFlag.h"
#include "Technician/connection/ViewerEvents.h"
#include "Technician/connection/ViewerOptions.h"
#include "Technician/connection/ViewerWire.h"
#include "Technician/decode/DecodeSession.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace viewer {

// The largest ServerCutText read (the host's own limit); more ends the session.
constexpr uint32_t kMaxCutText = 4u << 20;

// The colour a new framebuffer shows until its first rectangle.
constexpr uint32_t kNewFramebufferColour = 0x000032;

class ViewerReader {
public:
    // Drops what the stream and socket hold now, waiting up to waitMs for
    // the first byte: the count, 0 for nothing, -1 when the socket is gone.
    using Drain = std::function<long(int waitMs)>;

    ViewerReader(rdr::InStream& in, MessageWriter& out, ViewerEvents& events, decode::Framebuffer& fb,
                 const ClientFormat& format, const ViewerOptions& options, Drain drain,
                 decode::DecodeLog log = decode::DecodeLog());

    enum class End { Disconnected, Stopped, Failed };
    // Reads messages until the host's disconnect (13), the stop request or an
    // error; never throws. why() tells the failure.
    End run(const StopFlag& stop);
    const std::string& why() const { return m_why; }

    // One server message; false after a disconnect notice (13). Throws on
    // anything that ends the viewing.
    bool readMessage();

    // The size the host last reported with message 75 (0 before).
    int reportedWidth() const { return m_reportedW; }
    int reportedHeight() const { return m_reportedH; }
    bool pointerPositionMode() const { return m_pointerMode; }

    // A copy of the drawn cursor, for painting.
    DrawnCursor cursor() const;
    // The viewer's own pointer position (sent with its pointer events).
    void moveCursor(int x, int y);

    // Waits between empty polls of a resync (tests shorten them).
    void setResyncWaitMs(int ms) { m_resyncWaitMs = ms; }

private:
    void readScreenUpdate();
    void readCursor(const decode::RectHeader& h);
    void newFramebufferSize(int w, int h);
    void resync(int32_t encoding);
    void readCutText();

    rdr::InStream& m_in;
    MessageWriter& m_out;
    ViewerEvents& m_events;
    decode::Framebuffer& m_fb;
    ClientFormat m_format;
    ViewerOptions m_options;
    Drain m_drain;
    decode::DecodeLog m_log;
    decode::DecodeSession m_decoders;
    decode::PixelColours m_colours;
    std::vector<rfb::Rect> m_changed;
    std::string m_why;
    int m_reportedW = 0;
    int m_reportedH = 0;
    bool m_inputDesktopLost = false;
    bool m_pointerMode = false;
    int m_resyncWaitMs = 700;
    mutable std::mutex m_cursorLock;
    DrawnCursor m_cursor;
};

} // namespace viewer
