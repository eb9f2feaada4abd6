#include "Customer/session/WinHost.h"

#include "Customer/capture/DisplayLayout.h"
#include "Customer/encode/HostLog.h"

#include <windows.h>

#include <cstring>

namespace {

bool sameDesktopName(HDESK a, HDESK b)
{
    char na[256] = {}, nb[256] = {};
    DWORD len = 0;
    if (!GetUserObjectInformationA(a, UOI_NAME, na, sizeof na - 1, &len) ||
        !GetUserObjectInformationA(b, UOI_NAME, nb, sizeof nb - 1, &len))
        return false;
    return std::strcmp(na, nb) == 0;
}

class WinHostPlatform : public HostPlatform {
public:
    WinHostPlatform()
    {
        // The manager made the event at start-up; a server started without it
        // makes its own so the signals still have somewhere to go.
        m_event = OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, L"vnc server is created");
        if (!m_event)
            m_event = CreateEventW(nullptr, FALSE, FALSE, L"vnc server is created");
    }
    ~WinHostPlatform() override
    {
        if (m_event)
            CloseHandle(m_event);
        if (m_inputDesktop)
            CloseDesktop(m_inputDesktop);
    }
    WinHostPlatform(const WinHostPlatform&) = delete;
    WinHostPlatform& operator=(const WinHostPlatform&) = delete;

    std::unique_ptr<HostDesktop> MakeDesktop() override { return CreateWindowsDesktop(); }
    void SignalServerEvent() override
    {
        if (m_event)
            SetEvent(m_event);
    }
    void ResetServerEvent() override
    {
        if (m_event)
            ResetEvent(m_event);
    }
    int MonitorCount() override { return CountDisplayMonitors(); }
    int OsClass() override { return ComputeServerOsClass(); }
    InputDesktop InputDesktopSelected() override
    {
        HDESK input = OpenInputDesktop(0, FALSE, DESKTOP_READOBJECTS);
        if (!input)
            return GetLastError() == ERROR_ACCESS_DENIED ? InputDesktop::AccessDenied : InputDesktop::Elsewhere;
        const bool same = sameDesktopName(input, GetThreadDesktop(GetCurrentThreadId()));
        CloseDesktop(input);
        return same ? InputDesktop::Selected : InputDesktop::Elsewhere;
    }
    bool AttachToInputDesktop() override
    {
        HDESK input = OpenInputDesktop(0, FALSE, GENERIC_ALL);
        if (!input)
            return false;
        if (!SetThreadDesktop(input)) {
            CloseDesktop(input);
            return false;
        }
        if (m_inputDesktop)
            CloseDesktop(m_inputDesktop);
        m_inputDesktop = input;
        return true;
    }
    // GetThreadDesktop's handle is the system's and is never closed.
    void RememberThreadDesktop() override { m_startDesktop = GetThreadDesktop(GetCurrentThreadId()); }
    void RestoreThreadDesktop() override
    {
        if (!m_startDesktop)
            return;
        if (GetThreadDesktop(GetCurrentThreadId()) != m_startDesktop && !SetThreadDesktop(m_startDesktop))
            HostLog(kHostLogError, "could not return to the thread's own desktop(%lu)\n", GetLastError());
        if (m_inputDesktop && GetThreadDesktop(GetCurrentThreadId()) != m_inputDesktop) {
            CloseDesktop(m_inputDesktop);
            m_inputDesktop = nullptr;
        }
    }
    void RaiseThreadPriority() override { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST); }
    uint32_t TickCount() override { return GetTickCount(); }

private:
    HANDLE m_event = nullptr;
    HDESK m_inputDesktop = nullptr;
    HDESK m_startDesktop = nullptr;
};

} // namespace

std::unique_ptr<HostPlatform> CreateWindowsHostPlatform()
{
    return std::make_unique<WinHostPlatform>();
}
