// The control bar against a test double of its context, under Wine on the
// private display: its window, buttons by role, commands with the take-back
// first, sliding by the pointer and the tray, the place written under
// "Topbar", the host's menu and the shared-windows dialog.
#include "meeting/CCtrlMenu.h"

#include "core/base/AppWindows.h"
#include "core/base/Registry.h"
#include "core/base/ThreadMessages.h"
#include "core/base/WindowUtil.h"
#include "meeting/CtrlMenuResources.h"
#include "tests/support/WindowTest_win.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr char kTopbarKey[] = "Software\\Quenlore\\SSL-VPN Parlemo\\Standalone\\Topbar";

class FakeContext : public CtrlMenuContext {
public:
    BarRoles roles;
    bool holder = false;
    bool recording = true;
    HWND viewer = nullptr;
    HWND tray = nullptr;
    std::vector<std::string> events;

    HINSTANCE Instance() const override { return GetModuleHandleW(nullptr); }
    BarRoles Roles() const override { return roles; }
    void PostToProgram(UINT message, WPARAM wParam, LPARAM) override
    {
        events.push_back("post " + std::to_string(message) + (wParam ? " with window" : ""));
    }
    bool TakeControlBack() override
    {
        if (!holder)
            return false;
        holder = false;
        events.push_back("take back");
        return true;
    }
    void RemoveInputWatch() override { events.push_back("remove watch"); }
    HWND TrayWindow() override { return tray; }
    bool RecordingAvailable() override { return recording; }
    HWND RecorderWindow() override { return nullptr; }
    HWND ViewerFrame() override { return viewer; }
    bool ViewerFullScreen() override { return false; }
    void LeaveViewerFullScreen() override {}
    void StartAnnotation() override { events.push_back("annotation"); }
    void StartWhiteboard() override { events.push_back("whiteboard"); }
};

RECT Work()
{
    RECT r;
    GetWorkArea(&r);
    return r;
}

RECT Rect(HWND w)
{
    RECT r;
    GetWindowRect(w, &r);
    return r;
}

