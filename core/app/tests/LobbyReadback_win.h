// What the tests of two programs in a meeting read back from a real lobby
// window: its list's rows, texts and marks, a toolbar button's value as its
// image shows it, and a user's click on a button.
#pragma once

#include "core/app/tests/SharePicture_win.h"
#include "tests/support/WindowTest_win.h"

#include <windows.h>
#include <commctrl.h>

#include <string>

namespace lobbytest {

inline std::wstring ItemText(HWND list, int row, int column)
{
    wchar_t text[256] = L"";
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 256;
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return text;
}

inline LPARAM ItemData(HWND list, int row)
{
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return item.lParam;
}

inline int Rows(HWND list)
{
    return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
}

// The button's value as its image shows it: image 4 x (id - 2500) + value.
inline int ButtonValue(HWND toolbar, int id)
{
    TBBUTTONINFOW info{};
    info.cbSize = sizeof(info);
    info.dwMask = TBIF_IMAGE;
    if (SendMessageW(toolbar, TB_GETBUTTONINFOW, id, reinterpret_cast<LPARAM>(&info)) < 0)
        return -100;
    return info.iImage - 4 * (id - 2500);
}

// A user's click in the middle of a toolbar button; the pointer then goes
// back where the host's screen shows nothing of the test.
inline void ClickButton(HWND toolbar, int id)
{
    RECT r{};
    SendMessageW(toolbar, TB_GETRECT, id, reinterpret_cast<LPARAM>(&r));
    MapWindowPoints(toolbar, nullptr, reinterpret_cast<POINT*>(&r), 2);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    wintest::PumpFor(100);
    INPUT in[2]{};
    in[0].type = in[1].type = INPUT_MOUSE;
    in[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, in, sizeof(INPUT));
    wintest::PumpFor(300);
    SetCursorPos(sharetest::kPointerX, sharetest::kPointerY);
}

// A screenshot of the window on top of everything, then back among the others.
inline void Shot(HWND frame, const wchar_t* test, const wchar_t* state)
{
    SetWindowPos(frame, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    wintest::PumpFor(500);
    EXPECT_FALSE(wintest::SaveScreenshot(frame, test, state).empty()) << state;
    SetWindowPos(frame, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

} // namespace lobbytest
