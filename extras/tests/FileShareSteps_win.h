// A user's steps in file sharing's real windows, shared by the tests that
// drive them in one process or in two programs of a meeting: offering a file
// through "Select File" and the real open dialog, downloading a row through
// the real save dialog, and reading the lists back.
#pragma once

#include "core/base/WinHandle.h"
#include "extras/FileShare.h"
#include "extras/FileShareResources.h"
#include "extras/tests/PrivateBytes_win.h"
#include "tests/support/WindowTest_win.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace fstest {

inline void WriteRandom(const std::wstring& path, size_t size, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<char> block(1 << 16);
    WinHandle f(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    for (size_t done = 0; done < size;) {
        for (char& c : block)
            c = static_cast<char>(rng());
        DWORD n = static_cast<DWORD>(std::min(block.size(), size - done)), written = 0;
        WriteFile(f.get(), block.data(), n, &written, nullptr);
        done += n;
    }
}

inline std::wstring Cell(HWND list, int row, int column)
{
    wchar_t buf[260] = L"";
    ListView_GetItemText(list, row, column, buf, 260);
    return buf;
}

// The visible dialogs of this process.
inline std::vector<HWND> OwnDialogs()
{
    std::vector<HWND> out;
    for (HWND h = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); h; h = FindWindowExW(nullptr, h, L"#32770", nullptr)) {
        DWORD pid = 0;
        GetWindowThreadProcessId(h, &pid);
        if (pid == GetCurrentProcessId() && IsWindowVisible(h))
            out.push_back(h);
    }
    return out;
}

// A visible dialog of this process that is none of the given ones.
inline HWND NewDialog(const std::vector<HWND>& known, const wchar_t* title = nullptr)
{
    HWND found = nullptr;
    wintest::WaitFor([&] {
        found = nullptr;
        for (HWND h : OwnDialogs()) {
            if (title && wintest::Text(h) != title)
                continue;
            if (std::find(known.begin(), known.end(), h) == known.end())
                found = h;
        }
        return found != nullptr;
    }, 30000);  // a file dialog's first showing can take long on a busy machine
    return found;
}

inline void ChooseInFileDialog(HWND files, const std::wstring& path)
{
    SendMessageW(files, CDM_SETCONTROLTEXT, edt1, reinterpret_cast<LPARAM>(path.c_str()));
    SendMessageW(files, CDM_SETCONTROLTEXT, cmb13, reinterpret_cast<LPARAM>(path.c_str()));
    PostMessageW(files, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(files, IDOK)));
}

inline std::wstring FileDialogName(HWND files)
{
    wchar_t buf[MAX_PATH] = L"";
    HWND edit = GetDlgItem(files, cmb13);
    if (!edit)
        edit = GetDlgItem(files, edt1);
    GetWindowTextW(edit, buf, MAX_PATH);
    return buf;
}

inline HWND SettingsPanel(FileShare& host)
{
    return wintest::FindChildWithControl(host.HostDialog(), IDC_FS_PUBLISH);
}

inline HWND UsersPanel(FileShare& host)
{
    return wintest::FindChildWithControl(host.HostDialog(), IDC_FS_USERS);
}

inline HWND ReceivedList(FileShare& guest)
{
    return GetDlgItem(guest.ParticipantDialog(), IDC_FS_RECEIVED);
}

// "Select File" with the real open dialog, then Publish to everybody; the
// settings panel's screenshot under test/shot when shot is given.
inline void Offer(FileShare& host, const std::wstring& path, const wchar_t* test = nullptr, const wchar_t* shot = nullptr)
{
    if (!host.HostDialog())
        host.ShowWindow();
    HWND dlg = host.HostDialog();
    HWND list = GetDlgItem(dlg, IDC_FS_FILES);
    const int rows = ListView_GetItemCount(list);
    const std::vector<HWND> known = OwnDialogs();
    PostMessageW(dlg, WM_COMMAND, IDM_FS_SELECT, 0);
    HWND files = NewDialog(known);
    ASSERT_NE(files, nullptr);
    ChooseInFileDialog(files, path);
    ASSERT_TRUE(wintest::WaitFor([&] { return IsWindowVisible(SettingsPanel(host)) != FALSE; }));
    ASSERT_EQ(ListView_GetItemCount(list), rows + 1);
    if (shot)
        wintest::SaveScreenshot(dlg, test, shot);
    wintest::Click(SettingsPanel(host), IDC_FS_PUBLISH);
    ASSERT_TRUE(wintest::WaitFor([&] { return !IsWindowVisible(SettingsPanel(host)); }));
}

inline int ReceivedRow(FileShare& guest, const std::wstring& name)
{
    HWND list = ReceivedList(guest);
    for (int i = 0; i < ListView_GetItemCount(list); ++i)
        if (Cell(list, i, 0) == name)
            return i;
    return -1;
}

// The row's state, and its progress when one is given.
inline bool ReceivedState(FileShare& guest, const std::wstring& name, const std::wstring& state,
                          const std::wstring& progress = L"")
{
    const int row = ReceivedRow(guest, name);
    HWND list = ReceivedList(guest);
    return row >= 0 && Cell(list, row, 1) == state && (progress.empty() || Cell(list, row, 2) == progress);
}

// "Download" on a row: the save dialog proposes a name; the file goes to
// the folder under the name proposed (or the one given). The target's path.
inline std::wstring Download(FileShare& guest, const std::wstring& name, const std::wstring& folder,
                             std::wstring* proposed = nullptr, const wchar_t* as = nullptr)
{
    HWND list = ReceivedList(guest);
    int row = -1;
    EXPECT_TRUE(wintest::WaitFor([&] { return (row = ReceivedRow(guest, name)) >= 0; }))
        << "no row " << std::string(name.begin(), name.end());
    if (row < 0)
        return L"";
    ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    const std::vector<HWND> known = OwnDialogs();
    PostMessageW(guest.ParticipantDialog(), WM_COMMAND, IDM_FS_DOWNLOAD, 0);
    HWND save = NewDialog(known);
    EXPECT_NE(save, nullptr);
    if (!save)
        return L"";
    wintest::PumpFor(200);
    const std::wstring offered = FileDialogName(save);
    if (proposed)
        *proposed = offered;
    const std::wstring target = folder + (as ? as : offered.c_str());
    ChooseInFileDialog(save, target);
    EXPECT_TRUE(wintest::WaitFor([&] { return !IsWindow(save); }));
    // The save thread is through once the row says so.
    EXPECT_TRUE(wintest::WaitFor([&] { return !ReceivedState(guest, name, L"Not Downloaded"); }));
    return target;
}

} // namespace fstest
