// The session user under Wine: the Linux user, whether it is read from the
// shell's token or from the process itself.
#include "core/base/SessionUserName.h"

#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring ProcessUserName()
{
    wchar_t name[260];
    DWORD len = 260;
    return GetUserNameW(name, &len) ? std::wstring(name) : std::wstring();
}

bool ShellRunsInThisSession()
{
    DWORD own = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &own);
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W e;
    e.dwSize = sizeof e;
    bool found = false;
    for (BOOL ok = Process32FirstW(snap, &e); ok && !found; ok = Process32NextW(snap, &e)) {
        DWORD session = 0;
        found = lstrcmpiW(e.szExeFile, L"explorer.exe") == 0 && ProcessIdToSessionId(e.th32ProcessID, &session) &&
                session == own;
    }
    CloseHandle(snap);
    return found;
}

TEST(GetSessionUserName, IsTheProcessUser)
{
    std::wstring expected = ProcessUserName();
    ASSERT_FALSE(expected.empty());
    std::wstring name = L"unchanged";
    EXPECT_EQ(GetSessionUserName(name), 1);
    EXPECT_EQ(name, expected);
}

// Wine starts its shell (explorer.exe, the desktop window's process) with the
// first window; the name then comes from that process's token.
TEST(GetSessionUserName, ReadsTheShellUserWhileAShellRuns)
{
    HWND window = CreateWindowExW(0, L"STATIC", L"shell start", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    if (!window)
        GTEST_SKIP() << "no display for a window, so no shell";
    for (int i = 0; i < 100 && !ShellRunsInThisSession(); ++i)
        Sleep(50);
    DestroyWindow(window);
    ASSERT_TRUE(ShellRunsInThisSession());

    std::wstring shellUser;
    ASSERT_EQ(GetShellUserName(shellUser), 1);
    EXPECT_EQ(shellUser, ProcessUserName());
    std::wstring name;
    EXPECT_EQ(GetSessionUserName(name), 1);
    EXPECT_EQ(name, shellUser);
}

} // namespace