std::vector<int> ButtonIds(HWND bar)
{
    std::vector<int> ids;
    for (HWND c = GetWindow(bar, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        ids.push_back(GetDlgCtrlID(c));
    return ids;
}

void Shoot(HWND w, const wchar_t* state)
{
    wintest::SavePrintedWindow(w, L"CtrlMenu", state);
}

void Command(HWND bar, int id)
{
    SendMessageW(bar, WM_COMMAND, static_cast<WPARAM>(id), 0);
    wintest::Pump();
}

TEST(CtrlMenuWindow, MadeForTheRoleAndCentred)
{
    auto ctx = std::make_shared<FakeContext>();
    ctx->roles = {1, 0, 0};
    CCtrlMenu bar(ctx);
    HWND w = bar.Window();
    ASSERT_NE(w, nullptr);
    wintest::PumpFor(100);
    wchar_t cls[32] = {};
    GetClassNameW(w, cls, 32);
    EXPECT_STREQ(cls, L"ControlMenu");
    const LONG_PTR ex = GetWindowLongPtrW(w, GWL_EXSTYLE);
    EXPECT_TRUE(ex & WS_EX_LAYERED);
    EXPECT_TRUE(ex & WS_EX_TOOLWINDOW);
    EXPECT_TRUE(ex & WS_EX_TOPMOST);
    const RECT r = Rect(w);
    const RECT work = Work();
    EXPECT_EQ(r.bottom - r.top, 86);
    EXPECT_EQ(r.right - r.left, BarWidth(ctx->roles));
    EXPECT_EQ(r.left, work.left + (work.right - work.left - BarWidth(ctx->roles)) / 2);
    EXPECT_EQ(r.top, work.top - 63);
    EXPECT_EQ(ButtonIds(w), (std::vector<int>{3000, 3002, 3004, 3010, 3001, 3003, 3005, 3007, 1, 3008, 3009}));
    // Laid out as made (regression: every button stayed 0 x 0 until the
    // first switch of the view).
    for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        const RECT b = Rect(c);
        EXPECT_GT(b.right - b.left, 0) << GetDlgCtrlID(c);
        EXPECT_GT(b.bottom - b.top, 0) << GetDlgCtrlID(c);
    }
    const std::vector<HWND> hidden = HiddenWindowList();
    EXPECT_NE(std::find(hidden.begin(), hidden.end(), w), hidden.end()) << "the bar is never in the picture";

    // The role text turns one character a second.
    const std::wstring before = bar.Marquee();
    EXPECT_EQ(before.rfind(L"You are the participant.", 0), 0u);
    wintest::PumpFor(1100);
    EXPECT_EQ(bar.Marquee(), TurnMarquee(before));
}

TEST(CtrlMenuWindow, CommandsTakeControlBackFirst)
{
    auto ctx = std::make_shared<FakeContext>();
    ctx->roles = {1, 1, 0};
    CCtrlMenu bar(ctx);
    HWND w = bar.Window();
    const struct {
        int id;
        std::vector<std::string> events;
    } rows[] = {
        {1, {"post 60101"}},
        {2, {"remove watch"}},
        {3000, {"take back", "remove watch", "post 60120"}},
        {3001, {"take back", "remove watch", "post 60118"}},
        {3002, {"take back", "remove watch", "post 60122"}},
        {3003, {"take back", "remove watch", "post 60119"}},
        {3007, {"take back", "remove watch", "post 60117 with window"}},
        {3010, {"take back", "remove watch", "post 60129"}},
        {3011, {"take back", "remove watch", "annotation"}},
        {3012, {"take back", "remove watch", "whiteboard"}},
        {0x800A, {"take back", "remove watch"}},
    };
    for (const auto& r : rows) {
        ctx->events.clear();
        ctx->holder = true;
        Command(w, r.id);
        EXPECT_EQ(ctx->events, r.events) << r.id;
    }
    // Nobody holds control: the button only does its own work.
    ctx->events.clear();
    ctx->holder = false;
    Command(w, 3001);
    EXPECT_EQ(ctx->events, (std::vector<std::string>{"post 60118"}));

    // The shared-windows dialog opens once.
    Command(w, 3013);
    HWND dlg = bar.SharedWindowsDialog();
    ASSERT_NE(dlg, nullptr);
    Command(w, 3013);
    EXPECT_EQ(bar.SharedWindowsDialog(), dlg);

    // Compact view and back.
    Command(w, 3008);
    EXPECT_FALSE(bar.FullView());
    EXPECT_EQ(Rect(w).bottom - Rect(w).top, kCompactHeight);
    SetWindowPos(w, nullptr, Rect(w).left, Work().top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    Shoot(w, L"compact");
    Command(w, 3008);
    EXPECT_TRUE(bar.FullView());
    EXPECT_EQ(Rect(w).bottom - Rect(w).top, kBarHeight);
    Shoot(w, L"full");
}

bool g_boxSeen = false;

void CALLBACK CloseWarningBox(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND box = wintest::FindTopLevel(L"#32770", L"Warning");
    if (!box)
        return;
    KillTimer(nullptr, id);
    g_boxSeen = true;
    wintest::SaveScreenshot(box, L"CtrlMenu", L"no_recorder");
    PostMessageW(box, WM_COMMAND, IDOK, 0);
}

TEST(CtrlMenuWindow, RecorderBoxAndViewerToggle)
{
    auto ctx = std::make_shared<FakeContext>();
    ctx->recording = false;
    HWND frame = CreateWindowW(L"STATIC", L"viewer frame", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                               nullptr, nullptr);
    ctx->viewer = frame;
    CCtrlMenu bar(ctx);
    HWND w = bar.Window();
    // The box runs its own loop: a timer inside it finds and closes it.
    g_boxSeen = false;
    SetTimer(nullptr, 0, 300, CloseWarningBox);
    Command(w, 3010);
    EXPECT_TRUE(g_boxSeen);
    EXPECT_TRUE(ctx->events.empty()) << "no recorder message without the recorder";

    Command(w, 3004);
    EXPECT_TRUE(IsWindowVisible(frame));
    Command(w, 3004);
    EXPECT_FALSE(IsWindowVisible(frame));
    Command(w, 3004);
    EXPECT_TRUE(IsWindowVisible(frame));
    ShowWindow(frame, SW_MINIMIZE);
    Command(w, 3004);
    EXPECT_FALSE(IsIconic(frame)) << "a minimised viewer comes back";
    DestroyWindow(frame);
}

int TopOf(HWND w)
{
    return Rect(w).top - Work().top;
}

TEST(CtrlMenuWindow, SlidesWithThePointerAndTheTray)
{
    auto ctx = std::make_shared<FakeContext>();
    CCtrlMenu bar(ctx);
    HWND w = bar.Window();
    const RECT r = Rect(w);
    // The pointer on the strip in sight brings the bar down to 0.
    SetCursorPos((r.left + r.right) / 2, r.bottom - 5);
    SendMessageW(w, WM_MOUSEMOVE, 0, 0);
    EXPECT_TRUE(wintest::WaitFor([&] { return TopOf(w) == 0; }, 3000)) << TopOf(w);
    // Kept over it, it stays; taken away, it goes back to -63.
    SetCursorPos((r.left + r.right) / 2, Work().top + 40);
    wintest::PumpFor(400);
    EXPECT_EQ(TopOf(w), 0);
    SetCursorPos(r.left + 5, Work().bottom - 5);
    EXPECT_TRUE(wintest::WaitFor([&] { return TopOf(w) == -63; }, 3000)) << TopOf(w);

    // Shown by the tray: down, and up again once the pointer is out of the strip.
    SendMessageW(w, WM_BAR_TRAY_SHOW, 500, 0);
    EXPECT_TRUE(wintest::WaitFor([&] { return TopOf(w) == 0; }, 3000)) << TopOf(w);
    EXPECT_TRUE(wintest::WaitFor([&] { return TopOf(w) == -63; }, 5000)) << TopOf(w);
}

TEST(CtrlMenuWindow, PlaceWrittenAndNotReadBack)
{
    auto ctx = std::make_shared<FakeContext>();
    RECT first;
    {
        CCtrlMenu bar(ctx);
        HWND w = bar.Window();
        SendMessageW(w, WM_COMMAND, 3008, 0);
        SetWindowPos(w, nullptr, 17, 5, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        first = Rect(w);
    }
    DWORD fullview = 9, left = 9, top = 9;
    EXPECT_EQ(RegReadDword(kTopbarKey, "fullview", fullview), 1);
    EXPECT_EQ(RegReadDword(kTopbarKey, "left", left), 1);
    EXPECT_EQ(RegReadDword(kTopbarKey, "top", top), 1);
    EXPECT_EQ(fullview, 0u);
    EXPECT_EQ(static_cast<LONG>(left), first.left);
    EXPECT_EQ(static_cast<LONG>(top), first.top);
    EXPECT_NE(std::find(ctx->events.begin(), ctx->events.end(), "remove watch"), ctx->events.end());
    CCtrlMenu again(ctx);
    const RECT work = Work();
    EXPECT_EQ(Rect(again.Window()).left, work.left + (work.right - work.left - BarWidth(ctx->roles)) / 2);
    EXPECT_EQ(Rect(again.Window()).top, work.top - 63);
}

void CALLBACK ShootMenu(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    if (HWND menu = wintest::FindTopLevel(L"#32768", nullptr))
        wintest::SaveScreenshot(menu, L"CtrlMenu", L"host_menu");
    EndMenu();
}

int RowOf(HWND list, HWND target)
{
    for (int i = 0; i < ListView_GetItemCount(list); ++i) {
        LVITEMW item = {};
        item.mask = LVIF_PARAM;
        item.iItem = i;
        if (ListView_GetItem(list, &item) && reinterpret_cast<HWND>(item.lParam) == target)
            return i;
    }
    return -1;
}

bool Hidden(HWND w)
{
    const std::vector<HWND> h = HiddenWindowList();
    return std::find(h.begin(), h.end(), w) != h.end();
}

TEST(CtrlMenuWindow, HostMenuAndSharedWindows)
{
    auto ctx = std::make_shared<FakeContext>();
    ctx->roles = {0, 1, 0};
    HWND target = CreateWindowW(L"STATIC", L"Bar test window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 300, 300, 200, 120,
                                nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(target, nullptr);
    CCtrlMenu bar(ctx);
    HWND w = bar.Window();
    SendMessageW(w, WM_MOUSEMOVE, 0, 0);
    wintest::WaitFor([&] { return TopOf(w) == 0; }, 3000);
    SetTimer(nullptr, 0, 400, ShootMenu);
    Command(w, 3009);

    Command(w, 3013);
    HWND dlg = bar.SharedWindowsDialog();
    ASSERT_NE(dlg, nullptr);
    HWND list = wintest::FindControl(dlg, IDC_SHARED_WINDOWS_LIST);
    const int row = RowOf(list, target);
    ASSERT_GE(row, 0);
    EXPECT_TRUE(ListView_GetCheckState(list, row));
    EXPECT_FALSE(Hidden(target));
    ListView_SetCheckState(list, row, FALSE);
    wintest::Pump();
    EXPECT_TRUE(Hidden(target)) << "unchecked: covered in the picture";
    // The refresh keeps the check.
    SendMessageW(dlg, WM_TIMER, 1, 0);
    EXPECT_FALSE(ListView_GetCheckState(list, RowOf(list, target)));
    Shoot(dlg, L"shared_windows");
    ListView_SetCheckState(list, RowOf(list, target), TRUE);
    wintest::Pump();
    EXPECT_FALSE(Hidden(target));
    wintest::Click(dlg, IDC_SHARED_UNSELECT_ALL);
    EXPECT_TRUE(Hidden(target));
    wintest::Click(dlg, IDC_SHARED_SELECT_ALL);
    EXPECT_FALSE(Hidden(target));
    // A window that is gone leaves the list.
    wintest::Click(dlg, IDC_SHARED_UNSELECT_ALL);
    DestroyWindow(target);
    EXPECT_FALSE(Hidden(target));
    wintest::Click(dlg, IDC_SHARED_SELECT_ALL);
}

} // namespace
