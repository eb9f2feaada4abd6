// Start-up under Wine against the real Corvisk.exe: single instance, the
// URI-scheme registration, and the crash dump of a program using the same
// filter.
#include "core/app/CrashDump.h"
#include "core/app/SingleInstance.h"
#include "core/app/Startup.h"
#include "core/app/tests/DesktopEffects.h"
#include "core/base/AppWindows.h"
#include "core/base/VisualEffects.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::wstring BesideTest(const wchar_t* name)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring dir = self;
    return dir.substr(0, dir.find_last_of(L'\\') + 1) + name;
}

struct ChildRun {
    DWORD exitCode = 0;
    std::vector<std::wstring> boxTexts;  // message boxes the child showed (closed by us)
    bool finished = false;
};

struct BoxSearch {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK FindChildBoxes(HWND hwnd, LPARAM lParam)
{
    auto* s = reinterpret_cast<BoxSearch*>(lParam);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    wchar_t cls[32] = L"";
    GetClassNameW(hwnd, cls, 32);
    if (pid == s->pid && std::wstring(cls) == L"#32770" && IsWindowVisible(hwnd))
        s->found.push_back(hwnd);
    return TRUE;
}

// Runs the program with the arguments; every message box it shows is read
// and dismissed, so a test never hangs on one.
ChildRun RunProgram(const std::wstring& exe, const std::wstring& args, DWORD timeoutMs = 30000)
{
    ChildRun run;
    std::wstring cmd = L"\"" + exe + L"\" " + args;
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return run;
    DWORD waited = 0;
    while (WaitForSingleObject(pi.hProcess, 50) == WAIT_TIMEOUT && waited < timeoutMs) {
        waited += 50;
        BoxSearch s{pi.dwProcessId, {}};
        EnumWindows(FindChildBoxes, reinterpret_cast<LPARAM>(&s));
        for (HWND box : s.found) {
            wchar_t text[512] = L"";
            // The static text of a message box has the id 0xFFFF.
            GetDlgItemTextW(box, 0xFFFF, text, 512);
            run.boxTexts.push_back(text);
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            PostMessageW(box, WM_CLOSE, 0, 0);
        }
    }
    if (WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) {
        run.finished = true;
        GetExitCodeProcess(pi.hProcess, &run.exitCode);
    } else {
        TerminateProcess(pi.hProcess, 99);
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return run;
}

// A window that looks like a running instance's tray window.
struct FakeRunningInstance {
    FakeRunningInstance()
    {
        hwnd = CreateWindowExW(0, L"STATIC", L"PL Tray Windows", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr,
                               nullptr, nullptr, nullptr);
        SetPropA(hwnd, TRAY_PROPERTY_NAME, reinterpret_cast<HANDLE>(TRAY_PROPERTY_VALUE));
    }
    ~FakeRunningInstance()
    {
        if (IsWindow(hwnd)) {
            RemovePropA(hwnd, TRAY_PROPERTY_NAME);
            DestroyWindow(hwnd);
        }
    }
    HWND hwnd;
};

std::wstring ReadClassesRootDefault(const wchar_t* key)
{
    wchar_t value[1024] = L"";
    DWORD size = sizeof(value);
    if (RegGetValueW(HKEY_CLASSES_ROOT, key, nullptr, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
        return L"<missing>";
    return value;
}

const wchar_t kWarning[] = L"Another Secure Parlemo instance is being used right now, please try later.";

} // namespace

TEST(SingleInstance, FindsTheTrayWindowByItsProperty)
{
    EXPECT_FALSE(IsAnotherInstanceRunning());
    FakeRunningInstance running;
    HWND found = nullptr;
    EnumWindows(FindTrayWindowProc, reinterpret_cast<LPARAM>(&found));
    EXPECT_EQ(found, running.hwnd);
    EXPECT_TRUE(IsAnotherInstanceRunning());
}

TEST(SingleInstance, SecondProgramShowsTheWarningAndEnds)
{
    FakeRunningInstance running;
    ChildRun run = RunProgram(BesideTest(L"Corvisk.exe"), L"");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    ASSERT_EQ(run.boxTexts.size(), 1u);
    EXPECT_EQ(run.boxTexts[0], kWarning);
    EXPECT_TRUE(IsWindow(running.hwnd));  // the running one is not disturbed
}

TEST(SingleInstance, AnInstanceThatIsClosingDoesNotBlock)
{
    FakeRunningInstance running;
    HANDLE closer = CreateThread(
        nullptr, 0,
        [](void* p) -> DWORD {
            Sleep(120);
            // The closing instance's window goes: a later look finds nothing.
            RemovePropA(static_cast<HWND>(p), TRAY_PROPERTY_NAME);
            return 0;
        },
        running.hwnd, 0, nullptr);
    // 6 looks, 200 ms apart here: the window goes after the first look even
    // on a machine busy with other tests (50 ms apart left that to luck).
    EXPECT_FALSE(IsAnotherInstanceRunning(6, 200));
    WaitForSingleObject(closer, INFINITE);
    CloseHandle(closer);
}

TEST(UriScheme, RegistrationRunRegistersAndEnds)
{
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"parlemo");
    // Registration works even while another instance runs: it is checked first.
    FakeRunningInstance running;
    ChildRun run = RunProgram(BesideTest(L"Corvisk.exe"), L"URIScheme");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_TRUE(run.boxTexts.empty());
    EXPECT_EQ(ReadClassesRootDefault(L"parlemo"), L"URL:parlemo Parlemo Protocol");
    wchar_t appData[MAX_PATH];
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, appData, CSIDL_APPDATA, FALSE));
    std::wstring program = std::wstring(L"\"") + appData + L"\\Quenlore\\Parlemo\\Corvisk.exe\"";
    EXPECT_EQ(ReadClassesRootDefault(L"parlemo\\DefaultIcon"), program);
    EXPECT_EQ(ReadClassesRootDefault(L"parlemo\\shell\\open\\command"), program + L" \"%1\"");
    DWORD size = 0;
    EXPECT_EQ(RegGetValueW(HKEY_CLASSES_ROOT, L"parlemo", L"URL Protocol", RRF_RT_REG_SZ, nullptr, nullptr,
                           &size),
              ERROR_SUCCESS);
}

