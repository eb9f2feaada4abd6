// The per-user installation under Wine, by starting the real Corvisk.exe in
// the test's prefix: what the first start writes (files, uninstall entry and
// scripts, shortcuts, link scheme) and what later starts do.
#include "core/app/InstallLayout.h"
#include "core/app/SingleInstance.h"
#include "core/app/res/resource.h"
#include "core/base/Registry.h"
#include "tests/support/WindowTest_win.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quenlore Secure Parlemo";

std::string Folder(int csidl)
{
    char path[MAX_PATH] = "";
    SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE);
    return path;
}

std::string TestDir()
{
    char self[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string dir(self, n);
    return dir.substr(0, dir.find_last_of('\\') + 1);
}

const std::string kAppData = Folder(CSIDL_APPDATA);
const std::string kInstall = kAppData + "\\Quenlore\\Parlemo";
const std::string kInstalled = kInstall + "\\Corvisk.exe";
const std::string kStartMenu = Folder(CSIDL_PROGRAMS) + "\\Vantrel Quenlore Secure Parlemo";
const std::string kOldStartMenu = Folder(CSIDL_PROGRAMS) + "\\Quenlore Secure Parlemo";

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void RemoveTree(const std::string& folder)
{
    std::string from = folder;
    from.push_back('\0');
    SHFILEOPSTRUCTA op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    SHFileOperationA(&op);
}

std::string ReadValue(HKEY hive, const char* key, const char* name)
{
    char value[1024] = "";
    DWORD size = sizeof(value);
    if (RegGetValueA(hive, key, name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return "<missing>";
    return value;
}

// Nothing of an earlier installation left.
void Uninstalled()
{
    SetFileAttributesA(kInstalled.c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveTree(kInstall);
    RemoveTree(kStartMenu);
    RemoveTree(kOldStartMenu);
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Quenlore");
    RegDeleteTreeA(HKEY_CURRENT_USER, kUninstallKey);
    RegDeleteTreeA(HKEY_CLASSES_ROOT, "parlemo");
}

struct Search {
    DWORD pid;
    HWND tray = nullptr;
    std::vector<HWND> boxes;
};

BOOL CALLBACK FindWindows(HWND hwnd, LPARAM lParam)
{
    auto* s = reinterpret_cast<Search*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != s->pid)
        return TRUE;
    if (reinterpret_cast<UINT_PTR>(GetPropA(hwnd, TRAY_PROPERTY_NAME)) == TRAY_PROPERTY_VALUE)
        s->tray = hwnd;
    wchar_t cls[16] = L"";
    GetClassNameW(hwnd, cls, 16);
    // A message box: a dialog with the static text 0xFFFF.
    if (std::wstring(cls) == L"#32770" && IsWindowVisible(hwnd) && GetDlgItem(hwnd, 0xFFFF))
        s->boxes.push_back(hwnd);
    return TRUE;
}

struct StartResult {
    bool reachedTray = false;
    bool ended = false;
    std::vector<std::wstring> boxes;
};

// Starts the program, answers its message boxes (the first one is saved as
// a picture), waits for its tray window and ends it through the tray's Exit.
StartResult Start(const std::string& exe, const wchar_t* shotName = nullptr)
{
    StartResult result;
    std::string cmd = "\"" + exe + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return result;
    for (int waited = 0; waited < 30000 && !result.reachedTray; waited += 50) {
        if (WaitForSingleObject(pi.hProcess, 50) == WAIT_OBJECT_0)
            break;
        Search s{pi.dwProcessId};
        EnumWindows(FindWindows, reinterpret_cast<LPARAM>(&s));
        for (HWND box : s.boxes) {
            Sleep(200);
            result.boxes.push_back(wintest::ControlText(box, 0xFFFF));
            if (shotName && result.boxes.size() == 1)
                EXPECT_FALSE(wintest::SaveScreenshot(box, shotName, L"box").empty());
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
        if (s.tray) {
            result.reachedTray = true;
            PostMessageW(s.tray, WM_COMMAND, IDM_TRAY_EXIT, 0);
        }
    }
    result.ended = WaitForSingleObject(pi.hProcess, 20000) == WAIT_OBJECT_0;
    if (!result.ended)
        TerminateProcess(pi.hProcess, 99);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return result;
}

const std::string kProgram = TestDir() + "Corvisk.exe";

bool SchemeRegistered()
{
    return wintest::WaitFor([] { return ReadValue(HKEY_CLASSES_ROOT, "parlemo", nullptr) != "<missing>"; }, 15000);
}

struct Link {
    std::string path, folder;
};

Link ReadLink(const std::string& file)
{
    Link out{"<unreadable>", ""};
    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link))))
        return out;
    IPersistFile* persist = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)))) {
        std::wstring wide(file.begin(), file.end());
        if (SUCCEEDED(persist->Load(wide.c_str(), STGM_READ))) {
            char path[MAX_PATH] = "", folder[MAX_PATH] = "";
            link->GetPath(path, MAX_PATH, nullptr, 0);
            link->GetWorkingDirectory(folder, MAX_PATH);
            out = {path, folder};
        }
        persist->Release();
    }
    link->Release();
    return out;
}

