#include "core/base/InputDesktop.h"

#include <windows.h>

namespace {

// DESKTOP_READOBJECTS | CREATEWINDOW | CREATEMENU | HOOKCONTROL |
// JOURNALRECORD | JOURNALPLAYBACK | ENUMERATE | WRITEOBJECTS | GENERIC_WRITE.
constexpr ACCESS_MASK kInputDesktopAccess = 0x400001CF;

// The desktop this module set on the current thread. A handle a thread uses
// cannot be closed, so the one replaced is closed after each switch; the one
// in use when the thread ends goes with the thread, which closes its desktop
// handle.
class ThreadDesktop {
public:
    ThreadDesktop() = default;
    ThreadDesktop(const ThreadDesktop&) = delete;
    ThreadDesktop& operator=(const ThreadDesktop&) = delete;
    ~ThreadDesktop()
    {
        // Someone else moved the thread on since: ours is idle.
        if (m_desktop && GetThreadDesktop(GetCurrentThreadId()) != m_desktop)
            CloseDesktop(m_desktop);
    }

    // Switches the thread to desktop; takes it on success, closes it on failure.
    bool SwitchTo(HDESK desktop)
    {
        if (!SetThreadDesktop(desktop)) {
            CloseDesktop(desktop);
            return false;
        }
        if (m_desktop)
            CloseDesktop(m_desktop);
        m_desktop = desktop;
        return true;
    }

private:
    HDESK m_desktop = nullptr;
};

thread_local ThreadDesktop t_desktop;

} // namespace

int SelectInputDesktop()
{
    HDESK desktop = OpenInputDesktop(0, FALSE, kInputDesktopAccess);
    if (!desktop)
        return 0;
    char name[256];
    DWORD needed = 0;
    if (!GetUserObjectInformationA(desktop, UOI_NAME, name, sizeof name, &needed)) {
        CloseDesktop(desktop);
        return 0;
    }
    return t_desktop.SwitchTo(desktop) ? 1 : 0;
}
