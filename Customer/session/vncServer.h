#pragma once
// The host's sharing server for one sharing session: the settings that
// capture and input read, the one client (the viewer), the desktop and the
// connection, with the locks that serialise them. The manager creates it on
// message 60110 on the sharing channel's client end and deletes it when
// sharing ends; deletion stops the session and joins its threads first.
#include "rfb/SocketCalls.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>

class MeetingContext;
class HostConnection;
class HostDesktop;
class HostPlatform;
class vncClient;
class omni_mutex;

class vncServer {
public:
    // The program's server: Windows desktop, the core's socket, the
    // "vnc server is created" event (vncServer_win.cpp).
    vncServer(MeetingContext* meeting, rdr::SocketHandle socket);
    vncServer(std::unique_ptr<HostPlatform> platform, std::unique_ptr<HostConnection> connection);
    virtual ~vncServer();
    vncServer(const vncServer&) = delete;
    vncServer& operator=(const vncServer&) = delete;

    // Stores a copy of the text as the server's name (the host's display name).
    void SetName(const char* name);
    const std::string& Name() const { return m_name; }
    const char* GetName() const { return m_name.c_str(); }

    // Creates the client and starts its thread, which sets "vnc server is
    // created" once set up. 1 on success, 0 when no session could start.
    virtual int AddClient(int a, int b, int flag);
    virtual int AddClientDefault(int a, int b) { return AddClient(a, b, 0); }
    // Stops the session; the desktop is shut down once the client thread
    // has ended (it may be the desktop's caller).
    virtual void KillClient();
    // Ends the session; the client thread finishes on its own.
    void StopSession();
    // The host's own update pump: an incremental whole-screen request, as if
    // the viewer had sent one, without a byte on the viewer's stream.
    void RequestScreenUpdate();
    // True once the client thread has finished its teardown.
    bool SessionEnded();

    // Called by the client thread: creates and starts capture, gives the
    // frame buffers to the client. 0 (and the session stops) on failure.
    int StartDesktop();
    HostDesktop* GetDesktop();
    vncClient* GetClient() { return m_client.get(); }
    HostPlatform& Platform() { return *m_platform; }
    HostConnection& Connection() { return *m_connection; }

    virtual bool ClientReady();
    virtual bool ClientUpdateWanted();
    virtual bool ClientTakeKeyEventFlag();
    // From the desktop's side: a new screen size. Failure stops the session
    // (never deletes the desktop from its own thread).
    virtual int SetNewDesktopSize(int width, int height);
    // Clipboard text either way; dropped while the gate is closed.
    virtual void UpdateClientClipText(const std::string& text);
    virtual void UpdateLocalClipText(const std::string& text);
    // The viewer's keys, pointer, clipboard text and blank-screen requests
    // act, and the host's clipboard goes out, only while the gate says so:
    // in a meeting, while a participant holds control (every participant's
    // stream reaches the host). Open when none is set.
    void SetControlGate(std::function<bool()> gate) { m_controlGate = std::move(gate); }
    bool ControlGiven() const { return !m_controlGate || m_controlGate(); }

    omni_mutex& InputDesktopLock() { return *m_inputDesktopLock; }
    // One flag for the process: the input desktop is out of reach.
    static std::atomic<bool>& InputDesktopLost();
    void SetDesktopRestored() { m_desktopRestored = true; }

    bool InputEnabled() const { return m_inputEnabled; }
    void SetInputEnabled(bool on) { m_inputEnabled = on; }
    int GetSocketTimeout() const { return m_socketTimeout; }
    void SetSocketTimeout(int seconds) { m_socketTimeout = seconds; }
    int GetDefaultScale() const { return m_defaultScale; }
    int SetDefaultScale(int scale);
    bool GetSingleWindowMode() const { return m_singleWindow; }
    void SetSingleWindowMode(bool on) { m_singleWindow = on; }
    bool CursorShapeUpdates() const { return m_cursorShapeUpdates; }
    void SetCursorShapeUpdates(bool on) { m_cursorShapeUpdates = on; }
    int OsClass() const { return m_osClass; }
    bool DesktopOption() const { return m_desktopOption; }
    bool BlankWithWindow() const { return m_blankWithWindow; }

private:
    void Construct();

    std::unique_ptr<HostPlatform> m_platform;
    std::unique_ptr<HostConnection> m_connection;
    std::unique_ptr<HostDesktop> m_desktop;
    std::unique_ptr<vncClient> m_client;
    std::unique_ptr<omni_mutex> m_clientLock;
    std::unique_ptr<omni_mutex> m_inputDesktopLock;
    std::unique_ptr<omni_mutex> m_desktopLock;
    std::string m_name;
    std::function<bool()> m_controlGate;

    bool m_inputEnabled = true;
    int m_socketTimeout = 0;
    int m_defaultScale = 1;
    bool m_singleWindow = false;
    std::atomic<bool> m_cursorShapeUpdates{false};
    bool m_desktopRestored = false;
    int m_osClass = 4;
    bool m_desktopOption = false;
    bool m_blankWithWindow = false;
};
