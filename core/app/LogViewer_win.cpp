#include "core/app/LogViewer_win.h"

#include "core/app/TrayText_win.h"
#include "core/app/res/TrayDialogs.h"
#include "core/app/res/resource.h"
#include "core/base/DHLog.h"
#include "core/base/TextConvert.h"
#include "core/base/WinHandle.h"
#include "core/base/WindowUtil.h"

#include <commctrl.h>

namespace {

constexpr size_t kMaxUsers = IDM_LOG_USER_LAST - IDM_LOG_USER_FIRST + 1;
constexpr DWORD kReadPiece = 64 * 1024;

void SetMenuText(HMENU menu, int position, const wchar_t* text)
{
    MENUITEMINFOW item{};
    item.cbSize = sizeof(item);
    item.fMask = MIIM_STRING;
    item.dwTypeData = const_cast<wchar_t*>(text);
    SetMenuItemInfoW(menu, position, TRUE, &item);
}

const struct {
    UINT command;
    UINT text;
    int filter;
    int minThreshold;  // the logger's threshold from which the item is offered
} kFilters[] = {
    {IDM_LOG_FILTER_INFO, IDS_INFO, LOGVIEW_INFO, 0},
    {IDM_LOG_FILTER_WARN, IDS_WARNING, LOGVIEW_WARN, 0},
    {IDM_LOG_FILTER_ERROR, IDS_ERROR, LOGVIEW_ERROR, 0},
    {IDM_LOG_FILTER_DEBUGERROR, IDS_LOG_FILTER_DEBUGERROR, LOGVIEW_DEBUGERROR, DHLOG_DEBUGERROR},
    {IDM_LOG_FILTER_DEBUGWARN, IDS_LOG_FILTER_DEBUGWARN, LOGVIEW_DEBUGWARN, DHLOG_DEBUGWARN},
    {IDM_LOG_FILTER_DEBUGINFO, IDS_LOG_FILTER_DEBUGINFO, LOGVIEW_DEBUGINFO, DHLOG_DEBUGINFO},
    {IDM_LOG_FILTER_ALL, IDS_LOG_FILTER_ALL, LOGVIEW_ALL, 0},
};

} // namespace

CLogViewer::CLogViewer(HINSTANCE instance, std::string logPath)
    : m_instance(instance), m_logPath(AnsiToWide(logPath, kCodePageAnsi))
{
}

CLogViewer::~CLogViewer()
{
    m_dialog.Close();
}

void CLogViewer::Open()
{
    m_dialog.Open([this] { Run(); });
}

void CLogViewer::Run()
{
    DialogBoxParamW(m_instance, MAKEINTRESOURCEW(IDD_LOG_VIEWER), nullptr, DlgProc, reinterpret_cast<LPARAM>(this));
    m_dlg = nullptr;
    m_list = nullptr;
    m_menu = nullptr;
    if (m_images) {
        ImageList_Destroy(m_images);
        m_images = nullptr;
    }
}

