// Key injection through the real system calls under Wine: an input recorder
// window has the focus and logs what arrives (key messages with their
// extended bit, WM_CHAR and WM_DEADCHAR), and a low-level keyboard hook logs
// each event's extra information and injected flag.
#include "Customer/encode/HostLog.h"
#include "Customer/input/CtrlAltDel.h"
#include "Customer/input/KeyTables.h"
#include "Customer/input/WinKeyboard.h"
#include "core/base/SessionUserName.h"
#include "tests/support/WindowTest_win.h"

#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

struct Recorder {
    HWND window = nullptr;
    // "d41", "u41e", ... for key messages; the characters apart.
    std::vector<std::string> keys;
    std::wstring chars;
    std::wstring deadChars;
    // The hook's view: extra information and injected flag of every event.
    std::vector<ULONG_PTR> extra;
    int notInjected = 0;
};
Recorder g_rec;
HHOOK g_hook = nullptr;

LRESULT CALLBACK RecorderProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP: {
        char s[16];
        const bool down = msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN;
        std::snprintf(s, sizeof s, "%c%02X%s", down ? 'd' : 'u', static_cast<unsigned>(wp),
                      (lp & (1 << 24)) ? "e" : "");
        g_rec.keys.push_back(s);
        break;
    }
    case WM_CHAR:
    case WM_SYSCHAR:
        g_rec.chars += static_cast<wchar_t>(wp);
        return 0;
    case WM_DEADCHAR:
        g_rec.deadChars += static_cast<wchar_t>(wp);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK RecorderHook(int code, WPARAM wp, LPARAM lp)
{
    if (code == HC_ACTION) {
        const auto* e = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lp);
        g_rec.extra.push_back(e->dwExtraInfo);
        if (!(e->flags & LLKHF_INJECTED))
            ++g_rec.notInjected;
    }
    return CallNextHookEx(nullptr, code, wp, lp);
}

class KeyInjectionWine : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = RecorderProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        wc.lpszClassName = L"CorviskInputRecorder";
        RegisterClassW(&wc);
        g_rec.window = CreateWindowW(L"CorviskInputRecorder", L"Input recorder", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                     40, 40, 300, 200, nullptr, nullptr, wc.hInstance, nullptr);
        g_hook = SetWindowsHookExW(WH_KEYBOARD_LL, RecorderHook, GetModuleHandleW(nullptr), 0);
        wintest::PumpFor(300);
    }
    static void TearDownTestSuite()
    {
        if (g_hook)
            UnhookWindowsHookEx(g_hook);
        DestroyWindow(g_rec.window);
    }
    void SetUp() override
    {
        ASSERT_TRUE(g_rec.window);
        ASSERT_TRUE(g_hook);
        SetForegroundWindow(g_rec.window);
        SetFocus(g_rec.window);
        wintest::PumpFor(100);
        g_rec.keys.clear();
        g_rec.chars.clear();
        g_rec.deadChars.clear();
        g_rec.extra.clear();
        g_rec.notInjected = 0;
    }
    struct Ev {
        uint32_t keysym;
        bool down;
    };
    void Inject(const std::vector<Ev>& events)
    {
        KeyInjector injector(*m_keyboard, HostCodePageTable());
        for (const Ev& e : events) {
            injector.InjectKeyEvent(e.keysym, e.down);
            wintest::PumpFor(30);
        }
        wintest::PumpFor(150);
    }
    std::string Keys() const
    {
        std::string all;
        for (const std::string& k : g_rec.keys)
            all += (all.empty() ? "" : " ") + k;
        return all;
    }
    void ExpectAllOurs()
    {
        EXPECT_FALSE(g_rec.extra.empty());
        for (ULONG_PTR x : g_rec.extra)
            EXPECT_EQ(x, kInjectedExtraInfo);
        EXPECT_EQ(g_rec.notInjected, 0);
    }

    std::unique_ptr<KeyboardSystem> m_keyboard = CreateWindowsKeyboard();
};

} // namespace

TEST_F(KeyInjectionWine, LettersThroughTheLayout)
{
    Inject({{0x61, true}, {0x61, false}});
    EXPECT_EQ(g_rec.chars, L"a");
    EXPECT_EQ(Keys(), "d41 u41");
    ExpectAllOurs();
}

TEST_F(KeyInjectionWine, CapitalPressesShiftAroundTheKey)
{
    Inject({{0x41, true}, {0x41, false}});
    EXPECT_EQ(g_rec.chars, L"A");
    EXPECT_EQ(Keys(), "d10 d41 u10 u41");
    EXPECT_FALSE(GetAsyncKeyState(VK_SHIFT) & 0x8000);
    ExpectAllOurs();
}

TEST_F(KeyInjectionWine, HeldShiftIsLiftedForADigit)
{
    Inject({{0xFFE1, true}, {0x31, true}, {0x31, false}, {0xFFE1, false}});
    EXPECT_EQ(g_rec.chars, L"1");
    EXPECT_FALSE(GetAsyncKeyState(VK_SHIFT) & 0x8000);
    ExpectAllOurs();
}

// The US layout has no é: Alt and keypad 1 3 0 (the OEM code page's é). Wine
// does not compose Alt plus keypad digits into a character, so the sequence
// is what is checked here; the key-up of the letter sends nothing.
TEST_F(KeyInjectionWine, ComposedCharacterTheLayoutLacksGoesAsAltDigits)
{
    if (GetOEMCP() != 437)
        GTEST_SKIP() << "OEM code page " << GetOEMCP();
    Inject({{0xFE51, true}, {0xFE51, false}, {0x65, true}, {0x65, false}});
    EXPECT_EQ(Keys(), "d12 d61 u61 d63 u63 d60 u60 u12");
    ExpectAllOurs();
    std::printf("characters after Alt+130: %zu\n", g_rec.chars.size());
}

