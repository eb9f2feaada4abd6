#include "Customer/session/WinHost.h"

#include "Customer/capture/DisplayLayout.h"
#include "Customer/encode/HostLog.h"
#include "core/base/DesktopHandle.h"
#include "core/base/WinHandle.h"

#include <windows.h>

#include <cstring>
#include <utility>

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
        m_event.Reset(OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, L"vnc server is created"));
        if (!m_event)
            m_event.Reset(CreateEventW(nullptr, FALSE, FALSE, L"vnc server is created"));
    }
    WinHostPlatform(const WinHostPlatform&) = delete;
    WinHostPlatform& operator=(const WinHostPlatform&) = delete;

    std::unique_ptr<HostDesktop> MakeDesktop() override { return CreateWindowsDesktop(this); }
    void SignalServerEvent() override
    {
        if (m_event)
            SetEvent(m_event.get());
    }
    void ResetServerEvent() override
    {
        if (m_event)
            ResetEvent(m_event.get());
    }
    int MonitorCount() override { return CountDisplayMonitors(); }
    int OsClass() override { return ComputeServerOsClass(); }
    InputDesktop InputDesktopSelected() override
    {
        DesktopHandle input(OpenInputDesktop(0, FALSE, DESKTOP_READOBJECTS));
        if (!input)
            return GetLastError() == ERROR_ACCESS_DENIED ? InputDesktop::AccessDenied : InputDesktop::Elsewhere;
        const bool same = sameDesktopName(input.get(), GetThreadDesktop(GetCurrentThreadId()));
        return same ? InputDesktop::Selected : InputDesktop::Elsewhere;
    }
    bool AttachToInputDesktop() override
    {
        DesktopHandle input(OpenInputDesktop(0, FALSE, GENERIC_ALL));
        if (!input || !SetThreadDesktop(input.get()))
            return false;
        m_inputDesktop = std::move(input);
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
        if (m_inputDesktop && GetThreadDesktop(GetCurrentThreadId()) != m_inputDesktop.get())
            m_inputDesktop.Reset();
    }
    void RaiseThreadPriority() override { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST); }
    uint32_t TickCount() override { return GetTickCount(); }

private:
    WinHandle m_event;
    DesktopHandle m_inputDesktop;
    HDESK m_startDesktop = nullptr;
};

} // namespace

std::unique_ptr<HostPlatform> CreateWindowsHostPlatform()
{
    return std::make_unique<WinHostPlatform>();
}