// Regression: a link whose payload merely contains the word used to turn the
// start into a registration run.
TEST(UriScheme, TheWordInsideALinkIsNotARegistration)
{
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"parlemo");
    FakeRunningInstance running;  // so the run ends at the instance check
    ChildRun run = RunProgram(BesideTest(L"Corvisk.exe"), L"\"parlemo://URISchemeAAA/\"");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(ReadClassesRootDefault(L"parlemo"), L"<missing>");
}

TEST(CrashDump, FilterWritesAMiniDumpAndEndsTheProcess)
{
    wchar_t appData[MAX_PATH];
    ASSERT_TRUE(SHGetSpecialFolderPathW(nullptr, appData, CSIDL_APPDATA, FALSE));
    std::wstring dump = std::wstring(appData) + L"\\Quenlore\\LogFiles\\MiniDump.dmp";
    DeleteFileW(dump.c_str());
    ChildRun run = RunProgram(BesideTest(L"app_test_crash_child.exe"), L"");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, 0xC0000005u);
    HANDLE file = CreateFileW(dump.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    char magic[4] = {};
    DWORD got = 0;
    ReadFile(file, magic, 4, &got, nullptr);
    LARGE_INTEGER size{};
    GetFileSizeEx(file, &size);
    CloseHandle(file);
    EXPECT_EQ(std::string(magic, got), "MDMP");
    EXPECT_GT(size.QuadPart, 1024);
}

namespace {

// Passes every change on to Wine's SystemParametersInfo and keeps the flags
// it went out with.
std::vector<unsigned> g_effectFlags;
std::vector<unsigned> g_effectActions;
int RecordingWriter(unsigned action, unsigned param, void* value, unsigned flags)
{
    g_effectFlags.push_back(flags);
    g_effectActions.push_back(action);
    return SystemParametersInfoA(action, param, value, flags);
}

} // namespace

