// The frame window under Wine on the private display: title and menu, the
// status box (colours sampled on the screen), its text, child pages, the menu
// commands, the flash timer and the anchoring of registered children.
#include "core/base/FrameMessages.h"
#include "core/base/ThreadMessages.h"
#include "core/base/WindowFrame_win.h"
#include "tests/support/WindowTest_win.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

class TestFrame : public CWindowFrame {
public:
    TestFrame() : CWindowFrame(GetModuleHandleW(nullptr), GetCurrentThreadId()) {}
    ~TestFrame() override { DestroyFrame(); }
    int closes = 0;

protected:
    void OnClose() override { ++closes; }
};

struct ThreadMsg {
    UINT message;
    WPARAM wParam;
};

// Thread messages (no window) queued for this thread, taken off the queue.
std::vector<ThreadMsg> TakeThreadMessages()
{
    std::vector<ThreadMsg> out;
    MSG msg;
    while (PeekMessageW(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE))
        out.push_back({msg.message, msg.wParam});
    return out;
}

class WindowFrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TakeThreadMessages();
        frame = std::make_unique<TestFrame>();
        hwnd = frame->CreateFrameDialog(132, false);
        ASSERT_NE(hwnd, nullptr);
        ShowWindow(hwnd, SW_SHOW);
        announced = TakeThreadMessages();
        wintest::Pump();
    }
    void TearDown() override
    {
        frame.reset();
        TakeThreadMessages();
    }
    // A pixel of the status box's fill, clear of its border, corners and text.
    COLORREF StatusFill()
    {
        RECT c;
        GetClientRect(hwnd, &c);
        return wintest::ClientPixel(hwnd, c.right - 8, c.bottom - 30);
    }
    bool TimerQueued()
    {
        MSG msg;
        return PeekMessageW(&msg, hwnd, WM_TIMER, WM_TIMER, PM_NOREMOVE) != 0;
    }

    std::unique_ptr<TestFrame> frame;
    HWND hwnd = nullptr;
    std::vector<ThreadMsg> announced;  // posted while the frame was made
};