INT_PTR CALLBACK CLogViewer::DlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
        reinterpret_cast<CLogViewer*>(lParam)->OnInitDialog(hwnd);
        return FALSE;
    }
    auto* self = reinterpret_cast<CLogViewer*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return FALSE;
    switch (msg) {
    case WM_SIZE:
        self->Layout();
        return TRUE;
    case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        info->ptMinTrackSize.x = kMinTrackWidth;
        info->ptMinTrackSize.y = kMinTrackHeight;
        return TRUE;
    }
    case WM_NOTIFY:
        self->OnNotify(reinterpret_cast<const NMHDR*>(lParam));
        return TRUE;
    case WM_INITMENUPOPUP:
        self->OnInitMenuPopup(reinterpret_cast<HMENU>(wParam));
        return TRUE;
    case WM_COMMAND:
        self->OnCommand(LOWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        // The dialog ends with its thread; the menu goes with the window.
        EndDialog(hwnd, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

void CLogViewer::OnInitDialog(HWND hwnd)
{
    m_dlg = hwnd;
    m_list = GetDlgItem(hwnd, IDC_LOG_LIST);
    SetWindowTextW(hwnd, TrayText(IDS_LOG_VIEWER_TITLE));
    SetDlgItemTextW(hwnd, IDC_LOG_DETAILS_LABEL, TrayText(IDS_LOG_DETAILS_LABEL));

    // One menu per viewer; it is destroyed with the window.
    m_menu = LoadMenuW(m_instance, MAKEINTRESOURCEW(IDM_LOG_VIEWER));
    if (m_menu) {
        SetMenuText(m_menu, 0, TrayText(IDS_LOG_MENU_FILE));
        SetMenuText(m_menu, 1, TrayText(IDS_LOG_MENU_ACTION));
        HMENU file = GetSubMenu(m_menu, 0);
        HMENU action = GetSubMenu(m_menu, 1);
        SetMenuText(file, 0, TrayText(IDS_MENU_EXIT));
        SetMenuText(action, 0, TrayText(IDS_LOG_MENU_REFRESH));
        SetMenuText(action, 1, TrayText(IDS_LOG_MENU_FILTER));
        SetMenuText(action, 2, TrayText(IDS_LOG_MENU_USERS));
        SetMenu(hwnd, m_menu);
    }

    MakeOwnLayeredWindow(hwnd);
    HICON big = static_cast<HICON>(LoadImageW(m_instance, MAKEINTRESOURCEW(IDI_CORVISK), IMAGE_ICON, 32, 32, LR_SHARED));
    HICON small = static_cast<HICON>(LoadImageW(m_instance, MAKEINTRESOURCEW(IDI_CORVISK), IMAGE_ICON, 16, 16, LR_SHARED));
    SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));

    // Images 0-2 are levels 1-3; the debug levels show none.
    m_images = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 3, 0);
    const LPCWSTR icons[] = {IDI_ERROR, IDI_WARNING, IDI_INFORMATION};
    for (LPCWSTR icon : icons) {
        HICON h = static_cast<HICON>(LoadImageW(nullptr, icon, IMAGE_ICON, 16, 16, LR_SHARED));
        ImageList_AddIcon(m_images, h);
    }
    ListView_SetImageList(m_list, m_images, LVSIL_SMALL);
    ListView_SetExtendedListViewStyle(m_list, LVS_EX_FULLROWSELECT);
    const struct {
        UINT text;
        int width;
    } columns[] = {{IDS_COLUMN_LEVEL, 50}, {IDS_COLUMN_TIME, 110}, {IDS_COLUMN_USER, 90},
                   {IDS_COLUMN_ROLE, 80},  {IDS_COLUMN_INFORMATION, 400}};
    for (int i = 0; i < 5; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = const_cast<wchar_t*>(TrayText(columns[i].text));
        column.cx = columns[i].width;
        column.iSubItem = i;
        ListView_InsertColumn(m_list, i, &column);
    }

    CenterInWorkArea(hwnd);
    Layout();
    m_dialog.SetWindow(hwnd);
    LoadLogFile();
}

void CLogViewer::Layout()
{
    if (!m_dlg)
        return;
    RECT client;
    GetClientRect(m_dlg, &client);
    int w = client.right - 12;
    int h = client.bottom - 12;
    int listHeight = ((h - 24) * 23) / 33;
    MoveWindow(GetDlgItem(m_dlg, IDC_LOG_LIST), 6, 6, w, listHeight, TRUE);
    MoveWindow(GetDlgItem(m_dlg, IDC_LOG_DETAILS_LABEL), 6, listHeight + 12, w, 24, TRUE);
    MoveWindow(GetDlgItem(m_dlg, IDC_LOG_DETAILS), 6, listHeight + 30, w, h - listHeight - 24, TRUE);
}

