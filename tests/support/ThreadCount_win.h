// How many threads this process has now: tests compare it before and after
// a meeting to show that no thread was left behind.
#pragma once

#include <windows.h>
#include <tlhelp32.h>

#include <cstddef>

inline size_t ThreadsOfThisProcess()
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return 0;
    THREADENTRY32 t{};
    t.dwSize = sizeof t;
    size_t n = 0;
    for (BOOL ok = Thread32First(snap, &t); ok; ok = Thread32Next(snap, &t))
        n += t.th32OwnerProcessID == GetCurrentProcessId();
    CloseHandle(snap);
    return n;
}