class SelfInstall : public ::testing::Test {
protected:
    static void SetUpTestSuite() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    void SetUp() override { Uninstalled(); }
    void TearDown() override { Uninstalled(); }
};

} // namespace

TEST_F(SelfInstall, FirstStartInstallsForTheUser)
{
    CreateDirectoryA(kOldStartMenu.c_str(), nullptr);
    StartResult run = Start(kProgram);
    ASSERT_TRUE(run.reachedTray);
    EXPECT_TRUE(run.ended);
    EXPECT_TRUE(run.boxes.empty());

    EXPECT_EQ(ReadFile(kInstalled), ReadFile(kProgram));
    EXPECT_TRUE(Exists(kInstall + "\\lang"));
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, kSettingsKey, "version"), "8.0.0.6");
    DWORD status = 99;
    EXPECT_TRUE(RegReadDword(kSettingsKey, "status", status));
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, kOptionsKey, "i18n"), "Default");

    struct Value {
        const char* name;
        std::string value;
    } values[] = {
        {"DisplayName", "Vantrel Quenlore Secure Parlemo"},
        {"UninstallString", kInstall + "\\Uninstall.bat"},
        {"DisplayIcon", kInstalled},
        {"DisplayVersion", "8.0.0.6"},
        {"URLInfoAbout", "https://www.vantrel.example/"},
        {"Publisher", "Vantrel Inc."},
    };
    for (const Value& v : values)
        EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, kUninstallKey, v.name), v.value) << v.name;

    UninstallPaths paths{kAppData, kInstall, kInstalled, kStartMenu};
    EXPECT_EQ(ReadFile(kInstall + "\\Uninstall.bat"), UninstallBatchText(paths));
    EXPECT_TRUE(GetFileAttributesA((kInstall + "\\Uninstall.bat").c_str()) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(ReadFile(kInstall + "\\Uninstall.vbs"), "createobject(\"wscript.shell\").run \"Uninstall.bat\",5");

    Link program = ReadLink(kStartMenu + "\\Vantrel Quenlore Secure Parlemo.lnk");
    EXPECT_EQ(program.path, kInstalled);
    Link uninstall = ReadLink(kStartMenu + "\\Uninstall.lnk");
    EXPECT_EQ(uninstall.path, kInstall + "\\Uninstall.vbs");
    // The script runs "Uninstall.bat" by a relative name.
    EXPECT_EQ(uninstall.folder, kInstall);
    EXPECT_FALSE(Exists(kOldStartMenu));

    ASSERT_TRUE(SchemeRegistered());
    EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, "parlemo", nullptr), "URL:parlemo Parlemo Protocol");
    EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, "parlemo", "URL Protocol"), "");
    EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, "parlemo\\DefaultIcon", nullptr), "\"" + kInstalled + "\"");
    EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, "parlemo\\shell\\open\\command", nullptr),
              "\"" + kInstalled + "\" \"%1\"");
}