// The filter puts the user's effects back, but quietly: a broadcast of
// WM_SETTINGCHANGE from a crashing process would wait on every other
// program's windows.
TEST(CrashDump, FilterRestoresTheEffectsWithoutABroadcast)
{
    const Effects before = ReadEffects();
    EffectsWriter system = SetEffectsWriter(RecordingWriter);
    for (const Effects& user : kUserPatterns) {
        SetEffects(user);
        ASSERT_EQ(ReadEffects(), user);
        SaveVisualEffects();
        g_effectFlags.clear();
        RestoreVisualEffects(0, 0, kEffectsColumnApply);
        EXPECT_EQ(ReadEffects(), (Effects{0, 0, 0, 0, 0, 0}));
        EXPECT_EQ(g_effectFlags, std::vector<unsigned>(6, SPIF_SENDCHANGE));  // the ordinary switch announces

        g_effectFlags.clear();
        EXPECT_EQ(CrashFilter(nullptr), EXCEPTION_EXECUTE_HANDLER);
        EXPECT_EQ(ReadEffects(), user);
        EXPECT_EQ(g_effectFlags, std::vector<unsigned>(6, 0u));
    }
    SetEffectsWriter(system);
    SetEffects(before);
}

// Each pass sets the rows it names and never more than the table's six;
// 0 as the last row means the table's end.
TEST(VisualEffects, PassesCoverTheirRowsOnly)
{
    const Effects before = ReadEffects();
    SaveVisualEffects();
    EffectsWriter system = SetEffectsWriter(RecordingWriter);
    std::vector<unsigned> allSets;
    for (const auto& codes : kEffectCodes)
        allSets.push_back(codes[1]);
    struct {
        int first, last;
        size_t from, to;  // rows expected, [from, to)
    } cases[] = {
        {0, 1, 0, 2}, {2, 0, 2, 6}, {0, 0, 0, 6}, {0, 5, 0, 6}, {5, 5, 5, 6},
        {0, 9, 0, 6},  // past the end: the last row
        {3, 2, 0, 0},  // first beyond last: nothing
        {6, 0, 0, 0},
    };
    for (const auto& c : cases) {
        g_effectActions.clear();
        RestoreVisualEffects(c.first, c.last, kEffectsColumnSaved);
        EXPECT_EQ(g_effectActions, std::vector<unsigned>(allSets.begin() + c.from, allSets.begin() + c.to))
            << c.first << ".." << c.last;
    }
    SetEffectsWriter(system);
    SetEffects(before);
}

TEST(StartupProbes, AbsentSensorsAndTheVersionClass)
{
    EXPECT_EQ(ProbeComFeature(), 0);  // no Sensor API under Wine
    EXPECT_EQ(g_comProbeOk, 0);
    int cls = GetOsVersionClass();
    EXPECT_GE(cls, 5);  // an NT 6 or later system, never the 9x class
    EXPECT_EQ(IsWin8OrLaterNoComFeature(), (cls == 7 || cls == 9) ? 1 : 0);
    // Without sensors the program's windows are listed all the same: the
    // shared picture leaves them out on every system.
    HWND w = CreateWindowExW(0, L"STATIC", L"x", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    RegisterAppWindow(w);
    ASSERT_EQ(AppWindowList().size(), 1u);
    DestroyWindow(w);
    EXPECT_TRUE(AppWindowList().empty());
}

TEST(AppWindows, ListedOnceAndDroppedWhenGone)
{
    HWND a = CreateWindowExW(0, L"STATIC", L"a", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    HWND b = CreateWindowExW(0, L"STATIC", L"b", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    RegisterAppWindow(a);
    RegisterAppWindow(a);
    RegisterAppWindow(b);
    EXPECT_EQ(AppWindowList().size(), 2u);
    DestroyWindow(a);
    RegisterAppWindow(a);  // destroyed: not added
    auto list = AppWindowList();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0], b);
    DestroyWindow(b);
    EXPECT_TRUE(AppWindowList().empty());
}