// A layout with é on a key (French: setxkbmap fr before Wine starts): the
// composed character is typed on that key, and the letter's key-up releases
// that key, not the plain e's (regression: it stayed down).
TEST_F(KeyInjectionWine, ComposedCharacterOnTheLayoutsKeyIsReleased)
{
    const SHORT eAcute = VkKeyScanW(0xE9);
    if (eAcute == -1 || (eAcute & 0xFF) == 0xFF)
        GTEST_SKIP() << "the host layout has no key for e acute (run with setxkbmap fr)";
    const BYTE key = static_cast<BYTE>(eAcute & 0xFF);
    Inject({{0xFE51, true}, {0xFE51, false}, {0x65, true}, {0x65, false}});
    EXPECT_EQ(g_rec.chars, L"\u00e9");
    char down[8], up[8];
    std::snprintf(down, sizeof down, "d%02X", key);
    std::snprintf(up, sizeof up, "u%02X", key);
    EXPECT_NE(Keys().find(down), std::string::npos) << Keys();
    EXPECT_NE(Keys().find(up), std::string::npos) << Keys();
    EXPECT_FALSE(GetAsyncKeyState(key) & 0x8000);
    ExpectAllOurs();
}

TEST_F(KeyInjectionWine, ExtendedBitsFromTheTable)
{
    Inject({{0xFF8D, true}, {0xFF8D, false}, {0xFFFF, true}, {0xFFFF, false}, {0xFF9F, true}, {0xFF9F, false},
            {0xFFAF, true}, {0xFFAF, false}});
    EXPECT_EQ(Keys(), "d0De u0De d2Ee u2Ee d2E u2E d6Fe u6Fe");
    ExpectAllOurs();
}

TEST_F(KeyInjectionWine, UnknownKeysymsInjectNothing)
{
    Inject({{0x20AC, true}, {0x20AC, false}, {0xA4, true}, {0xA4, false}});
    EXPECT_EQ(Keys(), "");
    EXPECT_TRUE(g_rec.extra.empty());
}

TEST(HostCodePage, IsTheOemCodePage)
{
    const CodePageTable& t = HostCodePageTable();
    if (GetOEMCP() != 437)
        GTEST_SKIP() << "OEM code page " << GetOEMCP();
    EXPECT_EQ(t[0x82], 0xE9u);
    EXPECT_EQ(t[0x9B], 0xA2u);
    EXPECT_EQ(t[0xA4], 0xF1u);
    EXPECT_EQ(t[0xE1], 0xDFu);
    EXPECT_EQ(t[0x41], 0x41u);
}

namespace {

std::set<DWORD> TaskManagers()
{
    std::set<DWORD> ids;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return ids;
    PROCESSENTRY32W e;
    e.dwSize = sizeof e;
    for (BOOL ok = Process32FirstW(snap, &e); ok; ok = Process32NextW(snap, &e))
        if (lstrcmpiW(e.szExeFile, L"taskmgr.exe") == 0)
            ids.insert(e.th32ProcessID);
    CloseHandle(snap);
    return ids;
}

void EndProcess(DWORD id)
{
    HANDLE p = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
    if (!p)
        return;
    TerminateProcess(p, 0);
    WaitForSingleObject(p, 5000);
    CloseHandle(p);
}

} // namespace

// Control, Alt and the viewer's Delete: no Delete reaches the window, Task
// Manager starts instead (through the shell: the program runs as the user).
TEST_F(KeyInjectionWine, CtrlAltDeleteStartsTaskManager)
{
    static std::string lines;
    lines.clear();
    const HostLogSink old = SetHostLogSink([](int, const char* line) { lines += line; });
    const std::set<DWORD> before = TaskManagers();
    Inject({{0xFFE3, true}, {0xFFE9, true}, {0xFFFF, true}, {0xFFFF, false}, {0xFFE9, false}, {0xFFE3, false}});
    SetHostLogSink(old);
    EXPECT_EQ(Keys().find("2E"), std::string::npos) << Keys();
    EXPECT_NE(lines.find("preparing to generate ctrl-alt-del"), std::string::npos) << lines;
    std::set<DWORD> started;
    wintest::WaitFor(
        [&] {
            started.clear();
            for (DWORD id : TaskManagers())
                if (!before.count(id))
                    started.insert(id);
            return !started.empty();
        },
        15000);
    EXPECT_FALSE(started.empty());
    for (DWORD id : started)
        EndProcess(id);
}

// For the logged-on user: with the token of this session's shell, which
// Wine runs while a GUI program is up; the shell's path otherwise.
TEST_F(KeyInjectionWine, TaskManagerAsTheLoggedOnUser)
{
    unsigned long id = 0;
    const TaskManagerStart how = StartTaskManager(true, &id);
    ASSERT_NE(how, TaskManagerStart::Failed);
    if (FindConsoleSessionExplorer() != 0)
        EXPECT_EQ(how, TaskManagerStart::AsLoggedOnUser);
    else
        EXPECT_EQ(how, TaskManagerStart::ThroughShell);
    std::printf("started %s, process %lu\n", how == TaskManagerStart::AsLoggedOnUser ? "as the user" : "by the shell",
                id);
    EXPECT_NE(id, 0ul);
    EndProcess(static_cast<DWORD>(id));

    // The shell's process and token and the new process and thread are all
    // closed again (counted after a first start, which may load libraries).
    DWORD before = 0, after = 0;
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &before));
    id = 0;
    ASSERT_EQ(StartTaskManager(true, &id), how);
    ASSERT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &after));
    EXPECT_EQ(after, before);
    EndProcess(static_cast<DWORD>(id));
}
