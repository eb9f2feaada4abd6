// The "Meeting Recorder" console on the private X display, driven by its real
// buttons from another thread (its failure box is modal on its own): the
// states and clock against the writer's test double, the file names, and
// what the user sees with Wine's own Windows Media library.
#include "core/base/MediaFileName.h"
#include "extras/CScreenRecoderWnd.h"
#include "extras/tests/WmWriterDouble_win.h"
#include "tests/support/AppLogFile_win.h"
#include "tests/support/WindowTest_win.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <thread>

namespace {

using wmdouble::Library;

std::wstring MediaFolder(const wchar_t* name)
{
    wchar_t temp[MAX_PATH + 1] = L"";
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + name;
    CreateDirectoryW(folder.c_str(), nullptr);
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*.wmv").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do
            DeleteFileW((folder + L"\\" + found.cFileName).c_str());
        while (FindNextFileW(find, &found));
        FindClose(find);
    }
    return folder;
}

size_t FilesIn(const std::wstring& folder)
{
    size_t n = 0;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*.wmv").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do
            ++n;
        while (FindNextFileW(find, &found));
        FindClose(find);
    }
    return n;
}

// The console on a thread of its own with its message loop, as the main
// thread runs it in the program.
class ConsoleThread {
public:
    explicit ConsoleThread(std::function<void(CScreenRecoderWnd&)> setup)
    {
        HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_thread = std::thread([this, setup, ready] {
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
            m_threadId = GetCurrentThreadId();
            console = new CScreenRecoderWnd(nullptr);
            setup(*console);
            console->Create();
            ShowWindow(console->Window(), SW_SHOWNOACTIVATE);
            hwnd = console->Window();
            SetEvent(ready);
            while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            delete console;
        });
        WaitForSingleObject(ready, 10000);
        CloseHandle(ready);
    }
    ~ConsoleThread()
    {
        PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
        m_thread.join();
    }