TEST_F(WindowFrameTest, TitleMenuWelcomeAndOneForegroundAnnouncement)
{
    EXPECT_EQ(wintest::Text(hwnd), L"Secure Parlemo - 8.0.0.6");
    HMENU menu = GetMenu(hwnd);
    ASSERT_NE(menu, nullptr);
    wchar_t text[64];
    GetMenuStringW(menu, 32771, text, 64, MF_BYCOMMAND);
    EXPECT_STREQ(text, L"Settings");
    GetMenuStringW(menu, 1, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, L"Help");
    EXPECT_NE(GetSubMenu(menu, 1), nullptr) << "the Help item keeps its pop-up";
    GetMenuStringW(menu, 104, text, 64, MF_BYCOMMAND);
    EXPECT_STREQ(text, L"About");
    EXPECT_EQ(frame->StatusText(), L"Welcome to Vantrel Quenlore Secure Parlemo");

    ASSERT_EQ(announced.size(), 1u);
    EXPECT_EQ(announced[0].message, PLM_SET_FOREGROUND_WND);
    EXPECT_EQ(announced[0].wParam, reinterpret_cast<WPARAM>(hwnd));
    SetWindowPos(hwnd, nullptr, 0, 0, 500, 400, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_TRUE(TakeThreadMessages().empty()) << "announced once, not on a resize";
    wintest::SaveScreenshot(hwnd, L"WindowFrame", L"welcome");
}

TEST_F(WindowFrameTest, StatusKindsPaintTheirColours)
{
    struct Case {
        int kind;
        COLORREF fill;
        const wchar_t* state;
    } cases[] = {
        {STATUS_NORMAL, RGB(0xCC, 0xFF, 0xCC), L"normal"},
        {STATUS_ERROR, RGB(0xFF, 0xCC, 0xCC), L"error"},
        {STATUS_WARNING, RGB(0xFF, 0xFF, 0xCC), L"warning"},
        {7, RGB(0xCC, 0xFF, 0xCC), L"kind7"},  // unknown kinds paint like normal
    };
    for (const Case& c : cases) {
        frame->SetStatusText(c.kind, L"A status line");
        wintest::PumpFor(50);
        EXPECT_EQ(StatusFill(), c.fill) << "kind " << c.kind;
        EXPECT_FALSE(wintest::SaveScreenshot(hwnd, L"WindowFrame", c.state).empty());
    }
    RECT client;
    GetClientRect(hwnd, &client);
    EXPECT_EQ(wintest::ClientPixel(hwnd, client.right / 2, 20), RGB(255, 255, 255)) << "background white";
}

TEST_F(WindowFrameTest, StatusTextIsCutAt255AndShownAsGiven)
{
    frame->SetStatusText(STATUS_NORMAL, std::wstring(300, L'x').c_str());
    EXPECT_EQ(frame->StatusText(), std::wstring(255, L'x'));
    frame->SetStatusText(STATUS_NORMAL, L"100% done %s %d & more");
    EXPECT_EQ(frame->StatusText(), L"100% done %s %d & more");
    frame->SetStatusTextUtf8(STATUS_ERROR, "Gr\xC3\xBC\xC3\x9F" "e");
    EXPECT_EQ(frame->StatusText(), L"Gr\u00FC\u00DFe");
    EXPECT_EQ(frame->StatusKind(), STATUS_ERROR);
    frame->SetStatusText(STATUS_NORMAL, nullptr);
    EXPECT_EQ(frame->StatusText(), L"");
}

TEST_F(WindowFrameTest, SwapChildDialogShowsNewDestroysOldAndIgnoresNull)
{
    auto page = [&] { return CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(133), hwnd,
                                                [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; }, 0); };
    HWND first = page();
    frame->SwapChildDialog(first);
    EXPECT_TRUE(IsWindowVisible(first));
    frame->SwapChildDialog(nullptr);
    EXPECT_EQ(frame->CurrentChild(), first);
    EXPECT_TRUE(IsWindowVisible(first));
    HWND second = page();
    frame->SwapChildDialog(second);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_TRUE(IsWindowVisible(second));
    EXPECT_EQ(frame->CurrentChild(), second);
}

TEST_F(WindowFrameTest, MenuCommandsPostAboutAndOptions)
{
    TakeThreadMessages();
    SendMessageW(hwnd, WM_COMMAND, 104, 0);
    SendMessageW(hwnd, WM_COMMAND, 32771, 0);
    SendMessageW(hwnd, WM_COMMAND, 4242, 0);
    auto posted = TakeThreadMessages();
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0].message, PLM_SHOW_ABOUT);
    EXPECT_EQ(posted[0].wParam, reinterpret_cast<WPARAM>(hwnd));
    EXPECT_EQ(posted[1].message, PLM_OPEN_OPTIONS);
    EXPECT_EQ(posted[1].wParam, reinterpret_cast<WPARAM>(hwnd));
}

TEST_F(WindowFrameTest, FlashTimerRunsUntilEachStoppingEvent)
{
    struct Stop {
        const char* name;
        UINT message;
        WPARAM wParam;
    } stops[] = {
        {"flash stop", WM_FRAME_FLASH_STOP, 0},
        {"activation", WM_ACTIVATE, WA_ACTIVE},
        {"click activation", WM_ACTIVATE, WA_CLICKACTIVE},
        {"non-client left press", WM_NCLBUTTONDOWN, HTNOWHERE},
        {"non-client right press", WM_NCRBUTTONDOWN, HTNOWHERE},
        {"non-client middle press", WM_NCMBUTTONDOWN, HTNOWHERE},
        {"close", WM_CLOSE, 0},
    };
    for (const Stop& s : stops) {
        wintest::Pump();
        SendMessageW(hwnd, WM_FRAME_FLASH_START, 0, 0);
        EXPECT_TRUE(frame->Flashing()) << s.name;
        Sleep(CWindowFrame::kFlashPeriodMs + 150);
        EXPECT_TRUE(TimerQueued()) << s.name << ": the timer ticks";
        wintest::Pump();  // a tick flashes the task-bar button (nothing to see without a shell)
        SendMessageW(hwnd, s.message, s.wParam, 0);
        EXPECT_FALSE(frame->Flashing()) << s.name;
        wintest::Pump();
        Sleep(CWindowFrame::kFlashPeriodMs + 150);
        EXPECT_FALSE(TimerQueued()) << s.name << ": the timer is gone";
    }
    EXPECT_EQ(frame->closes, 1);
}

