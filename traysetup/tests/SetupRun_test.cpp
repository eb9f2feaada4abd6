// Runs the real traysetup.exe under Wine against the user's Start-menu folder
// and a stand-in for a running Corvisk.
#include "traysetup/ProgramsFolder.h"
#include "traysetup/RunningProgram.h"
#include "tests/support/HostPath.h"

#include <windows.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

namespace {

std::string ProgramsPath(const std::string& name)
{
    char programs[MAX_PATH] = {};
    SHGetSpecialFolderPathA(nullptr, programs, CSIDL_PROGRAMS, TRUE);
    return std::string(programs) + "\\" + name;
}

bool IsDirectory(const std::string& path)
{
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void MakeFolderWithFile(const std::string& name)
{
    std::string dir = ProgramsPath(name);
    CreateDirectoryA(dir.c_str(), nullptr);
    HANDLE f = CreateFileA((dir + "\\Corvisk.lnk").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    CloseHandle(f);
    ASSERT_TRUE(IsDirectory(dir));
}

struct Process {
    PROCESS_INFORMATION pi = {};
    bool started = false;
    ~Process()
    {
        if (started) {
            TerminateProcess(pi.hProcess, 1);
            CloseHandle(pi.hProcess);
            CloseHandle(pi.hThread);
        }
    }
    DWORD wait(DWORD ms = 20000)
    {
        DWORD code = 0xDEAD;
        if (WaitForSingleObject(pi.hProcess, ms) == WAIT_OBJECT_0)
            GetExitCodeProcess(pi.hProcess, &code);
        return code;
    }
};

void Start(Process& p, const std::string& exe, const std::string& args)
{
    std::string line = "\"" + HostToWinePath(exe) + "\" " + args;
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &p.pi))
        << line;
    p.started = true;
}

DWORD RunSetup(const std::string& args)
{
    Process p;
    Start(p, TRAYSETUP_EXE, args);
    return p.wait();
}

HWND WaitForTrayWindow()
{
    for (int i = 0; i < 200; ++i) {
        if (HWND h = FindTrayWindow())
            return h;
        Sleep(50);
    }
    return nullptr;
}

// The first process of a snapshot whose name contains "Corvisk", or 0.
DWORD FirstCorviskInSnapshot()
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return 0;
    DWORD pid = 0;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snap, &entry); more && !pid; more = Process32NextW(snap, &entry))
        if (std::wcsstr(entry.szExeFile, L"Corvisk"))
            pid = entry.th32ProcessID;
    CloseHandle(snap);
    return pid;
}

const char* kInstallFolder = "Quenlore Secure Parlemo";
const char* kUninstallFolder = "Vantrel Quenlore Secure Parlemo";

} // namespace

TEST(ProgramsFolder, DeletesOnlyAnExistingFolder)
{
    MakeFolderWithFile("Corvisk test folder");
    EXPECT_TRUE(DeleteProgramsFolder("Corvisk test folder"));
    EXPECT_FALSE(IsDirectory(ProgramsPath("Corvisk test folder")));
    EXPECT_FALSE(DeleteProgramsFolder("Corvisk test folder"));

    std::string file = ProgramsPath("Corvisk test file");
    HANDLE f = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    CloseHandle(f);
    EXPECT_FALSE(DeleteProgramsFolder("Corvisk test file"));
    EXPECT_NE(GetFileAttributesA(file.c_str()), INVALID_FILE_ATTRIBUTES);
    DeleteFileA(file.c_str());

    EXPECT_FALSE(DeleteProgramsFolder(std::string(400, 'x').c_str()));
}

TEST(SetupRun, InstallRemovesTheOldFolderAndExitsZero)
{
    MakeFolderWithFile(kInstallFolder);
    EXPECT_EQ(RunSetup("/install"), 0u);
    EXPECT_TRUE(IsDirectory(ProgramsPath(kInstallFolder))) << "a switch in other letter case does nothing";
    EXPECT_EQ(RunSetup("/Install trailing words"), 0u);
    EXPECT_FALSE(IsDirectory(ProgramsPath(kInstallFolder)));
    EXPECT_EQ(RunSetup("/Install"), 0u) << "a missing folder is no failure";
}

TEST(SetupRun, UninstallEndsTheRunningProgramAndRemovesTheFolder)
{
    MakeFolderWithFile(kUninstallFolder);
    Process corvisk;
    Start(corvisk, TRAY_DOUBLE_EXE, "");
    ASSERT_NE(WaitForTrayWindow(), nullptr);

    EXPECT_EQ(RunSetup("/Uninstall"), 0u);
    EXPECT_EQ(corvisk.wait(), static_cast<DWORD>(STILL_ACTIVE)) << "ended with the exit code it had";
    EXPECT_FALSE(IsDirectory(ProgramsPath(kUninstallFolder)));
}

TEST(SetupRun, UninstallWithoutTrayWindowEndsNothing)
{
    MakeFolderWithFile(kUninstallFolder);
    Process corvisk;
    Start(corvisk, TRAY_DOUBLE_EXE, "--no-window");
    Sleep(300);

    EXPECT_EQ(RunSetup("/Uninstall"), 0u);
    EXPECT_FALSE(IsDirectory(ProgramsPath(kUninstallFolder)));
    EXPECT_EQ(WaitForSingleObject(corvisk.pi.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "still running";
}

TEST(SetupRun, UninstallEndsOnlyTheFirstMatchingProcess)
{
    MakeFolderWithFile(kUninstallFolder);
    Process withTray, second;
    Start(withTray, TRAY_DOUBLE_EXE, "");
    Start(second, TRAY_DOUBLE_EXE, "--no-window");
    ASSERT_NE(WaitForTrayWindow(), nullptr);
    const DWORD first = FirstCorviskInSnapshot();
    ASSERT_TRUE(first == withTray.pi.dwProcessId || first == second.pi.dwProcessId) << first;

    EXPECT_EQ(RunSetup("/Uninstall"), 0u);
    Process& ended = first == withTray.pi.dwProcessId ? withTray : second;
    Process& spared = first == withTray.pi.dwProcessId ? second : withTray;
    EXPECT_EQ(ended.wait(), static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_EQ(WaitForSingleObject(spared.pi.hProcess, 500), static_cast<DWORD>(WAIT_TIMEOUT)) << "still running";
    EXPECT_FALSE(IsDirectory(ProgramsPath(kUninstallFolder)));
}
