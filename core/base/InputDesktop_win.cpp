#include "core/base/InputDesktop.h"

#include "core/base/DHLog.h"
#include "core/base/DesktopHandle.h"
#include "core/base/DesktopSelect_win.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

// DESKTOP_READOBJECTS | CREATEWINDOW | CREATEMENU | HOOKCONTROL |
// JOURNALRECORD | JOURNALPLAYBACK | ENUMERATE | WRITEOBJECTS | GENERIC_WRITE.
constexpr ACCESS_MASK kInputDesktopAccess = 0x400001CF;

void Log(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Log(int level, const char* format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    DHLog::Instance().Print(DHLOG_CAT_SHARING, level, false, "%s", line);
}

bool DesktopName(HDESK desktop, char (&name)[256])
{
    DWORD needed = 0;
    std::memset(name, 0, sizeof name);
    return GetUserObjectInformationA(desktop, UOI_NAME, name, sizeof name - 1, &needed) != 0;
}

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
        if (m_desktop && !CloseDesktop(m_desktop))
            Log(2, "SelectHDESK failed to close old desktop %p (Err=%lu)\n", static_cast<void*>(m_desktop),
                GetLastError());
        m_desktop = desktop;
        return true;
    }

private:
    HDESK m_desktop = nullptr;
};

thread_local ThreadDesktop t_desktop;

} // namespace

int SelectHDESK(HDESK desktop)
{
    char name[256];
    if (!DesktopName(desktop, name)) {
        CloseDesktop(desktop);
        return 0;
    }
    HDESK old = GetThreadDesktop(GetCurrentThreadId());
    Log(7, "SelectHDESK to %s (%p) from %p\n", name, static_cast<void*>(desktop), static_cast<void*>(old));
    return t_desktop.SwitchTo(desktop) ? 1 : 0;
}

int SelectDesktop(const char* name)
{
    Log(7, "SelectDesktop \n");
    HDESK desktop;
    if (name) {
        Log(7, "OpenInputdesktop2 named\n");
        desktop = OpenDesktopA(name, 0, FALSE, kInputDesktopAccess);
    } else {
        Log(7, "OpenInputdesktop2 NULL\n");
        desktop = OpenInputDesktop(0, FALSE, kInputDesktopAccess);
    }
    if (!desktop) {
        Log(7, "OpenInputdesktop2 \n");
        return 0;
    }
    Log(7, "OpenInputdesktop2 OK\n");
    return SelectHDESK(desktop);
}

int SelectInputDesktop()
{
    return SelectDesktop(nullptr);
}

int InputDesktopSelected(OpenInputDesktopCall open, DWORD* openError)
{
    if (openError)
        *openError = 0;
    DesktopHandle input(open(0, FALSE, kInputDesktopAccess));
    if (!input) {
        const DWORD error = GetLastError();
        if (openError)
            *openError = error;
        if (error == ERROR_BUSY)
            return 1;
        Log(7, "Desktop input error\n");
        return 0;
    }
    char own[256], current[256];
    if (!DesktopName(GetThreadDesktop(GetCurrentThreadId()), own) || !DesktopName(input.get(), current))
        return 0;
    return std::strcmp(own, current) == 0 ? 1 : 0;
}
