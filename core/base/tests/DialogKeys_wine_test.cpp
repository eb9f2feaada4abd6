// Enter and Tab in the pages: a table of (class, id, key, Shift) to the
// message posted to the page or the frame.
#include "core/base/DialogKeys_win.h"
#include "tests/support/WindowTest_win.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Posted {
    HWND to;
    UINT message;
    WPARAM wParam;
};
std::vector<Posted> g_posted;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_COMMAND || msg == WM_NEXTDLGCTL) {
        g_posted.push_back({hwnd, msg, wParam});
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

// frame > page > controls (and a combo's edit box for the Enter/Tab procedure).
class KeyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = RecordingProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"CorviskKeyTestWindow";
        RegisterClassW(&wc);
        frame = CreateWindowW(wc.lpszClassName, L"", WS_POPUP, 0, 0, 300, 200, nullptr, nullptr, wc.hInstance,
                              nullptr);
        page = CreateWindowW(wc.lpszClassName, L"", WS_CHILD, 0, 0, 300, 200, frame, nullptr, wc.hInstance,
                             nullptr);
    }
    void TearDown() override { DestroyWindow(frame); }
    HWND Control(const wchar_t* cls, int id, WNDPROC proc)
    {
        HWND h = CreateWindowW(cls, L"", WS_CHILD, 0, 0, 80, 20, page, reinterpret_cast<HMENU>(INT_PTR(id)),
                               nullptr, nullptr);
        EXPECT_TRUE(InstallKeySubclass(h, proc));
        return h;
    }
    static void Shift(bool down)
    {
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_SHIFT] = down ? 0x80 : 0;
        SetKeyboardState(keys);
    }
    HWND frame = nullptr, page = nullptr;
};

TEST_F(KeyTest, EnterAndTabPostTheirMessages)
{
    struct Case {
        const char* name;
        const wchar_t* cls;
        int id;
        bool enterTab;  // EnterTabSubclassProc, else DlgButtonEditSubclassProc
        UINT key;
        bool shift;
        UINT message;  // 0: nothing posted
        WPARAM wParam;
    } cases[] = {
        {"OK button, Enter", L"Button", 1, false, VK_RETURN, false, WM_COMMAND, 1},
        {"Cancel button, Enter", L"Button", 2, false, VK_RETURN, false, WM_COMMAND, 2},
        {"Host button, Enter", L"Button", 1002, false, VK_RETURN, false, WM_COMMAND, 1002},
        {"other button, Enter", L"Button", 1500, false, VK_RETURN, false, 0, 0},
        {"edit, Enter", L"Edit", 1006, false, VK_RETURN, false, WM_COMMAND, 1},
        {"edit, Tab", L"Edit", 1006, false, VK_TAB, false, WM_NEXTDLGCTL, 0},
        {"button, Tab", L"Button", 1, false, VK_TAB, false, WM_NEXTDLGCTL, 0},
        {"edit, Shift+Tab", L"Edit", 1006, false, VK_TAB, true, WM_NEXTDLGCTL, 0},
        {"combo edit, Enter", L"Edit", 1001, true, VK_RETURN, false, WM_COMMAND, 1},
        {"combo edit, Tab", L"Edit", 1001, true, VK_TAB, false, WM_NEXTDLGCTL, 0},
        {"combo edit, Shift+Tab", L"Edit", 1001, true, VK_TAB, true, WM_NEXTDLGCTL, 1},
        {"edit, letter", L"Edit", 1006, false, 'A', false, 0, 0},
    };
    for (const Case& c : cases) {
        HWND parent = page;
        if (c.enterTab)  // the edit box of a combo: its grandparent is the target
            parent = CreateWindowW(L"STATIC", L"", WS_CHILD, 0, 0, 80, 20, page, nullptr, nullptr, nullptr);
        HWND h = CreateWindowW(c.cls, L"", WS_CHILD, 0, 0, 80, 20, parent, reinterpret_cast<HMENU>(INT_PTR(c.id)),
                               nullptr, nullptr);
        ASSERT_TRUE(InstallKeySubclass(h, c.enterTab ? EnterTabSubclassProc : DlgButtonEditSubclassProc));
        EXPECT_TRUE(SendMessageW(h, WM_GETDLGCODE, 0, 0) & DLGC_WANTALLKEYS) << c.name;
        Shift(c.shift);
        g_posted.clear();
        SendMessageW(h, WM_KEYDOWN, c.key, 0);
        wintest::Pump();
        Shift(false);
        if (c.message == 0) {
            EXPECT_TRUE(g_posted.empty()) << c.name;
        } else {
            ASSERT_EQ(g_posted.size(), 1u) << c.name;
            EXPECT_EQ(g_posted[0].to, page) << c.name;
            EXPECT_EQ(g_posted[0].message, c.message) << c.name;
            EXPECT_EQ(g_posted[0].wParam, c.wParam) << c.name;
        }
        EXPECT_EQ(SendMessageW(h, WM_CHAR, c.key == VK_RETURN ? L'\r' : L'\t', 0), 0) << c.name;
        DestroyWindow(c.enterTab ? parent : h);
    }
}

TEST_F(KeyTest, CommandsAndFocusMovesReachingAButtonGoToItsPage)
{
    HWND button = Control(L"Button", 1002, DlgButtonEditSubclassProc);
    g_posted.clear();
    SendMessageW(button, WM_COMMAND, 1, 0);
    SendMessageW(button, WM_COMMAND, 5, 0);  // swallowed
    SendMessageW(button, WM_NEXTDLGCTL, 0, 0);
    wintest::Pump();
    ASSERT_EQ(g_posted.size(), 2u);
    EXPECT_EQ(g_posted[0].message, static_cast<UINT>(WM_COMMAND));
    EXPECT_EQ(g_posted[0].wParam, 1u);
    EXPECT_EQ(g_posted[1].message, static_cast<UINT>(WM_NEXTDLGCTL));
    EXPECT_FALSE(InstallKeySubclass(button, DlgButtonEditSubclassProc)) << "installed once";
}

} // namespace
