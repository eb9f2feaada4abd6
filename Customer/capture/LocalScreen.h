// Local-screen measures while the host shares: closing a running screen
// saver, and desktop composition switched off for the session and back on
// after it (LocalScreen_win.cpp). Both take their quiet path where the
// screen-saver desktop or the composition library is missing.
#pragma once

#include <windows.h>

// Closes the screen saver's windows on the "Screen-saver" desktop, when one
// runs, and switches the screen saver on again.
void KillScreenSaver();

// Switches composition off for its lifetime when it was on (then waits
// 2000 ms for the change to settle) and back on at its end.
class CompositionOff {
public:
    CompositionOff();
    ~CompositionOff();
    CompositionOff(const CompositionOff&) = delete;
    CompositionOff& operator=(const CompositionOff&) = delete;

    // The library and both entry points were found.
    bool Available() const { return m_enable != nullptr; }
    bool SwitchedOff() const { return m_switchedOff; }

private:
    using IsEnabledFn = HRESULT(WINAPI*)(BOOL*);
    using EnableFn = HRESULT(WINAPI*)(UINT);

    HMODULE m_dwm = nullptr;
    EnableFn m_enable = nullptr;
    bool m_switchedOff = false;
};
