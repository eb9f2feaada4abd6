#include "Technician/connection/ClientConnection.h"

#include "core/base/DHLog.h"
#include "core/base/MeetingContext.h"
#include "core/base/ThreadMessages.h"

namespace {

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
    HWND v = m_hwndViewer.load();
    if (!v)
        return;
    RECT r;
    {
        std::lock_guard<std::mutex> hold(m_scaleLock);
        const rfb::Rect w = m_readerScale.windowRectOf(area);
        r = RECT{w.left, w.top, w.right, w.bottom};
    }
    InvalidateRect(v, &r, FALSE);
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
