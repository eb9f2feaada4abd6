// The viewer tool under Wine on the test display: started as its own
// process, it shows the screen in its viewer frame (a red window the test
// puts on the left half shows up in the viewer on the right half), and the
// frame's close ends it with status 0. Bad arguments end it with status 2
// before any window.
#include "tests/support/WindowTest_win.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

constexpr COLORREF kRed = RGB(0xE0, 0x10, 0x10);
constexpr RECT kRedArea{40, 60, 440, 560};

std::wstring ToolPath()
{
    // The build's path of the tool, as Wine sees it on drive Z:.
    std::wstring path = L"Z:";
    for (const char* c = CORVISK_VIEWER_TOOL; *c; ++c)
        path += *c == '/' ? L'\\' : static_cast<wchar_t>(*c);
    return path;
}

class Process {
public:
    explicit Process(const std::wstring& arguments)
    {
        std::wstring line = L"\"" + ToolPath() + L"\" " + arguments;
        std::vector<wchar_t> buffer(line.begin(), line.end());
        buffer.push_back(0);
        STARTUPINFOW si{};
        si.cb = sizeof si;
        m_started = CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_pi);
    }
    ~Process()
    {
        if (!m_started)
            return;
        if (WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT)
            TerminateProcess(m_pi.hProcess, 99);
        CloseHandle(m_pi.hThread);
        CloseHandle(m_pi.hProcess);
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool started() const { return m_started; }
    DWORD id() const { return m_pi.dwProcessId; }
    // The exit status, or -1 when it still runs after ms.
    long exitWithin(DWORD ms)
    {
        if (!wintest::WaitFor([&] { return WaitForSingleObject(m_pi.hProcess, 0) == WAIT_OBJECT_0; }, ms))
            return -1;
        DWORD code = 0;
        GetExitCodeProcess(m_pi.hProcess, &code);
        return static_cast<long>(code);
    }

private:
    PROCESS_INFORMATION m_pi{};
    bool m_started = false;
};

// A plain red window at a known place: something for the screen to show.
class RedWindow {
public:
    RedWindow()
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = m_brush;
        wc.lpszClassName = L"CorviskViewerToolRed";
        RegisterClassW(&wc);
        m_hwnd = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE, kRedArea.left, kRedArea.top,
                                 kRedArea.right - kRedArea.left, kRedArea.bottom - kRedArea.top, nullptr, nullptr,
                                 wc.hInstance, nullptr);
        UpdateWindow(m_hwnd);
    }
    ~RedWindow()
    {
        DestroyWindow(m_hwnd);
        DeleteObject(m_brush);
    }
    RedWindow(const RedWindow&) = delete;
    RedWindow& operator=(const RedWindow&) = delete;

private:
    HBRUSH m_brush = CreateSolidBrush(kRed);
    HWND m_hwnd = nullptr;
};

struct ChildSearch {
    const wchar_t* cls;
    HWND found = nullptr;
};

BOOL CALLBACK FindChildOfClass(HWND hwnd, LPARAM lp)
{
    auto* s = reinterpret_cast<ChildSearch*>(lp);
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    if (std::wstring(cls) == s->cls)
        s->found = hwnd;
    return s->found == nullptr;
}

// Share of the window's client area, as the screen shows it, that is
// plainly red (at every colour depth the viewer may use).
double RedShare(HWND hwnd)
{
    RECT rc;
    GetClientRect(hwnd, &rc);
    POINT origin{0, 0};
    ClientToScreen(hwnd, &origin);
    HDC screen = GetDC(nullptr);
    int red = 0, all = 0;
    for (int y = 0; y < rc.bottom; y += 4)
        for (int x = 0; x < rc.right; x += 4) {
            const COLORREF c = GetPixel(screen, origin.x + x, origin.y + y);
            ++all;
            red += GetRValue(c) > 150 && GetGValue(c) < 80 && GetBValue(c) < 80;
        }
    ReleaseDC(nullptr, screen);
    return all ? static_cast<double>(red) / all : 0.0;
}

TEST(ViewerTool, ShowsTheScreenAndEndsWhenItsFrameCloses)
{
    RedWindow red;
    wintest::PumpFor(200);
    Process tool(L"");
    ASSERT_TRUE(tool.started());
    HWND frame = nullptr;
    ASSERT_TRUE(wintest::WaitFor(
        [&] { return (frame = wintest::FindTopLevelOf(tool.id(), L"Corvisk_Window", nullptr)) != nullptr; }, 30000));
    ChildSearch viewer{L"DHviewerwindow"};
    EnumChildWindows(frame, FindChildOfClass, reinterpret_cast<LPARAM>(&viewer));
    ASSERT_NE(viewer.found, nullptr);

    // The frame is beside the red window, so red inside it can only be the
    // picture of the screen.
    RECT f, overlap;
    GetWindowRect(frame, &f);
    EXPECT_FALSE(IntersectRect(&overlap, &f, &kRedArea));
    double share = 0;
    const bool shown = wintest::WaitFor([&] { return (share = RedShare(viewer.found)) > 0.01; }, 20000);
    wintest::SaveScreenshot(nullptr, L"viewer_tool", L"screen_with_viewer");
    EXPECT_TRUE(shown) << "red share " << share;

    PostMessageW(frame, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(tool.exitWithin(15000), 0);
}

TEST(ViewerTool, BadArgumentsEndItBeforeAnyWindow)
{
    for (const wchar_t* args : {L"--colour-depth 9", L"--colour-depth x", L"--colour-depth", L"--zoom"}) {
        Process tool(args);
        ASSERT_TRUE(tool.started());
        EXPECT_EQ(tool.exitWithin(15000), 2) << args;
    }
}

} // namespace
