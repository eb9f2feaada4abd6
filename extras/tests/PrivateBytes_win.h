// The process's private bytes (its commit charge) as GetProcessMemoryInfo
// gives them, for the checks and benchmarks that a large file is never held.
// PagefileUsage is read: Wine fills it from the process's anonymous and
// swapped pages but leaves the extended form's PrivateUsage at 0, and on
// Windows the two are the same figure.
#pragma once

#include <windows.h>
#include <psapi.h>

inline SIZE_T PrivateBytes()
{
    PROCESS_MEMORY_COUNTERS m{};
    m.cb = sizeof(m);
    return GetProcessMemoryInfo(GetCurrentProcess(), &m, sizeof(m)) ? m.PagefileUsage : 0;
}
