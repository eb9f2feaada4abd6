#pragma once
// The viewer's connection on the sharing channel's client end: the Win32
// edge of ViewerSession. The reader thread only posts to the windows and
// invalidates; the thread-finished event is set on every way out of it.
#include "core/base/CHeap.h"
#include "core/base/WinHandle.h"
#include "Technician/connection/ViewScale.h"
#include "Technician/connection/ViewerInput.h"
#include "Technician/connection/ViewerSession.h"

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <mutex>

class MeetingContext;

// Posted to the viewer window by the reader (the window does the work).
constexpr UINT WM_VIEWER_UPDATE_DONE = WM_USER + 112;  // 0x470
constexpr UINT WM_VIEWER_RESIZED = WM_USER + 113;
constexpr UINT WM_VIEWER_CURSOR = WM_USER + 114;
// lParam: a heap std::string of the host's clipboard text, the receiver's
// to delete.
constexpr UINT WM_VIEWER_CLIPBOARD = WM_USER + 115;

class ClientConnection : public CHeap, private viewer::ViewerEvents {
public:
    ClientConnection(MeetingContext* meeting, SOCKET socket);
    // Stops and joins the reader before anything goes.
    ~ClientConnection() override;
    ClientConnection(const ClientConnection&) = delete;
    ClientConnection& operator=(const ClientConnection&) = delete;

    // The windows the reader tells (set by the GUI that holds the connection).
    void SetWindows(HWND frame, HWND viewer);

    // The start exchange with the host's server, then a new reader thread;
    // signals "vnc server is created" on success. 1 on success, 0 on failure.
    // An old reader is stopped and joined first.
    int Run();
    // Ends the reader within a bound and joins it (pause, teardown).
    void Stop();
    bool Connected() const { return m_session.running(); }
    // An incremental update request for the whole picture from the GUI
    // thread (a view back from the taskbar); a failed send ends the viewing
    // as the reader's errors do.
    void SendIncrementalUpdateRequest();
    uint64_t BytesSent() const { return m_session.bytesSent(); }

    // The participant's input, from the GUI thread while control is held
    // (the GUI checks). A message that cannot go out is reported and ends
    // the viewing (WM_CLOSE to the frame); nothing goes without a session.
    // keyData is the key message's lParam.
    void ProcessKeyEvent(UINT virtualKey, LPARAM keyData);
    // A mouse message at a viewer-window point; flags are its wParam.
    void ProcessPointerEvent(int x, int y, WPARAM flags, viewer::PointerMessage message);
    // The emulation timer (viewer::kEmulationTimerId) fired.
    void OnEmulationTimer();
    void SendWheel(int delta);
    // Key-up for every modifier (the view lost the focus).
    void ReleaseModifiers();
    // The monitor request for a viewer-window point or a code.
    void SendSetSW(int x, int y);
    // Clipboard text (line feeds) to the host as one ClientCutText.
    void SendClientCutText(const std::string& text);

    // Set when the reader thread has finished (waited for on a sharing resume).
    HANDLE ReadyEvent() const { return m_readyEvent.get(); }
    // Cleared by the manager before it deletes the frame.
    std::atomic<int> m_active{1};

    // The picture for painting (null while no session is open) and the
    // drawn cursor; the GUI thread only.
    decode::Framebuffer* Framebuffer() { return m_session.framebuffer(); }
    viewer::DrawnCursor Cursor();
    viewer::ViewerOptions& Options() { return m_options; }
    viewer::ViewScale& Scale() { return m_scale; }
    // The framebuffer area changed since the last call (empty for none):
    // the GUI thread invalidates it at its scale on WM_VIEWER_UPDATE_DONE.
    rfb::Rect TakeChangedArea();

private:
    void areaChanged(const rfb::Rect& area) override;
    void updateEnded() override;
    void framebufferResized() override;
    void sizeReported() override;
    void cursorChanged() override;
    void inputDesktopLost() override;
    void inputDesktopRestored() override;
    void clipboardReceived(std::string text) override;
    void OnReaderFinished(viewer::ViewerReader::End end, const std::string& why);
    // Runs send with the session's writer; reports a failure and ends the view.
    template <class Send>
    void SendInput(const char* what, Send send);

    MeetingContext* m_meeting;
    SOCKET m_socket;
    WinHandle m_readyEvent;
    WinHandle m_sizeEvent;
    viewer::ViewerOptions m_options;
    viewer::ViewScale m_scale;
    viewer::PointerInput m_pointer;
    viewer::KeyInput m_keys;
    std::atomic<HWND> m_hwndFrame{nullptr};
    std::atomic<HWND> m_hwndViewer{nullptr};
    // Areas the reader drew, gathered until the GUI thread takes them.
    std::mutex m_changedLock;
    rfb::Rect m_changed;
    viewer::ViewerSession m_session;
};
