#include "Customer/input/CtrlAltDel.h"

#include "Customer/capture/OsVersionGlobals.h"
#include "Customer/encode/HostLog.h"
#include "core/base/SessionUserName.h"
#include "core/base/WinHandle.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>

namespace {

// TOKEN_QUERY | DUPLICATE | ASSIGN_PRIMARY | IMPERSONATE | ADJUST_PRIVILEGES
// | ADJUST_GROUPS | ADJUST_DEFAULT | ADJUST_SESSIONID | READ_CONTROL.
constexpr DWORD kShellTokenAccess = 0x201EB;

bool StartAsShellUser(unsigned long* processId)
{
    const uint32_t shell = FindConsoleSessionExplorer();
    if (shell == 0)
        return false;
    WinHandle process(OpenProcess(MAXIMUM_ALLOWED, FALSE, shell));
    if (!process)
        return false;
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(process.get(), kShellTokenAccess, &rawToken))
        return false;
    WinHandle token(rawToken);
    char path[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, path, CSIDL_SYSTEM, FALSE))
        return false;
    static const char kTaskManager[] = "\\taskmgr.exe";
    const size_t len = std::strlen(path);
    if (len + sizeof kTaskManager > 256)
        return false;
    std::memcpy(path + len, kTaskManager, sizeof kTaskManager);
    char desktop[] = "Winsta0\\Default";
    STARTUPINFOA si;
    std::memset(&si, 0, sizeof si);
    si.cb = sizeof si;
    si.lpDesktop = desktop;
    PROCESS_INFORMATION pi;
    std::memset(&pi, 0, sizeof pi);
    if (!CreateProcessAsUserA(token.get(), path, nullptr, nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                              nullptr, &si, &pi))
        return false;
    WinHandle newProcess(pi.hProcess), newThread(pi.hThread);
    if (processId)
        *processId = pi.dwProcessId;
    return true;
}

bool StartThroughShell(unsigned long* processId)
{
    SHELLEXECUTEINFOA info;
    std::memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.hwnd = GetDesktopWindow();
    info.lpVerb = "open";
    info.lpFile = "taskmgr.exe";
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExA(&info))
        return false;
    WinHandle process(info.hProcess);
    if (processId && process)
        *processId = GetProcessId(process.get());
    return true;
}

DWORD WINAPI TaskManagerThread(void*)
{
    StartTaskManager(false, nullptr);
    return 0;
}

} // namespace

TaskManagerStart StartTaskManager(bool asLoggedOnUser, unsigned long* processId)
{
    if (asLoggedOnUser && StartAsShellUser(processId))
        return TaskManagerStart::AsLoggedOnUser;
    if (StartThroughShell(processId))
        return TaskManagerStart::ThroughShell;
    HostLog(kHostLogError, "could not start Task Manager (%lu)\n", GetLastError());
    return TaskManagerStart::Failed;
}

bool GenerateCtrlAltDel()
{
    HostLog(kHostLogInfo, "preparing to generate ctrl-alt-del\n");
    if (g_platformId == VER_PLATFORM_WIN32_WINDOWS)
        return true;
    HostLog(kHostLogInfo, "spawn ctrl-alt-del thread...\n");
    WinHandle thread(CreateThread(nullptr, 0, TaskManagerThread, nullptr, 0, nullptr));
    return static_cast<bool>(thread);
}
