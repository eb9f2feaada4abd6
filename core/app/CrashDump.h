#pragma once
// The crash dump: an unhandled exception writes "MiniDump.dmp" beside the log
// (the user's "%APPDATA%\Quenlore\LogFiles"), then the process ends.
#include <windows.h>

// Fixes the dump's path (done before any crash, so the filter itself does not
// need the shell) and installs CrashFilter.
void InstallCrashFilter();
// The path InstallCrashFilter chose; empty before.
const wchar_t* CrashDumpPath();

// Writes the dump, puts the desktop's visual effects back without announcing
// the change (no broadcast from a dying process), and returns
// EXCEPTION_EXECUTE_HANDLER so the process ends.
LONG WINAPI CrashFilter(EXCEPTION_POINTERS* pointers);
// A small dump (no full memory: that would hold passwords and session tokens).
void WriteMiniDump(EXCEPTION_POINTERS* pointers);
