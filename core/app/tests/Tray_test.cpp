// The tray under Wine: its window and property, the menu for each state, the
// icon's notifications and commands, the balloons and the option defaults.
#include "core/app/Tray.h"

#include "core/base/MenuSubclass.h"
#include "core/base/Registry.h"
#include "core/app/SingleInstance.h"
#include "core/base/ThreadMessages.h"
#include "core/app/res/resource.h"
#include "core/app/tests/ManagerFakes.h"
#include "meeting/CCanvas.h"
#include "core/app/ManagerLobby_win.h"
#include "meeting/CMeetingLobby.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace {

// Other tests start Corvisk.exe at the same time, whose tray windows carry the
// same property: look only at this process's windows.
BOOL CALLBACK FindOwnTrayWindowProc(HWND hwnd, LPARAM lParam)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != GetCurrentProcessId())
        return TRUE;
    return FindTrayWindowProc(hwnd, lParam);
}

constexpr char kOptions[] = "Software\\Quenlore\\SSL-VPN Parlemo\\Standalone\\Options";

class TrayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ManagerServices s;
        s.transport = std::make_unique<FakeTransport>(log);
        auto a = std::make_unique<FakeAppliance>(log);
        appliance = a.get();
        s.appliance = std::move(a);
        manager = std::make_unique<CManager>(GetModuleHandleW(nullptr), std::move(s));
        manager->mainThreadId = GetCurrentThreadId();
    }
    void TearDown() override
    {
        DeleteAndClear(manager->tray);
        manager.reset();
    }
    std::vector<std::wstring> MenuTexts()
    {
        manager->tray->PrepareMenu();
        HMENU popup = GetSubMenu(manager->tray->Menu(), 0);
        std::vector<std::wstring> items;
        for (int i = 0; i < GetMenuItemCount(popup); ++i) {
            wchar_t text[64] = L"";
            GetMenuStringW(popup, i, text, 64, MF_BYPOSITION);
            items.push_back(text[0] ? text : L"-");
        }
        return items;
    }
    bool ThreadMessage(UINT message, WPARAM* w = nullptr)
    {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.hwnd == nullptr && msg.message == message) {
                if (w)
                    *w = msg.wParam;
                return true;
            }
            DispatchMessageW(&msg);
        }
        return false;
    }

    CallLog log;
    FakeAppliance* appliance = nullptr;
    std::unique_ptr<CManager> manager;
};

} // namespace

TEST_F(TrayTest, WindowCarriesThePropertyAndOptionsGetDefaults)
{
    RegDeleteKeyTree(HKEY_CURRENT_USER, kOptions, "PartiMark");
    RegDeleteKeyTree(HKEY_CURRENT_USER, kOptions, "AudioTransType");
    manager->tray = new CTray(manager.get());
    HWND tray = manager->tray->Window();
    ASSERT_NE(tray, nullptr);
    wchar_t text[64] = {};
    GetClassNameW(tray, text, 64);
    EXPECT_STREQ(text, kTrayWindowClass);
    GetWindowTextW(tray, text, 64);
    EXPECT_STREQ(text, kTrayWindowClass);
    HWND found = nullptr;
    EnumWindows(FindOwnTrayWindowProc, reinterpret_cast<LPARAM>(&found));
    EXPECT_EQ(found, tray);
    EXPECT_FALSE(IsWindowVisible(tray));
    EXPECT_EQ(manager->tray->ToolTip(), L"Secure Parlemo Stand Alone Client");
    DWORD v = 77;
    EXPECT_TRUE(RegReadDword(kOptions, "PartiMark", v));
    EXPECT_EQ(v, 1u);
    EXPECT_TRUE(RegReadDword(kOptions, "AudioTransType", v));
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(manager->partiMarkEnabled, 1);
    EXPECT_FALSE(manager->tray->MediaFolder().empty());

    DeleteAndClear(manager->tray);
    found = nullptr;
    EnumWindows(FindOwnTrayWindowProc, reinterpret_cast<LPARAM>(&found));
    EXPECT_EQ(found, nullptr);
}

