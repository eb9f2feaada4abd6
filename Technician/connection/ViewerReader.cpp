#include "Technician/connection/ViewerReader.h"

#include "Technician/connection/ViewerError.h"
#include "Technician/decode/Encodings.h"
#include "rfb/RfbProto.h"

#include <new>

namespace viewer {

using decode::LogLevel;

namespace {

constexpr int32_t kEncPointerPos = -232;
constexpr int kEmptyPollsToEndResync = 5;

} // namespace

ViewerReader::ViewerReader(rdr::InStream& in, MessageWriter& out, ViewerEvents& events, decode::Framebuffer& fb,
                           const ClientFormat& format, const ViewerOptions& options, Drain drain,
                           decode::DecodeLog log)
    : m_in(in), m_out(out), m_events(events), m_fb(fb), m_format(format), m_options(options),
      m_drain(std::move(drain)), m_log(log), m_decoders(fb, format.pf, log), m_colours(format.pf)
{
    m_fb.setCacheEnabled(m_options.cacheEncoding);
}

ViewerReader::End ViewerReader::run(const StopFlag& stop)
{
    try {
        while (!stop.requested())
            if (!readMessage())
                return End::Disconnected;
        return End::Stopped;
    } catch (const Stopped&) {
        return End::Stopped;
    } catch (const rdr::Exception& e) {
        m_why = e.str();
    } catch (const std::bad_alloc&) {
        m_why = "out of memory";
    } catch (const std::exception& e) {
        m_why = e.what();
    }
    if (stop.requested())
        return End::Stopped;
    m_log.write(LogLevel::DebugError, "Exception (1): %s\n", m_why.c_str());
    return End::Failed;
}

bool ViewerReader::readMessage()
{
    const uint8_t type = m_in.readU8();
    m_log.write(LogLevel::DebugInfo, "Type :%d\n", type);
    switch (type) {
    case rfbproto::kFramebufferUpdate:
        readScreenUpdate();
        return true;
    case rfbproto::kSetColourMapEntries:
        throw WarningException("The presenter's colour map is not supported.");
    case rfbproto::kServerCutText:
        readCutText();
        return true;
    case rfbproto::kResize: {
        m_in.skip(1);
        const int w = m_in.readU16();
        const int h = m_in.readU16();
        newFramebufferSize(w, h);
        m_events.updateEnded();
        return true;
    }
    case rfbproto::kSetSWRefused:
        m_log.write(LogLevel::DebugWarn, "Customer only has one monitor, or already expand remote screen.\n");
        m_events.sizeReported();
        return true;
    case rfbproto::kDisconnect:
        m_in.skip(7);
        return false;
    case rfbproto::kStartReply:
        m_in.skip(kStartReplyLength - 1);
        return true;
    case 75: {
        m_in.skip(1);
        m_reportedW = m_in.readU16();
        m_reportedH = m_in.readU16();
        m_events.sizeReported();
        return true;
    }
    case rfbproto::kInputDesktopRestored:
        m_inputDesktopLost = false;
        m_events.inputDesktopRestored();
        return true;
    case rfbproto::kInputDesktopLost:
        if (!m_inputDesktopLost) {
            m_inputDesktopLost = true;
            {
                std::lock_guard<std::mutex> hold(m_cursorLock);
                m_pointerMode = true;
            }
            m_events.inputDesktopLost();
        }
        return true;
    default:
        m_log.write(LogLevel::DebugError, "Unknown message type x%02x\n", type);
        throw WarningException("The presenter sent a message this viewer does not know.");
    }
}

void ViewerReader::readScreenUpdate()
{
    m_in.skip(1);
    const unsigned count = m_in.readU16();
    for (unsigned i = 0; i < count; ++i) {
        decode::RectHeader h;
        h.x = m_in.readU16();
        h.y = m_in.readU16();
        h.w = m_in.readU16();
        h.h = m_in.readU16();
        h.encoding = m_in.readS32();
        m_log.write(LogLevel::DebugInfo, "%u %u\n", i, count);
        m_log.write(LogLevel::DebugInfo, "encoding %d\n", static_cast<int>(h.encoding));
        if (h.encoding == rfbproto::kEncLastRect)
            break;
        if (h.encoding == rfbproto::kEncNewFBSize) {
            newFramebufferSize(h.w, h.h);
            break;
        }
        if (h.encoding == rfbproto::kEncXCursor || h.encoding == rfbproto::kEncRichCursor) {
            readCursor(h);
            continue;
        }
        if (h.encoding == kEncPointerPos) {
            m_log.write(LogLevel::DebugInfo, "reading cursorPos (%d,%d)\n", h.x, h.y);
            bool moved = false;
            {
                std::lock_guard<std::mutex> hold(m_cursorLock);
                if (m_pointerMode) {
                    m_cursor.x = h.x;
                    m_cursor.y = h.y;
                    m_cursor.hasPosition = true;
                    moved = true;
                }
            }
            if (moved)
                m_events.cursorChanged();
            continue;
        }
        if (!decode::DecodeSession::Handles(h.encoding)) {
            resync(h.encoding);
            break;
        }
        m_changed.clear();
        m_decoders.decode(m_in, h, m_changed);
        for (const rfb::Rect& r : m_changed)
            m_events.areaChanged(r);
    }
    m_events.updateEnded();
}

void ViewerReader::readCursor(const decode::RectHeader& h)
{
    const bool rich = h.encoding == rfbproto::kEncRichCursor;
    m_log.write(LogLevel::DebugInfo, "Receiving cursor shape update, cursor %dx%d\n", h.w, h.h);
    if (!m_options.requestCursorShapes || m_options.ignoreCursorShapes) {
        m_in.skip(CursorDataSize(rich, h.w, h.h, m_colours.bytesPerPixel()));
        return;
    }
    CursorShape shape;
    const bool kept = ReadCursorShape(m_in, rich, h.w, h.h, h.x, h.y, m_colours, shape);
    {
        std::lock_guard<std::mutex> hold(m_cursorLock);
        m_cursor.shape = std::move(shape);
        m_cursor.hasShape = kept && !m_cursor.shape.empty();
    }
    m_events.cursorChanged();
}

void ViewerReader::newFramebufferSize(int w, int h)
{
    if (!SizeAcceptable(w, h))
        throw WarningException("The presenter's screen size is out of range.");
    m_fb.resize(w, h);
    m_fb.draw().fill(m_fb.bounds(), kNewFramebufferColour);
    m_decoders.clearCache();
    m_out.send(UpdateRequestMessage(false, w, h));
    m_out.send(SetPixelFormatMessage(m_format));
    m_out.send(SetEncodingsMessage(EncodingList(m_options)));
    m_out.send(UpdateRequestMessage(false, w, h));
    m_events.framebufferResized();
}

void ViewerReader::resync(int32_t encoding)
{
    m_log.write(LogLevel::DebugWarn, "Unknown encoding %d - not supported!\n", static_cast<int>(encoding));
    for (int empty = 0; empty < kEmptyPollsToEndResync;) {
        const long n = m_drain(m_resyncWaitMs);
        if (n < 0)
            break;
        empty = n == 0 ? empty + 1 : 0;
    }
    m_log.write(LogLevel::DebugInfo, "Buffer cleared, sync should be back OK..Continue \n");
}

void ViewerReader::readCutText()
{
    m_log.write(LogLevel::DebugInfo, "Read remote clipboard change\n");
    m_in.skip(3);
    const uint32_t length = m_in.readU32();
    if (length > kMaxCutText)
        throw QuietException("The presenter's clipboard text is too long.");
    std::string text(length, '\0');
    if (length)
        m_in.readBytes(&text[0], length);
    m_log.write(LogLevel::DebugInfo, "Read a %u-byte string\n", length);
    m_events.clipboardReceived(std::move(text));
}

DrawnCursor ViewerReader::cursor() const
{
    std::lock_guard<std::mutex> hold(m_cursorLock);
    return m_cursor;
}

void ViewerReader::moveCursor(int x, int y)
{
    {
        std::lock_guard<std::mutex> hold(m_cursorLock);
        m_cursor.x = x;
        m_cursor.y = y;
        m_cursor.hasPosition = true;
    }
    m_events.cursorChanged();
}

} // namespace viewer
