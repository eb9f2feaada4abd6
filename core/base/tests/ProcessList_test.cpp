#include "core/base/ProcessList.h"
#include "core/base/SessionUserName.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::string OwnExeName()
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string p(path, n);
    return p.substr(p.find_last_of('\\') + 1);
}

std::vector<DWORD> ShellPids()
{
    std::vector<DWORD> pids;
    CProcessList list;
    list.Enumerate([&](DWORD pid, WORD, const char* path) {
        if (CProcessList::ImageNameMatches(path, "explorer.exe"))
            pids.push_back(pid);
        return true;
    });
    return pids;
}

bool ThreadImpersonates()
{
    HANDLE token = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token))
        return false;
    CloseHandle(token);
    return true;
}

// Copies of the idle program named "EXPLORER.EXE" (other case on purpose),
// each in its own folder; ended and removed at the end of the test.
class FakeShells {
public:
    explicit FakeShells(int count)
    {
        char tmp[MAX_PATH];
        GetTempPathA(MAX_PATH, tmp);
        std::string idle = OwnFolder() + CORVISK_TEST_IDLE_EXE;
        for (int i = 0; i < count; ++i) {
            std::string dir = std::string(tmp) + "corvisk-shell-" +
                              std::to_string(GetCurrentProcessId()) + "-" + std::to_string(i);
            CreateDirectoryA(dir.c_str(), nullptr);
            std::string exe = dir + "\\EXPLORER.EXE";
            m_dirs.push_back(dir);
            m_exes.push_back(exe);
            if (!CopyFileA(idle.c_str(), exe.c_str(), FALSE))
                continue;
            STARTUPINFOA si = {};
            si.cb = sizeof si;
            PROCESS_INFORMATION pi = {};
            std::string cmd = "\"" + exe + "\"";
            if (CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr,
                               nullptr, &si, &pi)) {
                CloseHandle(pi.hThread);
                m_processes.push_back(pi.hProcess);
                m_pids.push_back(pi.dwProcessId);
            }
        }
    }
    ~FakeShells()
    {
        for (HANDLE h : m_processes) {
            TerminateProcess(h, 0);
            WaitForSingleObject(h, 5000);
            CloseHandle(h);
        }
        for (const auto& e : m_exes)
            DeleteFileA(e.c_str());
        for (const auto& d : m_dirs)
            RemoveDirectoryA(d.c_str());
    }
    FakeShells(const FakeShells&) = delete;
    FakeShells& operator=(const FakeShells&) = delete;

    const std::vector<DWORD>& Pids() const { return m_pids; }

private:
    static std::string OwnFolder()
    {
        char path[MAX_PATH];
        DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
        std::string p(path, n);
        return p.substr(0, p.find_last_of('\\') + 1);
    }

    std::vector<std::string> m_dirs, m_exes;
    std::vector<HANDLE> m_processes;
    std::vector<DWORD> m_pids;
};

} // namespace

TEST(ProcessList, ImageNameMatching)
{
    const struct {
        const char* path;
        bool match;
    } cases[] = {
        {"C:\\Windows\\explorer.exe", true},
        {"C:\\Windows\\EXPLORER.EXE", true},
        {"\\Device\\HarddiskVolume2\\Windows\\Explorer.exe", true},
        {"explorer.exe", true},
        {"C:\\Windows\\notexplorer.exe", false},
        {"C:\\explorer.exe\\other.exe", false},
        {"C:\\Windows\\explorer.exe.bak", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CProcessList::ImageNameMatches(c.path, "explorer.exe"), c.match) << c.path;
}

TEST(ProcessList, EnumerationFindsThisProcess)
{
    CProcessList list;
    const DWORD self = GetCurrentProcessId();
    std::string ownPath;
    int visited = 0;
    EXPECT_EQ(list.Enumerate([&](DWORD pid, WORD task, const char* path) {
                  ++visited;
                  EXPECT_EQ(task, 0);
                  if (pid == self)
                      ownPath = path;
                  return true;
              }),
              1);
    EXPECT_GT(visited, 1);
    EXPECT_TRUE(CProcessList::ImageNameMatches(ownPath.c_str(), OwnExeName().c_str())) << ownPath;

    ASSERT_EQ(list.FindProcess(OwnExeName().c_str()), 1);
    EXPECT_EQ(list.FoundProcessId(), self);
    EXPECT_EQ(list.FindProcess("no-such-program.exe"), 0);

    // A visitor's stop ends the enumeration.
    int calls = 0;
    list.Enumerate([&](DWORD, WORD, const char*) { return ++calls < 2; });
    EXPECT_EQ(calls, 2);
}

// Wine runs its own explorer.exe only while some program has a window, so
// whether one runs here is not fixed: the result must agree with the list.
TEST(ProcessList, ImpersonationFollowsWhetherAShellRuns)
{
    bool shellRuns = !ShellPids().empty();
    CProcessList list;
    int got = list.ImpersonateExplorerUser();
    if (!shellRuns && got == 0) {
        EXPECT_FALSE(ThreadImpersonates());
    } else {
        EXPECT_EQ(got, 1);
        EXPECT_TRUE(ThreadImpersonates());
        EXPECT_EQ(list.RevertImpersonation(), 1);
    }
    EXPECT_FALSE(ThreadImpersonates());
}

// With two shell processes the first one of this session is used: the same
// one whose user the session's user name comes from. (Under Wine every
// process is in one session; FindSessionShell's table covers the others.)
TEST(ProcessList, ImpersonatesTheFirstShellMet)
{
    FakeShells shells(2);
    ASSERT_EQ(shells.Pids().size(), 2u);
    std::vector<DWORD> order;
    for (int i = 0; i < 100; ++i) {
        order = ShellPids();
        if (order.size() >= 2)
            break;
        Sleep(50);
    }
    ASSERT_GE(order.size(), 2u);

    {
        CProcessList list;
        ASSERT_EQ(list.ImpersonateExplorerUser(), 1);
        EXPECT_EQ(list.FoundProcessId(), SessionShellProcessId());
        EXPECT_NE(std::find(order.begin(), order.end(), list.FoundProcessId()), order.end());
        EXPECT_TRUE(ThreadImpersonates());
        EXPECT_EQ(list.RevertImpersonation(), 1);
        EXPECT_FALSE(ThreadImpersonates());
    }
    {
        // Leaving the scope without reverting still gives the identity back.
        CProcessList list;
        ASSERT_EQ(list.ImpersonateExplorerUser(), 1);
    }
    EXPECT_FALSE(ThreadImpersonates());
}