    HWND Toolbar() const { return FindWindowExW(hwnd, nullptr, TOOLBARCLASSNAMEW, nullptr); }
    std::wstring Clock() const { return wintest::Text(FindWindowExW(hwnd, nullptr, L"Static", nullptr)); }
    std::wstring ButtonText(int command) const
    {
        wchar_t text[64] = L"";
        SendMessageW(Toolbar(), TB_GETBUTTONTEXTW, command, reinterpret_cast<LPARAM>(text));
        return text;
    }
    // A click on the toolbar button, as the pointer gives it.
    void Press(int command) const
    {
        HWND bar = Toolbar();
        RECT r{};
        const LRESULT index = SendMessageW(bar, TB_COMMANDTOINDEX, command, 0);
        SendMessageW(bar, TB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
        const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        SendMessageW(bar, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(bar, WM_LBUTTONUP, 0, at);
    }
    // The console's message box, when one is open.
    HWND Box() const
    {
        HWND box = nullptr;
        while ((box = FindWindowExW(nullptr, box, L"#32770", L"Meeting Recorder")))
            if (GetWindow(box, GW_OWNER) == hwnd && IsWindowVisible(box))
                return box;
        return nullptr;
    }
    static std::wstring BoxText(HWND box)
    {
        std::wstring all;
        for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
            all += wintest::Text(c) + L"\n";
        return all;
    }

    CScreenRecoderWnd* console = nullptr;
    HWND hwnd = nullptr;

private:
    std::thread m_thread;
    DWORD m_threadId = 0;
};

TEST(RecorderConsole, ButtonsDriveIdleRecordingAndPausedWithTheClock)
{
    AppLogFile log("CorviskRecorderConsoleTest");
    Library library;
    const std::wstring folder = MediaFolder(L"CorviskRecorderConsole");
    ConsoleThread ui([&](CScreenRecoderWnd& c) {
        c.SetMediaFolder(folder);
        c.SetWriterBinding(library.Binding());
    });
    ASSERT_TRUE(IsWindow(ui.hwnd));
    wchar_t cls[64] = L"";
    GetClassNameW(ui.hwnd, cls, 64);
    EXPECT_STREQ(cls, L"RecorderWnd");
    EXPECT_EQ(wintest::Text(ui.hwnd), L"Meeting Recorder");
    const LONG_PTR ex = GetWindowLongPtrW(ui.hwnd, GWL_EXSTYLE);
    EXPECT_TRUE(ex & WS_EX_LAYERED);
    EXPECT_TRUE(ex & WS_EX_TOPMOST);
    BYTE alpha = 0;
    DWORD flags = 0;
    ASSERT_TRUE(GetLayeredWindowAttributes(ui.hwnd, nullptr, &alpha, &flags));
    EXPECT_EQ(alpha, 255);
    EXPECT_EQ(wintest::Text(ui.Toolbar()), L"toolbar recording console");
    EXPECT_EQ(SendMessageW(ui.Toolbar(), TB_BUTTONCOUNT, 0, 0), 3);
    EXPECT_EQ(ui.ButtonText(kRecorderRecordCommand), L"Record");
    EXPECT_EQ(ui.ButtonText(kRecorderPauseCommand), L"Pause");
    EXPECT_EQ(ui.ButtonText(kRecorderStopCommand), L"Stop");
    RECT button{};
    SendMessageW(ui.Toolbar(), TB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&button));
    EXPECT_GE(button.bottom - button.top, 26);
    EXPECT_GE(button.right - button.left, 26);
    EXPECT_EQ(ui.Clock(), L"00:00:00");
    wintest::SaveScreenshot(ui.hwnd, L"RecorderConsole", L"idle");

    // Pause and Stop do nothing while idle.
    ui.Press(kRecorderPauseCommand);
    ui.Press(kRecorderStopCommand);
    EXPECT_FALSE(ui.console->IsRecording());
    EXPECT_EQ(ui.ButtonText(kRecorderPauseCommand), L"Pause");

    ui.Press(kRecorderRecordCommand);
    EXPECT_TRUE(ui.console->IsRecording());
    ASSERT_TRUE(wintest::WaitFor([&] { return ui.console->RecordingThreadId() != 0; }));
    ASSERT_TRUE(wintest::WaitFor([&] { return ui.Clock() == L"00:00:02"; }, 5000)) << ui.Clock();
    wintest::SaveScreenshot(ui.hwnd, L"RecorderConsole", L"recording");

    ui.Press(kRecorderPauseCommand);
    EXPECT_EQ(ui.ButtonText(kRecorderPauseCommand), L"Resume");
    const std::wstring pausedAt = ui.Clock();
    const size_t frames = library.SampleCount(Library::kVideoInput);
    wintest::PumpFor(1500);
    EXPECT_EQ(ui.Clock(), pausedAt) << "the clock stands while paused";
    EXPECT_LE(library.SampleCount(Library::kVideoInput), frames + 1);
    wintest::SaveScreenshot(ui.hwnd, L"RecorderConsole", L"paused");
    EXPECT_TRUE(log.Contains("Recording Paused\n"));

    ui.Press(kRecorderPauseCommand);
    EXPECT_EQ(ui.ButtonText(kRecorderPauseCommand), L"Pause");
    EXPECT_TRUE(log.Contains("Recording Resumed\n"));
    ASSERT_TRUE(wintest::WaitFor([&] { return ui.Clock() != pausedAt; }, 3000));

    // Stop while paused ends the recording normally.
    ui.Press(kRecorderPauseCommand);
    ui.Press(kRecorderStopCommand);
    EXPECT_FALSE(ui.console->IsRecording());
    EXPECT_EQ(ui.console->RecordingThreadId(), 0u);
    EXPECT_EQ(ui.Clock(), L"00:00:00");
    EXPECT_EQ(ui.ButtonText(kRecorderPauseCommand), L"Pause");
    EXPECT_TRUE(library.Called("EndWriting"));
    EXPECT_EQ(library.LiveObjects(), 0);
    wintest::PumpFor(200);
    EXPECT_EQ(ui.Box(), nullptr) << "a stop on request shows nothing";

    // The file: named for the time in the media folder, given to the writer.
    const std::wstring file = ui.console->LastFile();
    EXPECT_EQ(library.OutputFile(), file);
    ASSERT_GT(file.size(), folder.size() + 1);
    EXPECT_EQ(file.compare(0, folder.size() + 5, folder + L"\\GMT_"), 0) << file;
    EXPECT_EQ(file.substr(file.size() - 4), L".wmv");
}

// A second recording in the same second gets a name of its own; the first
// file is never overwritten.
TEST(RecorderConsole, SameSecondRecordingGetsANewName)
{
    Library library;
    const std::wstring folder = MediaFolder(L"CorviskRecorderNames");
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    std::vector<std::wstring> taken;
    for (int64_t t = now; t < now + 3; ++t) {
        const std::string name = RecordingFileNameForTime(t);
        taken.push_back(folder + L"\\" + std::wstring(name.begin(), name.end()));
        std::ofstream(taken.back().c_str()) << "first";
    }
    ConsoleThread ui([&](CScreenRecoderWnd& c) {
        c.SetMediaFolder(folder);
        c.SetWriterBinding(library.Binding());
    });
    ui.Press(kRecorderRecordCommand);
    ASSERT_TRUE(ui.console->IsRecording());
    ui.Press(kRecorderStopCommand);
    const std::wstring file = ui.console->LastFile();
    EXPECT_EQ(std::count(taken.begin(), taken.end(), file), 0) << "a new name";
    EXPECT_NE(file.find(L"_2.wmv"), std::wstring::npos) << file;
    for (const std::wstring& f : taken) {
        std::ifstream in(f.c_str());
        std::string text;
        in >> text;
        EXPECT_EQ(text, "first");
    }
}

// With Wine's own library the writer cannot be set up: Record says so in a
// box the console owns, naming the step and its code, and the console is
// idle again with its clock at zero; a second Record does the same.
TEST(RecorderConsole, WineLibraryFailureIsShownAndTheConsoleReturnsToIdle)
{
    const bool libraryOff = LoadSystemWmWriter().createProfileManager == nullptr;
    AppLogFile log("CorviskRecorderWineTest");
    const std::wstring folder = MediaFolder(L"CorviskRecorderWine");
    ConsoleThread ui([&](CScreenRecoderWnd& c) { c.SetMediaFolder(folder); });
    for (int round = 0; round < 2; ++round) {
        ui.Press(kRecorderRecordCommand);
        HWND box = nullptr;
        ASSERT_TRUE(wintest::WaitFor([&] { return (box = ui.Box()) != nullptr; })) << round;
        const std::wstring text = ConsoleThread::BoxText(box);
        if (libraryOff) {
            EXPECT_NE(text.find(L"Unable to Create WindowsMedia Profile Manager"), std::wstring::npos) << text;
        } else {
            EXPECT_NE(text.find(L"Unable to Set System Profile Version"), std::wstring::npos) << text;
            EXPECT_NE(text.find(L"0x80004001"), std::wstring::npos) << text;
        }
        EXPECT_FALSE(ui.console->IsRecording());
        EXPECT_EQ(ui.Clock(), L"00:00:00");
        if (round == 0)
            wintest::SaveScreenshot(nullptr, libraryOff ? L"RecorderConsoleNoLibrary" : L"RecorderConsole",
                                    L"failure");
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(wintest::WaitFor([&] { return ui.Box() == nullptr; }));
    }
    EXPECT_TRUE(log.Contains("Recording thread quit abnormally.\n"));
    EXPECT_TRUE(log.Contains(libraryOff ? "Unable to Create WindowsMedia Profile Manager"
                                        : "Unable to Set System Profile Version"));
    EXPECT_EQ(FilesIn(folder), 0u) << "no empty file is left behind";
}

// Run with WINEDLLOVERRIDES turning the library off: it does not load.
TEST(RecorderLibrary, OffItDoesNotLoad)
{
    const char* overrides = std::getenv("WINEDLLOVERRIDES");
    if (!overrides || !std::strstr(overrides, "wmvcore"))
        GTEST_SKIP() << "the library is on in this run";
    EXPECT_EQ(LoadLibraryW(L"wmvcore.dll"), nullptr);
    EXPECT_FALSE(LoadSystemWmWriter().Available());
}

} // namespace
