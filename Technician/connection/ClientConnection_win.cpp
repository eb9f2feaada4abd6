#include "Technician/connection/ClientConnection.h"

#include "core/base/DHLog.h"
#include "core/base/MeetingContext.h"
#include "core/base/ThreadMessages.h"

#include "Technician/connection/ViewerError.h"

#include <algorithm>
#include <memory>
#include <new>

namespace {

class WinKeyboardLayout : public viewer::KeyboardLayout {
public:
    void state(uint8_t keys[256]) override
    {
        if (!GetKeyboardState(keys))
            std::fill(keys, keys + 256, 0);
    }
    int toAscii(unsigned virtualKey, unsigned scanCode, const uint8_t keys[256], uint8_t chars[2]) override
    {
        WORD out[2] = {};
        const int n = ToAscii(virtualKey, scanCode, keys, out, 0);
        chars[0] = static_cast<uint8_t>(out[0]);
        chars[1] = static_cast<uint8_t>(out[0] >> 8);
        return n;
    }
};

decode::DecodeLog ViewerLog()
{
    return decode::DecodeLog([](decode::LogLevel level, const char* line) {
        DHLog::Instance().Print(0x08, static_cast<int>(level), false, "%s", line);
    });
}

} // namespace

ClientConnection::ClientConnection(MeetingContext* meeting, SOCKET socket)
    : m_meeting(meeting), m_socket(socket), m_readyEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_sizeEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      m_session(static_cast<rdr::SocketHandle>(socket), *this, ViewerLog())
{
}

ClientConnection::~ClientConnection()
{
    m_session.stop();
}

void ClientConnection::SetWindows(HWND frame, HWND viewer)
{
    m_hwndFrame.store(frame);
    m_hwndViewer.store(viewer);
}

int ClientConnection::Run()
{
    m_session.stop();
    if (m_readyEvent)
        ResetEvent(m_readyEvent.get());
    const char* why = m_session.open(m_options, [this](viewer::ViewerReader::End end, const std::string& text) {
        OnReaderFinished(end, text);
    });
    if (why) {
        DHLog::Instance().Print(0x08, 1, false, "The viewer could not start: %s\n", why);
        if (m_readyEvent)
            SetEvent(m_readyEvent.get());
        return 0;
    }
    if (m_meeting)
        m_meeting->SignalViewerStarted();
    if (HWND v = m_hwndViewer.load())
        PostMessageW(v, WM_VIEWER_SESSION, 1, 0);
    return 1;
}

void ClientConnection::Stop()
{
    m_session.stop();
    if (m_readyEvent)
        SetEvent(m_readyEvent.get());
    if (HWND v = m_hwndViewer.load())
        PostMessageW(v, WM_VIEWER_SESSION, 0, 0);
}

void ClientConnection::SendIncrementalUpdateRequest()
{
    viewer::MessageWriter* out = m_session.writer();
    decode::Framebuffer* fb = m_session.framebuffer();
    if (!out || !fb || !m_session.running())
        return;
    try {
        out->send(viewer::UpdateRequestMessage(true, fb->width(), fb->height()));
        DHLog::Instance().Print(0x08, 7, false, "Request incremental update x=0,y=0,w=%d,h=%d\n", fb->width(),
                                fb->height());
    } catch (const rdr::Exception& e) {
        DHLog::Instance().Print(0x08, 5, false, "The update request did not go out: %s\n", e.str());
        if (HWND f = m_hwndFrame.load())
            PostMessageW(f, WM_CLOSE, 0, 0);
    }
}

viewer::DrawnCursor ClientConnection::Cursor()
{
    viewer::ViewerReader* r = m_session.reader();
    return r ? r->cursor() : viewer::DrawnCursor();
}

void ClientConnection::OnReaderFinished(viewer::ViewerReader::End end, const std::string& why)
{
    switch (end) {
    case viewer::ViewerReader::End::Disconnected:
        DHLog::Instance().Print(0x08, 7, false, "Customer Disconnected.\n");
        if (HWND v = m_hwndViewer.load())
            PostMessageW(v, WM_VIEWER_SESSION, 0, 0);
        break;
    case viewer::ViewerReader::End::Failed:
        DHLog::Instance().Print(0x08, 5, false, "The viewing ended: %s\n", why.c_str());
        if (HWND f = m_hwndFrame.load())
            PostMessageW(f, WM_CLOSE, 0, 0);
        break;
    case viewer::ViewerReader::End::Stopped:
        break;
    }
    if (m_readyEvent)
        SetEvent(m_readyEvent.get());
}

void ClientConnection::areaChanged(const rfb::Rect& area)
{
    // Under Wine an invalidation of another thread's window waits for that
    // thread; the reader only gathers the area and posts at the update's end.
    std::lock_guard<std::mutex> hold(m_changedLock);
    if (m_changed.is_empty())
        m_changed = area;
    else
        m_changed = rfb::Rect(std::min(m_changed.left, area.left), std::min(m_changed.top, area.top),
                              std::max(m_changed.right, area.right), std::max(m_changed.bottom, area.bottom));
}

