// Finds the desktop shell ("explorer.exe") and lets the calling thread act as
// the user who runs it, e.g. to reach that user's certificate store.
#pragma once

#include "core/base/WinHandle.h"

#include <windows.h>

#include <functional>

// One object per search, on the caller's stack:
// ImpersonateExplorerUser, the work, RevertImpersonation, all on one thread.
class CProcessList {
public:
    // Gets (process id, 16-bit task id (always 0 here), executable path or
    // file name, "" when unknown); returns false to stop the enumeration.
    using Visitor = std::function<bool(DWORD pid, WORD task, const char* path)>;

    CProcessList() = default;
    // Reverts a still active impersonation of this thread.
    ~CProcessList();
    CProcessList(const CProcessList&) = delete;
    CProcessList& operator=(const CProcessList&) = delete;

    // Visits every process in the system's order. 0 when the list cannot be had.
    int Enumerate(const Visitor& visit);
    // 1 when a process whose file name is `imageName` (case-insensitive) was
    // found; the first one met wins. Its id is then FoundProcessId().
    int FindProcess(const char* imageName);
    DWORD FoundProcessId() const { return m_foundPid; }

    // 1 when the calling thread now impersonates the user of this session's
    // shell (the first "explorer.exe" of this session, FoundProcessId());
    // 0 when none runs here or its token cannot be had.
    int ImpersonateExplorerUser();
    // RevertToSelf's result; releases the shell's token and process handle.
    int RevertImpersonation();

    // The part of `path` after its last "\" (all of it when there is none)
    // equals `name`, ignoring case.
    static bool ImageNameMatches(const char* path, const char* name);

private:
    DWORD m_foundPid = 0;
    WinHandle m_process;
    WinHandle m_token;
    bool m_impersonating = false;
};