TEST_F(TrayTest, MenuFollowsTheMeeting)
{
    manager->tray = new CTray(manager.get());
    using V = std::vector<std::wstring>;
    EXPECT_EQ(MenuTexts(), (V{L"Settings", L"View Log", L"-", L"About Secure Parlemo", L"-", L"Exit"}));

    manager->lobby = new CMeetingLobby(MakeLobbyContext(*manager));
    EXPECT_EQ(MenuTexts(), (V{L"Settings", L"View Log", L"Show Meeting Details", L"-",
                              L"About Secure Parlemo", L"-", L"Exit"}));
    appliance->detailsVisible = true;
    // A peer's whiteboard opens here as a viewer.
    manager->canvas2->ApplyMessage(
        "CEWB:3\r\nCtlCode---:700\r\nCtlCode---:480\r\nCtlCode---:2048\r\nCtlCode---:1536\r\n");
    HWND board = manager->canvas2->FrameWindow();
    ASSERT_NE(board, nullptr);
    ShowWindow(board, SW_HIDE);
    EXPECT_EQ(MenuTexts(), (V{L"Settings", L"View Log", L"Hide Meeting Details", L"Show White Board", L"-",
                              L"About Secure Parlemo", L"-", L"Exit"}));
    // The whiteboard item shows and hides it.
    SendMessageW(manager->tray->Window(), WM_COMMAND, IDM_TRAY_WHITEBOARD, 0);
    EXPECT_TRUE(IsWindowVisible(board));
    EXPECT_EQ(MenuTexts()[3], L"Hide White Board");
    SendMessageW(manager->tray->Window(), WM_COMMAND, IDM_TRAY_DETAILS, 0);
    EXPECT_TRUE(log.Has("ToggleMeetingDetails"));
    SendMessageW(manager->tray->Window(), WM_COMMAND, IDM_TRAY_WHITEBOARD, 0);
    EXPECT_FALSE(IsWindowVisible(board));
    manager->canvas2->Close();
    for (int i = 0; i < 500 && manager->canvas2->FrameWindow(); ++i)
        Sleep(10);
    EXPECT_EQ(manager->canvas2->FrameWindow(), nullptr);
    DeleteAndClear(manager->lobby);
}

TEST_F(TrayTest, ClicksAndCommandsPostToTheMainThread)
{
    manager->tray = new CTray(manager.get());
    HWND tray = manager->tray->Window();
    WPARAM w = 99;
    for (UINT mouse : {WM_LBUTTONUP, WM_LBUTTONDBLCLK}) {
        EXPECT_EQ(SendMessageW(tray, WM_TRAY_NOTIFY, kTrayIconId, mouse), 1);
        EXPECT_TRUE(ThreadMessage(PLM_TRAY_ACTIVATE, &w)) << mouse;
        EXPECT_EQ(w, 0u);
    }
    SendMessageW(tray, WM_COMMAND, IDM_TRAY_ABOUT, 0);
    EXPECT_TRUE(ThreadMessage(PLM_SHOW_ABOUT, &w));
    EXPECT_EQ(w, reinterpret_cast<WPARAM>(tray));
    SendMessageW(tray, WM_COMMAND, IDM_TRAY_EXIT, 0);
    EXPECT_TRUE(ThreadMessage(PLM_QUIT));
}

