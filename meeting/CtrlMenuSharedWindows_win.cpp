// The host's choice of windows left out of the shared picture: every visible,
// non-layered top-level window, the desktop's icons and the taskbar, with a
// check box each; an unchecked window is on the hidden-window list, which the
// capture covers. The list is filled again every 5 s, its checks taken from
// the hidden-window list.
#include "meeting/CCtrlMenu.h"

#include "core/base/AppWindows.h"
#include "core/base/LoadResString.h"
#include "core/base/WindowUtil.h"
#include "meeting/CtrlMenuResources.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <map>

namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMs = 5000;

struct ShareableWindow {
    HWND hwnd;
    std::wstring title;
};

// The desktop's icon view: under "Progman", or under a "WorkerW" window.
HWND DesktopIconView()
{
    HWND view = FindWindowExW(FindWindowW(L"Progman", nullptr), nullptr, L"SHELLDLL_DefView", nullptr);
    for (HWND worker = nullptr; !view && (worker = FindWindowExW(nullptr, worker, L"WorkerW", nullptr));)
        view = FindWindowExW(worker, nullptr, L"SHELLDLL_DefView", nullptr);
    return view ? FindWindowExW(view, nullptr, L"SysListView32", nullptr) : nullptr;
}

// A window offered for sharing: visible, top-level, not layered, titled, not
// the desktop's own windows.
bool Shareable(HWND hwnd)
{
    if (!IsWindowVisible(hwnd) || (GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED))
        return false;
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    if (!wcscmp(cls, L"Progman") || !wcscmp(cls, L"WorkerW") || !wcscmp(cls, L"Shell_TrayWnd"))
        return false;
    return GetWindowTextLengthW(hwnd) > 0;
}

BOOL CALLBACK Collect(HWND hwnd, LPARAM lp)
{
    if (Shareable(hwnd)) {
        wchar_t title[256] = {};
        GetWindowTextW(hwnd, title, 256);
        reinterpret_cast<std::vector<ShareableWindow>*>(lp)->push_back({hwnd, title});
    }
    return TRUE;
}

// The small icon of the program that runs the window's process.
HICON ProcessIcon(HWND hwnd)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    HICON icon = nullptr;
    if (process) {
        wchar_t path[MAX_PATH] = {};
        DWORD size = MAX_PATH;
        if (QueryFullProcessImageNameW(process, 0, path, &size))
            ExtractIconExW(path, 0, nullptr, &icon, 1);
        CloseHandle(process);
    }
    return icon;
}

} // namespace

void CCtrlMenu::OpenSharedWindows()
{
    if (m_sharedDlg && IsWindow(m_sharedDlg))
        return;
    m_sharedDlg = CreateDialogParamW(m_context->Instance(), MAKEINTRESOURCEW(IDD_SHARED_WINDOWS), nullptr,
                                     SharedWindowsDlgProc, reinterpret_cast<LPARAM>(this));
    if (!m_sharedDlg)
        return;
    POINT pt;
    GetCursorPos(&pt);
    SetWindowPos(m_sharedDlg, HWND_TOPMOST, pt.x, pt.y, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
}

INT_PTR CALLBACK CCtrlMenu::SharedWindowsDlgProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_INITDIALOG)
        SetWindowLongPtrW(hwnd, DWLP_USER, lp);
    auto* self = reinterpret_cast<CCtrlMenu*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    return self ? self->OnSharedWindowsMessage(hwnd, msg, wp, lp) : FALSE;
}

