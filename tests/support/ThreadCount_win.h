// How many threads this process has now: tests compare it before and after
// a meeting to show that no thread was left behind.
#pragma once

#include "tests/support/CodePlace_win.h"

#include <windows.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <cstddef>
#include <cstdio>
#include <string>

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

// Where each thread of this process started ("module+offset" per thread), so
// a failed count names the thread that stayed.
inline std::string ThreadStartsOfThisProcess()
{
    using QueryThread = LONG(WINAPI*)(HANDLE, THREADINFOCLASS, PVOID, ULONG, PULONG);
    auto query = reinterpret_cast<QueryThread>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
    if (!query)
        return {};
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return {};
    std::string out;
    THREADENTRY32 t{};
    t.dwSize = sizeof t;
    for (BOOL ok = Thread32First(snap, &t); ok; ok = Thread32Next(snap, &t)) {
        if (t.th32OwnerProcessID != GetCurrentProcessId())
            continue;
        void* start = nullptr;
        if (HANDLE h = OpenThread(THREAD_QUERY_INFORMATION, FALSE, t.th32ThreadID)) {
            query(h, static_cast<THREADINFOCLASS>(9), &start, sizeof start, nullptr);  // its Win32 start address
            CloseHandle(h);
        }
        char line[32];
        snprintf(line, sizeof line, "%04lx ", static_cast<unsigned long>(t.th32ThreadID));
        out += line + CodePlace(start) + "\n";
    }
    CloseHandle(snap);
    return out;
}
