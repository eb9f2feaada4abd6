#pragma once
// What the control bar needs of the program: the user's roles, the program's
// messages, the take-back of control, the windows its buttons show and the
// host's tools. The program's manager implements it (core/app), so the bar
// never sees the manager.
#include "meeting/CtrlMenuLayout.h"

#include <windows.h>

class CtrlMenuContext {
public:
    virtual ~CtrlMenuContext() = default;

    virtual HINSTANCE Instance() const = 0;
    virtual BarRoles Roles() const = 0;
    // PostThreadMessage to the main thread.
    virtual void PostToProgram(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    // While this host shares and a participant holds control: control comes
    // back now (packet 11 under the send lock, holder and watch cleared);
    // false when there was nothing to take back.
    virtual bool TakeControlBack() = 0;
    // The local-input watch goes (main thread).
    virtual void RemoveInputWatch() = 0;

    virtual HWND TrayWindow() = 0;
    virtual bool RecordingAvailable() = 0;
    // Owner of the "no recorder" box (may be null).
    virtual HWND RecorderWindow() = 0;
    // The participant's viewer frame (null when none) and its full screen.
    virtual HWND ViewerFrame() = 0;
    virtual bool ViewerFullScreen() = 0;
    virtual void LeaveViewerFullScreen() = 0;
    virtual void StartAnnotation() = 0;
    virtual void StartWhiteboard() = 0;
};
