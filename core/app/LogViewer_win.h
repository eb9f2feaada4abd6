#pragma once
// The log viewer: the program's log file as a table with a level filter, a
// filter by user and the selected line's message below. One viewer at a
// time, a modal dialog on a thread of its own; the tray opens it.
#include "core/app/DialogThread_win.h"
#include "core/base/LogLine.h"

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

class CLogViewer {
public:
    // logPath: the log file (ANSI path, as the logger names it).
    CLogViewer(HINSTANCE instance, std::string logPath);
    // Closes an open viewer and waits (bounded) for its thread.
    ~CLogViewer();
    CLogViewer(const CLogViewer&) = delete;
    CLogViewer& operator=(const CLogViewer&) = delete;

    // Opens the viewer, or brings the open one to the front.
    void Open();
    // The viewer's window while it is open, else null.
    HWND Window() const { return m_dialog.Window(); }

    static constexpr int kMinTrackWidth = 600;
    static constexpr int kMinTrackHeight = 540;

private:
    static INT_PTR CALLBACK DlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void Run();
    void OnInitDialog(HWND hwnd);
    void Layout();
    void LoadLogFile();
    void OnCommand(UINT id);
    void OnNotify(const NMHDR* header);
    void OnInitMenuPopup(HMENU popup);
    void FillFilterMenu(HMENU popup);
    void FillUserMenu(HMENU action);

    HINSTANCE m_instance;
    std::wstring m_logPath;

    // The dialog's thread only.
    HWND m_dlg = nullptr;
    HWND m_list = nullptr;
    HMENU m_menu = nullptr;
    HIMAGELIST m_images = nullptr;
    int m_filter = LOGVIEW_ALL;
    std::vector<std::wstring> m_users;
    int m_userIndex = -1;  // -1: all users
    LogTableReader m_table;  // the rows listed
    // Last: closed and joined first.
    DialogThread m_dialog;
};