LRESULT CALLBACK CountingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_FRAME_RELAYOUT) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, GetWindowLongPtrW(hwnd, GWLP_USERDATA) + 1);
        return TRUE;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

TEST_F(WindowFrameTest, RegisteredChildrenAreAnchoredAndToldOfEachResize)
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = CountingProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"CorviskFrameTestChild";
    RegisterClassW(&wc);
    // Anchoring needs an attached layout: a frame created with the anchor flag.
    frame.reset();
    TakeThreadMessages();
    frame = std::make_unique<TestFrame>();
    hwnd = frame->CreateFrameDialog(132, true);
    ShowWindow(hwnd, SW_SHOW);
    HWND stretch = CreateWindowW(L"CorviskFrameTestChild", L"", WS_CHILD | WS_VISIBLE, 10, 10, 100, 20, hwnd,
                                 nullptr, wc.hInstance, nullptr);
    HWND mover = CreateWindowW(L"CorviskFrameTestChild", L"", WS_CHILD | WS_VISIBLE, 200, 40, 30, 20, hwnd, nullptr,
                               wc.hInstance, nullptr);
    SendMessageW(hwnd, WM_FRAME_ANCHOR_CHILD, reinterpret_cast<WPARAM>(stretch), ANCHOR_LEFT | ANCHOR_RIGHT);
    SendMessageW(hwnd, WM_FRAME_ANCHOR_CHILD, reinterpret_cast<WPARAM>(mover), ANCHOR_RIGHT);
    RECT before;
    GetWindowRect(hwnd, &before);
    SetWindowPos(hwnd, nullptr, 0, 0, before.right - before.left + 100, before.bottom - before.top + 50,
                 SWP_NOMOVE | SWP_NOZORDER);
    wintest::Pump();
    // Registration widens a child by 16 pixels at 96 DPI (the edges the
    // frame leaves), so a stretched child grows by the resize plus 16.
    HDC screen = GetDC(nullptr);
    const int extra = 16 * GetDeviceCaps(screen, LOGPIXELSX) / 96;
    ReleaseDC(nullptr, screen);
    // The design size is the frame's outer size, so the first relayout
    // moves by the client width against it.
    RECT client;
    GetClientRect(hwnd, &client);
    const int grown = client.right - (before.right - before.left);
    RECT r;
    GetWindowRect(stretch, &r);
    MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.right - r.left, 100 + extra + grown);
    GetWindowRect(mover, &r);
    MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, 200 + grown);
    EXPECT_GT(grown, 80);
    EXPECT_EQ(GetWindowLongPtrW(stretch, GWLP_USERDATA), 1);
    EXPECT_EQ(GetWindowLongPtrW(mover, GWLP_USERDATA), 1);
    SetWindowPos(hwnd, nullptr, 0, 0, before.right - before.left, before.bottom - before.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    wintest::Pump();
    EXPECT_EQ(GetWindowLongPtrW(stretch, GWLP_USERDATA), 2);
    EXPECT_EQ(GetWindowLongPtrW(mover, GWLP_USERDATA), 2);
    wintest::SaveScreenshot(hwnd, L"WindowFrame", L"anchored");
}

} // namespace
