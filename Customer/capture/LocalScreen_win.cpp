#include "Customer/capture/LocalScreen.h"

#include "Customer/encode/HostLog.h"

#include <cwchar>
#include <string>

namespace {

constexpr DWORD kCompositionSettleMs = 2000;

BOOL CALLBACK CloseSaverWindow(HWND hwnd, LPARAM)
{
    wchar_t name[64] = {};
    if (GetClassNameW(hwnd, name, 64) && std::wcscmp(name, L"WindowsScreenSaverClass") == 0)
        PostMessageW(hwnd, WM_CLOSE, 0, 0);
    return TRUE;
}

} // namespace

void KillScreenSaver()
{
    HostLog(kHostLogDebugInfo, "KillScreenSaver...\n");
    HDESK saver = OpenDesktopW(L"Screen-saver", 0, FALSE, DESKTOP_READOBJECTS | DESKTOP_WRITEOBJECTS);
    if (!saver)
        return;
    HostLog(kHostLogDebugInfo, "Killing ScreenSaver\n");
    EnumDesktopWindows(saver, CloseSaverWindow, 0);
    CloseDesktop(saver);
    SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_SENDWININICHANGE);
}

CompositionOff::CompositionOff()
{
    wchar_t dir[MAX_PATH];
    const UINT n = GetSystemDirectoryW(dir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return;
    m_dwm = LoadLibraryW((std::wstring(dir) + L"\\dwmapi.dll").c_str());
    if (!m_dwm) {
        HostLog(kHostLogDebugInfo, "no composition library\n");
        return;
    }
    auto isEnabled = reinterpret_cast<IsEnabledFn>(reinterpret_cast<void*>(GetProcAddress(m_dwm, "DwmIsCompositionEnabled")));
    m_enable = reinterpret_cast<EnableFn>(reinterpret_cast<void*>(GetProcAddress(m_dwm, "DwmEnableComposition")));
    if (!isEnabled || !m_enable) {
        m_enable = nullptr;
        return;
    }
    BOOL on = FALSE;
    if (FAILED(isEnabled(&on)) || !on) {
        HostLog(kHostLogDebugInfo, "composition is off\n");
        return;
    }
    if (SUCCEEDED(m_enable(0))) {
        m_switchedOff = true;
        HostLog(kHostLogDebugInfo, "composition switched off\n");
        Sleep(kCompositionSettleMs);
    }
}

CompositionOff::~CompositionOff()
{
    if (m_switchedOff && m_enable)
        m_enable(1);
    if (m_dwm)
        FreeLibrary(m_dwm);
}