TEST_F(SelfInstall, LaterStartOfTheSameVersionOnlyChoosesTheLanguage)
{
    ASSERT_TRUE(Start(kProgram).reachedTray);
    ASSERT_TRUE(SchemeRegistered());
    DeleteFileA((kInstall + "\\Uninstall.vbs").c_str());
    RegDeleteTreeA(HKEY_CLASSES_ROOT, "parlemo");
    RegDeleteKeyTree(HKEY_CURRENT_USER, kOptionsKey, "i18n");

    StartResult run = Start(kProgram);
    ASSERT_TRUE(run.reachedTray);
    EXPECT_TRUE(run.boxes.empty());
    Sleep(2000);
    EXPECT_FALSE(Exists(kInstall + "\\Uninstall.vbs"));
    EXPECT_EQ(ReadValue(HKEY_CLASSES_ROOT, "parlemo", nullptr), "<missing>");
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, kOptionsKey, "i18n"), "Default");
}

TEST_F(SelfInstall, OlderVersionIsReplacedEvenWhenReadOnly)
{
    ASSERT_TRUE(Start(kProgram).reachedTray);
    ASSERT_TRUE(SchemeRegistered());
    RegWriteString(HKEY_CURRENT_USER, kSettingsKey, "version", "8.0.0.5");
    SetFileAttributesA(kInstalled.c_str(), FILE_ATTRIBUTE_NORMAL);
    std::ofstream(kInstalled, std::ios::binary | std::ios::trunc) << "an older program";
    SetFileAttributesA(kInstalled.c_str(), FILE_ATTRIBUTE_READONLY);
    DeleteFileA((kInstall + "\\Uninstall.vbs").c_str());

    StartResult run = Start(kProgram);
    ASSERT_TRUE(run.reachedTray);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(ReadFile(kInstalled), ReadFile(kProgram));
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, kSettingsKey, "version"), "8.0.0.6");
    EXPECT_TRUE(Exists(kInstall + "\\Uninstall.vbs"));
}

TEST_F(SelfInstall, PackageInstallationWritesNoEntryScriptsOrShortcuts)
{
    RegWriteDword(kSettingsKey, "msiinstall", 1);
    StartResult run = Start(kProgram);
    ASSERT_TRUE(run.reachedTray);
    EXPECT_EQ(ReadFile(kInstalled), ReadFile(kProgram));
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, kSettingsKey, "version"), "8.0.0.6");
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, kUninstallKey, "DisplayName"), "<missing>");
    EXPECT_FALSE(Exists(kInstall + "\\Uninstall.bat"));
    EXPECT_FALSE(Exists(kInstall + "\\Uninstall.vbs"));
    EXPECT_FALSE(Exists(kStartMenu));
    EXPECT_TRUE(SchemeRegistered());
}

// Regression: the running file compared byte for byte with the target path
// was copied onto itself when started by a path in other letter case, four
// failures and "Copy file failed".
TEST_F(SelfInstall, InstalledCopyStartedByAnotherCaseCopiesNothing)
{
    ASSERT_TRUE(Start(kProgram).reachedTray);
    RegWriteString(HKEY_CURRENT_USER, kSettingsKey, "version", "8.0.0.5");
    std::string upper = kInstalled;
    CharUpperBuffA(&upper[0], static_cast<DWORD>(upper.size()));
    StartResult run = Start(upper);
    ASSERT_TRUE(run.reachedTray);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(ReadFile(kInstalled), ReadFile(kProgram));
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, kSettingsKey, "version"), "8.0.0.6");
}

TEST_F(SelfInstall, CopyThatFailsFourTimesIsShownAndTheProgramGoesOn)
{
    // A folder where the program file belongs: every copy fails.
    CreateDirectoryA((kAppData + "\\Quenlore").c_str(), nullptr);
    CreateDirectoryA(kInstall.c_str(), nullptr);
    CreateDirectoryA(kInstalled.c_str(), nullptr);
    StartResult run = Start(kProgram, L"SelfInstall_CopyFails");
    EXPECT_TRUE(run.reachedTray);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0], L"Copy file failed");
    EXPECT_EQ(ReadValue(HKEY_CURRENT_USER, kSettingsKey, "version"), "<missing>");
    RemoveDirectoryA(kInstalled.c_str());
}