rfb::Rect ClientConnection::TakeChangedArea()
{
    std::lock_guard<std::mutex> hold(m_changedLock);
    const rfb::Rect r = m_changed;
    m_changed = rfb::Rect();
    return r;
}

void ClientConnection::updateEnded()
{
    if (HWND v = m_hwndViewer.load())
        PostMessageW(v, WM_VIEWER_UPDATE_DONE, 0, 0);
}

void ClientConnection::framebufferResized()
{
    if (HWND v = m_hwndViewer.load())
        PostMessageW(v, WM_VIEWER_RESIZED, 0, 0);
}

void ClientConnection::sizeReported()
{
    if (m_sizeEvent)
        SetEvent(m_sizeEvent.get());
}

void ClientConnection::cursorChanged()
{
    if (HWND v = m_hwndViewer.load())
        PostMessageW(v, WM_VIEWER_CURSOR, 0, 0);
}

void ClientConnection::inputDesktopLost()
{
    cursorChanged();
}

void ClientConnection::inputDesktopRestored()
{
    cursorChanged();
}

template <class Send>
void ClientConnection::SendInput(const char* what, Send send)
{
    viewer::MessageWriter* out = m_session.writer();
    if (!out || !m_session.running())
        return;
    try {
        send(*out);
        return;
    } catch (const viewer::Exception& e) {
        DHLog::Instance().Print(0x08, 5, false, "Exception while sending %s : %s\n", what, e.message());
        e.Report();
    } catch (const rdr::Exception& e) {
        DHLog::Instance().Print(0x08, 5, false, "Exception while sending %s : %s\n", what, e.str());
    } catch (const std::exception& e) {
        DHLog::Instance().Print(0x08, 5, false, "Exception while sending %s : %s\n", what, e.what());
    }
    if (HWND f = m_hwndFrame.load())
        PostMessageW(f, WM_CLOSE, 0, 0);
}

void ClientConnection::ProcessKeyEvent(UINT virtualKey, LPARAM keyData)
{
    SendInput("a key", [&](viewer::MessageWriter& out) {
        WinKeyboardLayout layout;
        m_keys.key(virtualKey, static_cast<uint32_t>(keyData), layout, out);
    });
}

void ClientConnection::ProcessPointerEvent(int x, int y, WPARAM flags, viewer::PointerMessage message)
{
    SendInput("a pointer event", [&](viewer::MessageWriter& out) {
        HWND viewer = m_hwndViewer.load();
        switch (m_pointer.event(x, y, static_cast<unsigned>(flags), message, m_scale, out)) {
        case viewer::PointerInput::Timer::Start:
            if (!viewer || !SetTimer(viewer, viewer::kEmulationTimerId, 100, nullptr)) {
                DHLog::Instance().Print(0x08, 5, false, "The button emulation timer could not be made\n");
                if (HWND f = m_hwndFrame.load())
                    PostMessageW(f, WM_CLOSE, 0, 0);
            }
            break;
        case viewer::PointerInput::Timer::Kill:
            if (viewer)
                KillTimer(viewer, viewer::kEmulationTimerId);
            break;
        case viewer::PointerInput::Timer::Keep:
            break;
        }
        if (viewer::ViewerReader* r = m_session.reader())
            r->moveCursor(m_pointer.lastX(), m_pointer.lastY());
    });
}

void ClientConnection::OnEmulationTimer()
{
    if (HWND viewer = m_hwndViewer.load())
        KillTimer(viewer, viewer::kEmulationTimerId);
    SendInput("a pointer event", [&](viewer::MessageWriter& out) { m_pointer.timerFired(m_scale, out); });
}

void ClientConnection::SendWheel(int delta)
{
    SendInput("a wheel event", [&](viewer::MessageWriter& out) { m_pointer.wheel(delta, out); });
}

void ClientConnection::ReleaseModifiers()
{
    SendInput("a key", [](viewer::MessageWriter& out) { viewer::SendModifierReleases(out); });
}

void ClientConnection::SendSetSW(int x, int y)
{
    SendInput("a monitor request",
              [&](viewer::MessageWriter& out) { out.send(viewer::MonitorRequest(x, y, m_scale)); });
}

void ClientConnection::SendClientCutText(const std::string& text)
{
    SendInput("clipboard text", [&](viewer::MessageWriter& out) { out.send(viewer::ClientCutTextMessage(text)); });
}

void ClientConnection::clipboardReceived(std::string text)
{
    // The reader only posts: the viewer window's thread owns the clipboard.
    HWND v = m_hwndViewer.load();
    std::unique_ptr<std::string> copy(new (std::nothrow) std::string(std::move(text)));
    if (v && copy && PostMessageW(v, WM_VIEWER_CLIPBOARD, 0, reinterpret_cast<LPARAM>(copy.get())))
        copy.release();
}
