#include "Customer/session/WinHost.h"

#include "Customer/capture/DisplayLayout.h"
#include "Customer/encode/HostLog.h"
#include "core/base/DesktopSelect_win.h"
#include "core/base/WinHandle.h"

#include <windows.h>


namespace {

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
        DWORD openError = 0;
        if (::InputDesktopSelected(OpenInputDesktop, &openError))
            return InputDesktop::Selected;
        return openError == ERROR_ACCESS_DENIED ? InputDesktop::AccessDenied : InputDesktop::Elsewhere;
    }
    bool AttachToInputDesktop() override { return SelectDesktop(nullptr) == 1; }
    // GetThreadDesktop's handle is the system's and is never closed.
    void RememberThreadDesktop() override { m_startDesktop = GetThreadDesktop(GetCurrentThreadId()); }
    void RestoreThreadDesktop() override
    {
        if (!m_startDesktop)
            return;
        if (GetThreadDesktop(GetCurrentThreadId()) != m_startDesktop && !SetThreadDesktop(m_startDesktop))
            HostLog(kHostLogError, "could not return to the thread's own desktop(%lu)\n", GetLastError());
    }
    void RaiseThreadPriority() override { SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST); }
    uint32_t TickCount() override { return GetTickCount(); }

private:
    WinHandle m_event;
    HDESK m_startDesktop = nullptr;
};

} // namespace

std::unique_ptr<HostPlatform> CreateWindowsHostPlatform()
{
    return std::make_unique<WinHostPlatform>();
}