void CLogViewer::LoadLogFile()
{
    // The logger keeps the file open for writing: share both ways.
    WinHandle file(CreateFileW(m_logPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return;
    bool oneUser = m_userIndex >= 0 && static_cast<size_t>(m_userIndex) < m_users.size();
    LogTableReader reader(m_filter, oneUser ? m_users[m_userIndex] : std::wstring());
    LARGE_INTEGER size{};
    // The logger may go on writing: the size read now is only a hint.
    if (GetFileSizeEx(file.get(), &size) && size.QuadPart > 0 && static_cast<ULONGLONG>(size.QuadPart) < SIZE_MAX)
        reader.Reserve(static_cast<size_t>(size.QuadPart));
    std::vector<char> piece(kReadPiece);
    DWORD got = 0;
    while (ReadFile(file.get(), piece.data(), kReadPiece, &got, nullptr) && got > 0)
        reader.Feed(piece.data(), got);
    reader.Finish();

    if (!oneUser) {
        m_userIndex = -1;
        m_users = std::move(reader.users);
        if (m_users.size() > kMaxUsers)
            m_users.resize(kMaxUsers);
    }
    m_table = std::move(reader);
    SendMessageW(m_list, WM_SETREDRAW, FALSE, 0);
    ListView_SetItemState(m_list, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetItemCountEx(m_list, static_cast<int>(m_table.RowCount()), 0);
    SetDlgItemTextW(m_dlg, IDC_LOG_DETAILS, L"");
    SendMessageW(m_list, WM_SETREDRAW, TRUE, 0);
    if (m_table.RowCount() > 0) {
        ListView_SetItemState(m_list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_EnsureVisible(m_list, 0, FALSE);
    }
    InvalidateRect(m_list, nullptr, TRUE);
}

void CLogViewer::OnNotify(const NMHDR* header)
{
    if (header->idFrom != IDC_LOG_LIST)
        return;
    switch (header->code) {
    case LVN_GETDISPINFOW: {
        LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(header))->item;
        if (item.iItem < 0 || static_cast<size_t>(item.iItem) >= m_table.RowCount())
            return;
        const int level = m_table.Level(item.iItem);
        if (item.mask & LVIF_IMAGE)
            item.iImage = level >= 1 && level <= 3 ? level - 1 : I_IMAGENONE;
        if ((item.mask & LVIF_TEXT) && item.pszText && item.cchTextMax > 0) {
            // Only the cell asked for is decoded; column 0 holds the icon.
            static const LogTableReader::Field kColumns[] = {LogTableReader::TIME, LogTableReader::USER,
                                                             LogTableReader::ROLE, LogTableReader::INFO};
            std::wstring text;
            if (item.iSubItem >= 1 && item.iSubItem <= 4)
                text = m_table.Text(item.iItem, kColumns[item.iSubItem - 1]);
            lstrcpynW(item.pszText, text.c_str(), item.cchTextMax);
        }
        return;
    }
    case LVN_ITEMCHANGED: {
        const auto* change = reinterpret_cast<const NMLISTVIEW*>(header);
        if (change->iItem >= 0 && static_cast<size_t>(change->iItem) < m_table.RowCount() &&
            (change->uNewState & LVIS_SELECTED) && !(change->uOldState & LVIS_SELECTED))
            SetDlgItemTextW(m_dlg, IDC_LOG_DETAILS,
                            FormatLogDetails(m_table.Text(change->iItem, LogTableReader::INFO)).c_str());
        return;
    }
    case NM_RCLICK:
        if (m_menu)
            TrackPopupAtCursor(GetSubMenu(m_menu, 1), m_dlg);
        return;
    default:
        return;
    }
}

void CLogViewer::OnInitMenuPopup(HMENU popup)
{
    HMENU action = m_menu ? GetSubMenu(m_menu, 1) : nullptr;
    if (!action)
        return;
    if (popup == action)
        FillUserMenu(action);
    else if (popup == GetSubMenu(action, 1))
        FillFilterMenu(popup);
}

void CLogViewer::FillFilterMenu(HMENU popup)
{
    while (GetMenuItemCount(popup) > 0)
        DeleteMenu(popup, 0, MF_BYPOSITION);
    int threshold = DHLog::Instance().Threshold();
    int shown = m_filter == LOGVIEW_ALL_DEBUG ? LOGVIEW_ALL : m_filter;
    for (const auto& f : kFilters) {
        if (threshold < f.minThreshold)
            continue;
        AppendMenuW(popup, MF_STRING | (f.filter == shown ? MF_CHECKED : 0), f.command, TrayText(f.text));
    }
}

void CLogViewer::FillUserMenu(HMENU action)
{
    HMENU users = CreatePopupMenu();
    if (!users)
        return;
    for (size_t i = 0; i < m_users.size(); ++i)
        AppendMenuW(users, MF_STRING | (static_cast<int>(i) == m_userIndex ? MF_CHECKED : 0),
                    IDM_LOG_USER_FIRST + i, m_users[i].c_str());
    AppendMenuW(users, MF_STRING | (m_userIndex < 0 ? MF_CHECKED : 0), IDM_LOG_USER_ALL, TrayText(IDS_LOG_ALL_USERS));
    DeleteMenu(action, 2, MF_BYPOSITION);
    InsertMenuW(action, 2, MF_BYPOSITION | MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(users),
                TrayText(IDS_LOG_MENU_USERS));
}

void CLogViewer::OnCommand(UINT id)
{
    if (id == IDM_LOG_EXIT) {
        PostMessageW(m_dlg, WM_CLOSE, 0, 0);
        return;
    }
    if (id == IDM_LOG_REFRESH) {
        LoadLogFile();
        return;
    }
    for (const auto& f : kFilters) {
        if (f.command == id) {
            m_filter = f.filter;
            LoadLogFile();
            return;
        }
    }
    if (id == IDM_LOG_USER_ALL) {
        m_userIndex = -1;
        LoadLogFile();
    } else if (id >= IDM_LOG_USER_FIRST && id <= IDM_LOG_USER_LAST &&
               id - IDM_LOG_USER_FIRST < m_users.size()) {
        m_userIndex = static_cast<int>(id - IDM_LOG_USER_FIRST);
        LoadLogFile();
    }
}
