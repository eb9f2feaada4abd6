#include "traysetup/RunningProgram.h"

#include <tlhelp32.h>

#include <cwchar>

namespace {

BOOL CALLBACK EnumTrayWindowProc(HWND hwnd, LPARAM lParam)
{
    if (reinterpret_cast<UINT_PTR>(GetPropA(hwnd, TRAY_PROPERTY_NAME)) == TRAY_PROPERTY_VALUE) {
        *reinterpret_cast<HWND*>(lParam) = hwnd;
        return FALSE;
    }
    return TRUE;
}

class ScopedHandle {
public:
    explicit ScopedHandle(HANDLE h) : m_h(h) {}
    ~ScopedHandle()
    {
        if (m_h && m_h != INVALID_HANDLE_VALUE)
            CloseHandle(m_h);
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    HANDLE get() const { return m_h; }
    bool valid() const { return m_h && m_h != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_h;
};

DWORD FindProgramProcess()
{
    ScopedHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.valid())
        return 0;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    DWORD self = GetCurrentProcessId();
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID != self && std::wcsstr(entry.szExeFile, L"Corvisk"))
            return entry.th32ProcessID;
    }
    return 0;
}

} // namespace

HWND FindTrayWindow()
{
    HWND found = nullptr;
    EnumWindows(EnumTrayWindowProc, reinterpret_cast<LPARAM>(&found));
    return found;
}

DWORD KillRunningProgram()
{
    DWORD pid = FindProgramProcess();
    if (!pid)
        return 0;
    ScopedHandle process(OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid));
    if (!process.valid())
        return 0;
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    return TerminateProcess(process.get(), code) ? pid : 0;
}