TEST_F(TrayTest, BalloonsAreCutAndSafeFromManyThreads)
{
    manager->tray = new CTray(manager.get());
    std::wstring title(80, L'T'), text(300, L'x');
    EXPECT_TRUE(manager->ShowTrayBalloon(title.c_str(), text.c_str()));
    EXPECT_TRUE(manager->ShowTrayBalloon(nullptr, nullptr));
    std::vector<std::thread> threads;
    std::atomic<int> refused{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            std::wstring s(10 + t, L'a' + t);
            for (int i = 0; i < 50; ++i)
                if (!manager->ShowTrayBalloon(s.c_str(), s.c_str()))
                    ++refused;
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(refused.load(), 0);
    DeleteAndClear(manager->tray);
    EXPECT_FALSE(manager->ShowTrayBalloon(L"a", L"b"));  // no tray: false
}

// The balloon record: each text in its own field, cut at 63 and 255
// characters, nothing left over from the icon's record.
TEST(BalloonRecord, TitleAndTextEachCutInTheirOwnField)
{
    NOTIFYICONDATAW icon{};
    icon.cbSize = sizeof(icon);
    icon.hWnd = reinterpret_cast<HWND>(0x1234);
    icon.uID = kTrayIconId;
    icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    std::fill(std::begin(icon.szInfo), std::end(icon.szInfo) - 1, L'o');  // an older balloon
    std::fill(std::begin(icon.szInfoTitle), std::end(icon.szInfoTitle) - 1, L'o');
    std::fill(std::begin(icon.szTip), std::end(icon.szTip) - 1, L'o');

    const std::wstring t63(63, L'T'), t64(64, L'T'), t80(80, L'T');
    const std::wstring x255(255, L'x'), x256(256, L'x'), x300(300, L'x');
    struct {
        const wchar_t* title;
        const wchar_t* text;
        std::wstring shownTitle, shownText;
    } cases[] = {
        {L"File", L"report.txt arrived", L"File", L"report.txt arrived"},
        {t63.c_str(), x255.c_str(), t63, x255},
        {t64.c_str(), x256.c_str(), t63, x255},
        {t80.c_str(), x300.c_str(), t63, x255},
        {nullptr, L"text only", L"", L"text only"},
        {L"title only", nullptr, L"title only", L""},
        {nullptr, nullptr, L"", L""},
    };
    for (const auto& c : cases) {
        NOTIFYICONDATAW r = MakeBalloonRecord(icon, c.title, c.text);
        EXPECT_EQ(std::wstring(r.szInfoTitle), c.shownTitle);
        EXPECT_EQ(std::wstring(r.szInfo), c.shownText);
        EXPECT_EQ(r.cbSize, sizeof(NOTIFYICONDATAW));
        EXPECT_EQ(r.hWnd, icon.hWnd);
        EXPECT_EQ(r.uID, kTrayIconId);
        EXPECT_EQ(r.uFlags, static_cast<UINT>(NIF_INFO));
        EXPECT_EQ(r.uTimeout, 5000u);
        EXPECT_EQ(r.dwInfoFlags, static_cast<DWORD>(NIIF_INFO));
        EXPECT_EQ(r.szTip[0], L'\0');
    }
}

namespace {

struct MenuShot {
    RECT rect{};
    bool seen = false;
    int distinctColours = 0;
};
MenuShot g_shot;

BOOL CALLBACK FindMenuWindow(HWND hwnd, LPARAM)
{
    wchar_t cls[16] = L"";
    GetClassNameW(hwnd, cls, 16);
    if (std::wstring(cls) == L"#32768" && IsWindowVisible(hwnd)) {
        GetWindowRect(hwnd, &g_shot.rect);
        g_shot.seen = true;
        return FALSE;
    }
    return TRUE;
}

// Saves the screen as a 24-bit BMP beside the test and counts the colours
// inside the menu's rectangle.
void CaptureScreen(const wchar_t* path)
{
    int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, dib);
    BitBlt(mem, 0, 0, w, h, screen, 0, 0, SRCCOPY);
    auto* px = static_cast<const uint32_t*>(bits);
    std::vector<uint32_t> colours;
    for (int y = std::max(0L, g_shot.rect.top); y < std::min<long>(h, g_shot.rect.bottom); ++y)
        for (int x = std::max(0L, g_shot.rect.left); x < std::min<long>(w, g_shot.rect.right); ++x)
            if (std::find(colours.begin(), colours.end(), px[y * w + x] & 0xFFFFFF) == colours.end() &&
                colours.size() < 64)
                colours.push_back(px[y * w + x] & 0xFFFFFF);
    g_shot.distinctColours = static_cast<int>(colours.size());

    // Screen pixels come with alpha 0; opaque, so viewers show them.
    auto* opaque = static_cast<uint32_t*>(bits);
    for (int i = 0; i < w * h; ++i)
        opaque[i] |= 0xFF000000u;

    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof(fh) + sizeof(bi.bmiHeader);
    fh.bfSize = fh.bfOffBits + static_cast<DWORD>(w * h * 4);
    HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f != INVALID_HANDLE_VALUE) {
        DWORD n;
        WriteFile(f, &fh, sizeof(fh), &n, nullptr);
        WriteFile(f, &bi.bmiHeader, sizeof(bi.bmiHeader), &n, nullptr);
        WriteFile(f, bits, static_cast<DWORD>(w * h * 4), &n, nullptr);
        CloseHandle(f);
    }
    SelectObject(mem, old);
    DeleteObject(dib);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
}

} // namespace

// A right click opens the menu at the cursor (through the program's popup-menu
// class); the screenshot "tray_menu.bmp" is kept beside the test.
TEST_F(TrayTest, RightClickShowsTheMenuOnScreen)
{
    SubclassPopupMenus(GetModuleHandleW(nullptr));
    manager->tray = new CTray(manager.get());
    SetCursorPos(400, 300);
    g_shot = MenuShot{};
    UINT_PTR timer = SetTimer(nullptr, 0, 400, [](HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        EnumWindows(FindMenuWindow, 0);
        CaptureScreen(L"tray_menu.bmp");
        EndMenu();
    });
    ASSERT_NE(timer, 0u);
    SendMessageW(manager->tray->Window(), WM_TRAY_NOTIFY, kTrayIconId, WM_RBUTTONUP);
    ASSERT_TRUE(g_shot.seen);
    EXPECT_GT(g_shot.rect.right - g_shot.rect.left, 40);
    EXPECT_GT(g_shot.distinctColours, 2);  // drawn text, not a blank box
}
