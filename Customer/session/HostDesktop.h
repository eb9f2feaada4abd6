// What the session needs of the presenter's desktop and of the platform.
// The program's desktop grabs the screen with GDI and injects input with
// SendInput (WinDesktop_win.cpp, WinHost_win.cpp); tests use a desktop in
// memory.
#pragma once

#include "Customer/input/PointerInput.h"
#include "Customer/capture/vncClientBuffer.h"
#include "Customer/encode/vncEncoder.h"
#include "rfb/UpdateTracker.h"

class DesktopClient;

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class HostDesktop {
public:
    virtual ~HostDesktop() = default;

    // Starts the desktop thread and capture: the frame buffers are ready
    // when it returns true.
    virtual bool Init() = 0;
    // The client the desktop thread reports to (null: none); its calls are
    // made with the update lock held, so it is swapped under that lock.
    virtual void Attach(DesktopClient* client) = 0;
    // Ends the desktop thread and joins it, with a bound; nothing reaches
    // the client after it returns.
    virtual void Stop() = 0;
    virtual vncClientBuffer& Buffer() = 0;
    // The desktop and the shared part of it, in host coordinates.
    virtual rfb::Rect ScreenRect() const = 0;
    virtual rfb::Rect SharedRect() const = 0;
    // From the client thread: the rectangle is read again on the next cycle
    // (a non-incremental request), and a cycle is due (an update request).
    virtual void QueueRect(const rfb::Rect& rect) = 0;
    virtual void TriggerUpdate() = 0;

    // The current cursor; false when it cannot be read.
    virtual bool GetCursor(CursorImage& cursor) = 0;
    virtual rfb::Rect CursorRect() = 0;

    virtual void InjectKey(uint32_t keysym, bool down) = 0;
    // Shift, Control and Alt (each side) that are down go up: a viewer that
    // lost control, or left, sends no key-up for what it held.
    virtual void ReleaseHeldKeys() = 0;
    virtual void InjectPointer(const PointerInput& input, bool absoluteMouse) = 0;
    virtual bool SwapButtons() = 0;
    // Turns Caps Lock and Scroll Lock off on the host.
    virtual void ReleaseLockKeys() = 0;
    virtual void SetClipText(const std::string& text) = 0;
    // From now on each new text of the host's clipboard goes to sink (line
    // feeds only). A desktop with no clipboard of its own has nothing to send.
    virtual void WatchClipboard(std::function<void(const std::string&)> sink) { (void)sink; }
    // Blank screen on or off; false when the desktop cannot blank.
    virtual bool BlankScreen(bool on) = 0;
    // rfbSetSW: x, y as the viewer sent them (display codes), at the same
    // point on the host's screen (in ScreenRect's coordinates). 0 done, 1
    // refused (the viewer is then told with message 10). The shared area
    // follows on the desktop's next cycle.
    virtual int SetSW(int x, int y, const rfb::Point& at) = 0;
};

class HostPlatform {
public:
    virtual ~HostPlatform() = default;

    virtual std::unique_ptr<HostDesktop> MakeDesktop() = 0;
    // The "vnc server is created" event: reset before each start, set once
    // the session is set up, never at teardown (an auto-reset event set then
    // would answer the next start's wait).
    virtual void SignalServerEvent() = 0;
    virtual void ResetServerEvent() = 0;
    // Displays attached to the desktop, mirror drivers not counted.
    virtual int MonitorCount() = 0;
    // The OS class of the host (1 NT 5, 2 NT 6 and later, 3 NT 4, 4/5 9x).
    virtual int OsClass() = 0;
    // Whether this thread is on the input desktop. AccessDenied: the input
    // desktop cannot even be opened (a secure desktop the process may not
    // see); the session then goes on reading rather than waiting for it.
    enum class InputDesktop { Selected, AccessDenied, Elsewhere };
    virtual InputDesktop InputDesktopSelected() = 0;
    virtual bool AttachToInputDesktop() = 0;
    // The desktop the calling thread started on: remembered at the session's
    // set-up, attached again at its teardown.
    virtual void RememberThreadDesktop() = 0;
    virtual void RestoreThreadDesktop() = 0;
    virtual void RaiseThreadPriority() = 0;
    virtual uint32_t TickCount() = 0;
};