INT_PTR CCtrlMenu::OnSharedWindowsMessage(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG: {
        MakeOwnLayeredWindow(dlg);
        static ResStringSlot title, column, all, none;
        SetWindowTextW(dlg, LoadResString(title, IDS_SHARED_WINDOWS_TITLE));
        SetDlgItemTextW(dlg, IDC_SHARED_SELECT_ALL, LoadResString(all, IDS_SHARED_SELECT_ALL));
        SetDlgItemTextW(dlg, IDC_SHARED_UNSELECT_ALL, LoadResString(none, IDS_SHARED_UNSELECT_ALL));
        HWND list = GetDlgItem(dlg, IDC_SHARED_WINDOWS_LIST);
        ListView_SetExtendedListViewStyle(list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
        RECT rc;
        GetClientRect(list, &rc);
        LVCOLUMNW col = {};
        col.mask = LVCF_TEXT | LVCF_WIDTH;
        col.cx = rc.right - GetSystemMetrics(SM_CXVSCROLL);
        col.pszText = const_cast<wchar_t*>(LoadResString(column, IDS_SHARED_COLUMN));
        ListView_InsertColumn(list, 0, &col);
        // The list owns its image list and destroys it with itself.
        ListView_SetImageList(list, ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 8, 8), LVSIL_SMALL);
        CheckRadioButton(dlg, IDC_SHARED_SELECT_ALL, IDC_SHARED_UNSELECT_ALL, IDC_SHARED_SELECT_ALL);
        FillSharedWindows(dlg);
        SetTimer(dlg, kRefreshTimer, kRefreshMs, nullptr);
        return TRUE;
    }
    case WM_TIMER:
        if (wp == kRefreshTimer)
            FillSharedWindows(dlg);
        return TRUE;
    case WM_NOTIFY: {
        const auto* change = reinterpret_cast<const NMLISTVIEW*>(lp);
        if (change->hdr.idFrom == IDC_SHARED_WINDOWS_LIST && change->hdr.code == LVN_ITEMCHANGED &&
            (change->uChanged & LVIF_STATE) && ((change->uNewState ^ change->uOldState) & LVIS_STATEIMAGEMASK) &&
            !m_filling)
            ApplySharedChecks(dlg);
        return TRUE;
    }
    case WM_COMMAND:
        if (HIWORD(wp) == BN_CLICKED && (LOWORD(wp) == IDC_SHARED_SELECT_ALL || LOWORD(wp) == IDC_SHARED_UNSELECT_ALL))
            CheckAll(dlg, LOWORD(wp) == IDC_SHARED_SELECT_ALL);
        else if (LOWORD(wp) == IDCANCEL)
            DestroyWindow(dlg);
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(dlg);
        return TRUE;
    case WM_DESTROY:
        KillTimer(dlg, kRefreshTimer);
        if (m_sharedDlg == dlg)
            m_sharedDlg = nullptr;
        return TRUE;
    default:
        return FALSE;
    }
}

void CCtrlMenu::FillSharedWindows(HWND dlg)
{
    HWND list = GetDlgItem(dlg, IDC_SHARED_WINDOWS_LIST);
    if (!list)
        return;
    m_filling = true;
    std::vector<ShareableWindow> windows;
    static ResStringSlot desktop, taskbar;
    if (HWND icons = DesktopIconView())
        windows.push_back({icons, LoadResString(desktop, IDS_SHARED_DESKTOP)});
    if (HWND tray = FindWindowW(L"Shell_TrayWnd", nullptr))
        windows.push_back({tray, LoadResString(taskbar, IDS_SHARED_TASKBAR)});
    EnumWindows(Collect, reinterpret_cast<LPARAM>(&windows));

    // The hidden-window list drops windows that are gone as it is read.
    const std::vector<HWND> hidden = HiddenWindowList();
    HIMAGELIST images = ListView_GetImageList(list, LVSIL_SMALL);
    if (images)
        ImageList_RemoveAll(images);
    std::map<DWORD, int> processImage;
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(list);
    int row = 0;
    for (const ShareableWindow& w : windows) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w.hwnd, &pid);
        auto found = processImage.find(pid);
        if (found == processImage.end()) {
            int image = -1;
            if (HICON icon = images ? ProcessIcon(w.hwnd) : nullptr) {
                image = ImageList_AddIcon(images, icon);
                DestroyIcon(icon);
            }
            found = processImage.emplace(pid, image).first;
        }
        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_IMAGE;
        item.iItem = row;
        item.pszText = const_cast<wchar_t*>(w.title.c_str());
        item.lParam = reinterpret_cast<LPARAM>(w.hwnd);
        item.iImage = found->second;
        const int at = ListView_InsertItem(list, &item);
        if (at >= 0) {
            const bool shared = std::find(hidden.begin(), hidden.end(), w.hwnd) == hidden.end();
            ListView_SetCheckState(list, at, shared);
            ++row;
        }
    }
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
    m_filling = false;
}

void CCtrlMenu::ApplySharedChecks(HWND dlg)
{
    HWND list = GetDlgItem(dlg, IDC_SHARED_WINDOWS_LIST);
    const int rows = ListView_GetItemCount(list);
    for (int i = 0; i < rows; ++i) {
        LVITEMW item = {};
        item.mask = LVIF_PARAM;
        item.iItem = i;
        if (!ListView_GetItem(list, &item))
            continue;
        SetHiddenFromShare(reinterpret_cast<HWND>(item.lParam), !ListView_GetCheckState(list, i));
    }
}

void CCtrlMenu::CheckAll(HWND dlg, bool check)
{
    HWND list = GetDlgItem(dlg, IDC_SHARED_WINDOWS_LIST);
    m_filling = true;
    const int rows = ListView_GetItemCount(list);
    for (int i = 0; i < rows; ++i)
        ListView_SetCheckState(list, i, check);
    m_filling = false;
    ApplySharedChecks(dlg);
}
