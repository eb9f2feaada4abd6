// File sharing's dialogs: the host's files with their settings and users
// panels, and the participant's list of offered files.
#include "extras/FileShare.h"

#include "core/base/AppWindows.h"
#include "core/base/TextConvert.h"
#include "extras/FileShareResources.h"

#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace {

// How long a new download waits for the previous save thread to end once
// its dialog is done.
constexpr unsigned kSaveThreadEndMs = 2000;

std::wstring Wide(const std::string& utf8)
{
    return AnsiToWide(utf8, kCodePageUtf8);
}

FileShare* Self(HWND dlg)
{
    return reinterpret_cast<FileShare*>(GetWindowLongPtrW(dlg, DWLP_USER));
}

void Columns(HWND list, std::initializer_list<std::pair<UINT, int>> columns)
{
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
    int index = 0;
    for (const auto& c : columns) {
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH;
        col.pszText = const_cast<wchar_t*>(FileShareText(c.first));
        col.cx = c.second;
        ListView_InsertColumn(list, index++, &col);
    }
}

int AddRow(HWND list, const std::wstring& text, LPARAM data, int image = -1)
{
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM | (image >= 0 ? LVIF_IMAGE : 0);
    item.iItem = ListView_GetItemCount(list);
    item.pszText = const_cast<wchar_t*>(text.c_str());
    item.lParam = data;
    item.iImage = image;
    return ListView_InsertItem(list, &item);
}

void SetCell(HWND list, int row, int column, const std::wstring& text)
{
    ListView_SetItemText(list, row, column, const_cast<wchar_t*>(text.c_str()));
}

LPARAM RowData(HWND list, int row)
{
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    return ListView_GetItem(list, &item) ? item.lParam : -1;
}

std::wstring StateText(int state)
{
    switch (state) {
    case fileshare::kDownloading: return FileShareText(IDS_FS_DOWNLOADING);
    case fileshare::kDownloaded: return FileShareText(IDS_FS_DOWNLOADED);
    case fileshare::kUserAway: return FileShareText(IDS_FS_AWAY);
    default: return FileShareText(IDS_FS_NOT_DOWNLOADED);
    }
}

std::wstring Percent(int percent)
{
    wchar_t buf[16];
    swprintf(buf, 16, FileShareText(IDS_FS_PERCENT), percent);
    return buf;
}

// Runs pop-up `popup` of the context menu at the cursor; the command chosen,
// or 0.
int ContextMenu(HWND owner, int popup, std::initializer_list<std::pair<int, UINT>> texts,
                std::initializer_list<std::pair<int, bool>> enabled)
{
    HMENU bar = LoadMenuW(reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner, GWLP_HINSTANCE)),
                          MAKEINTRESOURCEW(IDM_FILESHARE_CONTEXT));
    if (!bar)
        return 0;
    HMENU menu = GetSubMenu(bar, popup);
    for (const auto& t : texts)
        ModifyMenuW(menu, t.first, MF_BYCOMMAND | MF_STRING, t.first, FileShareText(t.second));
    for (const auto& e : enabled)
        EnableMenuItem(menu, e.first, MF_BYCOMMAND | (e.second ? MF_ENABLED : MF_GRAYED));
    POINT at;
    GetCursorPos(&at);
    int chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, owner, nullptr);
    DestroyMenu(bar);
    return chosen;
}

HWND MakeDialog(HINSTANCE instance, int id, HWND parent, DLGPROC proc, FileShare* self)
{
    HWND dlg = CreateDialogParamW(instance, MAKEINTRESOURCEW(id), parent, proc, reinterpret_cast<LPARAM>(self));
    if (dlg)
        RegisterAppWindow(dlg);
    return dlg;
}

} // namespace

void FileShare::ShowWindow()
{
    if (!m_context)
        return;
    const bool host = m_role == 1;
    std::atomic<HWND>& slot = host ? m_hostDlg : m_participantDlg;
    HWND dlg = slot.load();
    if (!dlg || !IsWindow(dlg)) {
        dlg = MakeDialog(m_context->Instance(), host ? IDD_FILESHARE_HOST : IDD_FILESHARE_PARTICIPANT, nullptr,
                         host ? HostDlgProc : ParticipantDlgProc, this);
        if (!dlg) {
            Log("File share: the dialog could not be made.");
            return;
        }
        slot = dlg;
    }
    ::ShowWindow(dlg, SW_SHOW);
    SetForegroundWindow(dlg);
}

// --- host -----------------------------------------------------------------------

INT_PTR CALLBACK FileShare::HostDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrW(dlg, DWLP_USER, lParam);
        reinterpret_cast<FileShare*>(lParam)->OnHostInit(dlg);
        return TRUE;
    }
    FileShare* self = Self(dlg);
    if (!self)
        return FALSE;
    switch (msg) {
    case WM_COMMAND:
        self->OnHostCommand(dlg, LOWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        self->OnHostCommand(dlg, IDM_FS_EXIT);
        return TRUE;
    case WM_FILESHARE_FILE_CHOSEN:
        self->OnFileChosen(static_cast<int>(wParam));
        return TRUE;
    case WM_FILESHARE_SETTINGS_DONE:
        self->OnSettingsDone(dlg, wParam == 1);
        return TRUE;
    case WM_FILESHARE_HOST_REFRESH:
        self->FillUsers();
        return TRUE;
    case WM_NOTIFY: {
        const NMHDR* n = reinterpret_cast<const NMHDR*>(lParam);
        if (n->idFrom != IDC_FS_FILES)
            return FALSE;
        if (n->code == LVN_ITEMCHANGED) {
            const NMLISTVIEW* v = reinterpret_cast<const NMLISTVIEW*>(lParam);
            if ((v->uNewState & LVIS_SELECTED) && !(v->uOldState & LVIS_SELECTED) &&
                !(self->m_settingsPanel && IsWindowVisible(self->m_settingsPanel)))
                self->ShowUsers(static_cast<int>(v->lParam));
        } else if (n->code == NM_RCLICK && self->SelectedHostFile() != 0) {
            int chosen = ContextMenu(dlg, 0, {{IDM_FS_REMOVE, IDS_FS_REMOVE}, {IDM_FS_SETTING, IDS_FS_SETTING}}, {});
            if (chosen)
                self->OnHostCommand(dlg, chosen);
        }
        return TRUE;
    }
    }
    return FALSE;
}

void FileShare::OnHostInit(HWND dlg)
{
    SetWindowTextW(dlg, FileShareText(IDS_FS_TITLE));
    SetDlgItemTextW(dlg, IDC_FS_FILES_LABEL, FileShareText(IDS_FS_FILES_LABEL));
    HMENU bar = GetMenu(dlg);
    ModifyMenuW(bar, 0, MF_BYPOSITION | MF_STRING | MF_POPUP, reinterpret_cast<UINT_PTR>(GetSubMenu(bar, 0)),
                FileShareText(IDS_FS_FILE_MENU));
    ModifyMenuW(bar, IDM_FS_SELECT, MF_BYCOMMAND | MF_STRING, IDM_FS_SELECT, FileShareText(IDS_FS_SELECT));
    ModifyMenuW(bar, IDM_FS_EXIT, MF_BYCOMMAND | MF_STRING, IDM_FS_EXIT, FileShareText(IDS_FS_EXIT));
    DrawMenuBar(dlg);

    HWND list = GetDlgItem(dlg, IDC_FS_FILES);
    RECT r;
    GetClientRect(list, &r);
    Columns(list, {{IDS_FS_FILE_NAME, r.right - r.left - 4}});
    SHFILEINFOW info{};
    HIMAGELIST icons = reinterpret_cast<HIMAGELIST>(
        SHGetFileInfoW(L".txt", FILE_ATTRIBUTE_NORMAL, &info, sizeof(info),
                       SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES));
    if (icons) {
        // The system's list: shared, never destroyed here.
        SetWindowLongPtrW(list, GWL_STYLE, GetWindowLongPtrW(list, GWL_STYLE) | LVS_SHAREIMAGELISTS);
        ListView_SetImageList(list, icons, LVSIL_SMALL);
    }

    // The two panels sit right of the list.
    RECT area{160, 6, 396, 224};
    MapDialogRect(dlg, &area);
    for (HWND* panel : {&m_settingsPanel, &m_usersPanel}) {
        *panel = MakeDialog(m_context->Instance(), panel == &m_settingsPanel ? IDD_FILESHARE_SETTINGS : IDD_FILESHARE_USERS,
                            dlg, panel == &m_settingsPanel ? SettingsDlgProc : UsersDlgProc, this);
        if (*panel)
            SetWindowPos(*panel, nullptr, area.left, area.top, area.right - area.left, area.bottom - area.top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
    }
    FillHostFiles();
}

void FileShare::OnHostCommand(HWND dlg, int id)
{
    switch (id) {
    case IDM_FS_SELECT:
        if (m_selectThread.Running())
            return;
        m_selectThread.Join(0);
        m_selectThread.Start([this, dlg] { SelectFileThread(dlg); });
        break;
    case IDM_FS_EXIT:
        m_hostDlg = nullptr;
        m_settingsPanel = m_usersPanel = nullptr;
        DestroyWindow(dlg);
        break;
    case IDM_FS_REMOVE:
        if (int file = SelectedHostFile()) {
            m_host->Remove(file);
            FillHostFiles();
            if (m_usersPanel)
                ::ShowWindow(m_usersPanel, SW_HIDE);
        }
        break;
    case IDM_FS_SETTING:
        if (int file = SelectedHostFile())
            ShowSettings(file, false);
        break;
    }
}

void FileShare::OnFileChosen(int id)
{
    FillHostFiles();
    ShowSettings(id, true);
}

void FileShare::FillHostFiles()
{
    HWND dlg = m_hostDlg.load();
    if (!dlg)
        return;
    HWND list = GetDlgItem(dlg, IDC_FS_FILES);
    const int selected = SelectedHostFile();
    ListView_DeleteAllItems(list);
    for (const fileshare::SharedFile& f : m_host->Files()) {
        SHFILEINFOW info{};
        SHGetFileInfoW(Wide(f.path).c_str(), 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
        int row = AddRow(list, Wide(f.name), f.id, info.iIcon);
        if (f.id == selected)
            ListView_SetItemState(list, row, LVIS_SELECTED, LVIS_SELECTED);
    }
}

int FileShare::SelectedHostFile() const
{
    HWND dlg = m_hostDlg.load();
    if (!dlg)
        return 0;
    HWND list = GetDlgItem(dlg, IDC_FS_FILES);
    int row = ListView_GetNextItem(list, -1, LVNI_SELECTED);
    return row < 0 ? 0 : static_cast<int>(RowData(list, row));
}

// --- settings panel -----------------------------------------------------------

INT_PTR CALLBACK FileShare::SettingsDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrW(dlg, DWLP_USER, lParam);
        SetDlgItemTextW(dlg, IDC_FS_SETTINGS_LABEL, FileShareText(IDS_FS_SETTINGS_LABEL));
        SetDlgItemTextW(dlg, IDC_FS_ALL, FileShareText(IDS_FS_ALL));
        SetDlgItemTextW(dlg, IDC_FS_CUSTOM, FileShareText(IDS_FS_CUSTOM));
        SetDlgItemTextW(dlg, IDC_FS_PUBLISH, FileShareText(IDS_FS_PUBLISH));
        HWND list = GetDlgItem(dlg, IDC_FS_MEMBERS);
        RECT r;
        GetClientRect(list, &r);
        Columns(list, {{IDS_FS_USERS, r.right - r.left - 4}});
        ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_CHECKBOXES);
        return TRUE;
    }
    if (msg != WM_COMMAND)
        return FALSE;
    switch (LOWORD(wParam)) {
    case IDC_FS_ALL:
    case IDC_FS_CUSTOM:
        EnableWindow(GetDlgItem(dlg, IDC_FS_MEMBERS), IsDlgButtonChecked(dlg, IDC_FS_CUSTOM) == BST_CHECKED);
        return TRUE;
    case IDC_FS_PUBLISH:
    case IDCANCEL:
        PostMessageW(GetParent(dlg), WM_FILESHARE_SETTINGS_DONE, LOWORD(wParam) == IDC_FS_PUBLISH ? 1 : 0, 0);
        return TRUE;
    }
    return FALSE;
}

void FileShare::ShowSettings(int id, bool isNew)
{
    if (!m_settingsPanel)
        return;
    m_settingsId = id;
    m_settingsNew = isNew;
    const std::vector<fileshare::SharedFile> files = m_host->Files();
    const fileshare::SharedFile* file = nullptr;
    for (const auto& f : files)
        if (f.id == id)
            file = &f;
    if (!file)
        return;
    HWND list = GetDlgItem(m_settingsPanel, IDC_FS_MEMBERS);
    ListView_DeleteAllItems(list);
    m_settingsMembers.clear();
    const std::string own = OwnSession();
    for (const FileShareMember& m : m_context->Members()) {
        if (m.session == own)
            continue;
        int row = AddRow(list, m.name, static_cast<LPARAM>(m_settingsMembers.size()));
        m_settingsMembers.push_back(m.session);
        ListView_SetCheckState(list, row, !file->toAll && file->users.count(m.session) ? TRUE : FALSE);
    }
    CheckRadioButton(m_settingsPanel, IDC_FS_ALL, IDC_FS_CUSTOM, file->toAll ? IDC_FS_ALL : IDC_FS_CUSTOM);
    EnableWindow(list, !file->toAll);
    if (m_usersPanel)
        ::ShowWindow(m_usersPanel, SW_HIDE);
    ::ShowWindow(m_settingsPanel, SW_SHOW);
}

void FileShare::OnSettingsDone(HWND dlg, bool publish)
{
    (void)dlg;
    if (!m_settingsPanel)
        return;
    ::ShowWindow(m_settingsPanel, SW_HIDE);
    if (publish) {
        const bool all = IsDlgButtonChecked(m_settingsPanel, IDC_FS_ALL) == BST_CHECKED;
        std::vector<std::string> users;
        HWND list = GetDlgItem(m_settingsPanel, IDC_FS_MEMBERS);
        for (int row = 0; row < ListView_GetItemCount(list); ++row) {
            const LPARAM index = RowData(list, row);
            if (ListView_GetCheckState(list, row) && index >= 0 && static_cast<size_t>(index) < m_settingsMembers.size())
                users.push_back(m_settingsMembers[static_cast<size_t>(index)]);
        }
        m_host->Publish(m_settingsId, all, users);
        ShowUsers(m_settingsId);
    } else if (m_settingsNew) {
        m_host->CancelNew(m_settingsId);
        FillHostFiles();
    }
    m_settingsNew = false;
}

// --- users panel ----------------------------------------------------------------

INT_PTR CALLBACK FileShare::UsersDlgProc(HWND dlg, UINT msg, WPARAM, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrW(dlg, DWLP_USER, lParam);
        SetDlgItemTextW(dlg, IDC_FS_USERS_LABEL, FileShareText(IDS_FS_USERS_LABEL));
        Columns(GetDlgItem(dlg, IDC_FS_USERS), {{IDS_FS_USERS, 170}, {IDS_FS_STATUS, 110}, {IDS_FS_PROGRESS, 70}});
        return TRUE;
    }
    FileShare* self = Self(dlg);
    if (!self || msg != WM_NOTIFY)
        return FALSE;
    const NMHDR* n = reinterpret_cast<const NMHDR*>(lParam);
    if (n->idFrom == IDC_FS_USERS && n->code == NM_RCLICK) {
        HWND list = GetDlgItem(dlg, IDC_FS_USERS);
        const int row = ListView_GetNextItem(list, -1, LVNI_SELECTED);
        const LPARAM index = row < 0 ? -1 : RowData(list, row);
        if (index < 0 || static_cast<size_t>(index) >= self->m_usersSessions.size())
            return TRUE;
        if (ContextMenu(dlg, 2, {{IDM_FS_STOP, IDS_FS_STOP}}, {}) == IDM_FS_STOP)
            self->m_host->StopUser(self->m_usersId, self->m_usersSessions[static_cast<size_t>(index)]);
    }
    return TRUE;
}

void FileShare::ShowUsers(int id)
{
    if (!m_usersPanel)
        return;
    m_usersId = id;
    FillUsers();
    ::ShowWindow(m_usersPanel, SW_SHOW);
}

void FileShare::FillUsers()
{
    if (!m_usersPanel || !m_usersId)
        return;
    HWND list = GetDlgItem(m_usersPanel, IDC_FS_USERS);
    const int selected = ListView_GetNextItem(list, -1, LVNI_SELECTED);
    ListView_DeleteAllItems(list);
    m_usersSessions.clear();
    for (const fileshare::SharedFile& f : m_host->Files()) {
        if (f.id != m_usersId)
            continue;
        for (const auto& u : f.users) {
            int row = AddRow(list, MemberName(u.first), static_cast<LPARAM>(m_usersSessions.size()));
            m_usersSessions.push_back(u.first);
            SetCell(list, row, 1, StateText(u.second.state));
            SetCell(list, row, 2, Percent(u.second.percent));
        }
    }
    if (selected >= 0)
        ListView_SetItemState(list, selected, LVIS_SELECTED, LVIS_SELECTED);
}

// --- participant ----------------------------------------------------------------

INT_PTR CALLBACK FileShare::ParticipantDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrW(dlg, DWLP_USER, lParam);
        reinterpret_cast<FileShare*>(lParam)->OnParticipantInit(dlg);
        return TRUE;
    }
    FileShare* self = Self(dlg);
    if (!self)
        return FALSE;
    switch (msg) {
    case WM_COMMAND:
        self->OnParticipantCommand(dlg, LOWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        self->OnParticipantCommand(dlg, IDCANCEL);
        return TRUE;
    case WM_FILESHARE_FILE_EVENT:
        if (lParam == fileshare::kFileChanged)
            self->UpdateReceived(static_cast<int>(wParam));
        else
            self->FillReceived();
        return TRUE;
    case WM_NOTIFY: {
        const NMHDR* n = reinterpret_cast<const NMHDR*>(lParam);
        if (n->idFrom != IDC_FS_RECEIVED || n->code != NM_RCLICK)
            return FALSE;
        HWND list = GetDlgItem(dlg, IDC_FS_RECEIVED);
        const int row = ListView_GetNextItem(list, -1, LVNI_SELECTED);
        if (row < 0)
            return TRUE;
        const int id = static_cast<int>(RowData(list, row));
        int state = -1;
        for (const fileshare::ReceivedView& f : self->m_receiver->Files())
            if (f.id == id)
                state = f.state;
        if (state < 0)
            return TRUE;
        int chosen = ContextMenu(
            dlg, 1, {{IDM_FS_OPEN, IDS_FS_OPEN}, {IDM_FS_DOWNLOAD, IDS_FS_DOWNLOAD}, {IDM_FS_DROP, IDS_FS_DROP}},
            {{IDM_FS_OPEN, state == fileshare::kDownloaded},
             {IDM_FS_DOWNLOAD, state != fileshare::kDownloading},
             {IDM_FS_DROP, state == fileshare::kDownloading}});
        if (chosen)
            self->OnParticipantCommand(dlg, chosen);
        return TRUE;
    }
    }
    (void)wParam;
    return FALSE;
}

void FileShare::OnParticipantInit(HWND dlg)
{
    SetWindowTextW(dlg, FileShareText(IDS_FS_TITLE));
    SetDlgItemTextW(dlg, IDCANCEL, FileShareText(IDS_FS_CLOSE));
    Columns(GetDlgItem(dlg, IDC_FS_RECEIVED), {{IDS_FS_FILE_NAME, 240}, {IDS_FS_STATUS, 120}, {IDS_FS_PROGRESS, 70}});
    for (const FileShareMember& m : m_context->Members())
        if (m.role == 1) {
            m_receiver->RequestList(m.session);
            break;
        }
    m_participantDlg = dlg;
    FillReceived();
}

void FileShare::FillReceived()
{
    HWND dlg = m_participantDlg.load();
    if (!dlg)
        return;
    HWND list = GetDlgItem(dlg, IDC_FS_RECEIVED);
    const int selectedRow = ListView_GetNextItem(list, -1, LVNI_SELECTED);
    const LPARAM selected = selectedRow < 0 ? -1 : RowData(list, selectedRow);
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(list);
    for (const fileshare::ReceivedView& f : m_receiver->Files()) {
        int row = AddRow(list, Wide(f.name), f.id);
        SetCell(list, row, 1, StateText(f.state));
        SetCell(list, row, 2, Percent(f.percent));
        if (f.id == selected)
            ListView_SetItemState(list, row, LVIS_SELECTED, LVIS_SELECTED);
    }
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

// One row's status and progress, when they changed.
void FileShare::UpdateReceived(int id)
{
    HWND dlg = m_participantDlg.load();
    if (!dlg)
        return;
    HWND list = GetDlgItem(dlg, IDC_FS_RECEIVED);
    for (const fileshare::ReceivedView& f : m_receiver->Files()) {
        if (f.id != id)
            continue;
        LVFINDINFOW find{};
        find.flags = LVFI_PARAM;
        find.lParam = id;
        const int row = ListView_FindItem(list, -1, &find);
        if (row < 0) {
            FillReceived();
            return;
        }
        const std::wstring state = StateText(f.state), percent = Percent(f.percent);
        wchar_t shown[64] = L"";
        ListView_GetItemText(list, row, 2, shown, 64);
        if (percent != shown)
            SetCell(list, row, 2, percent);
        ListView_GetItemText(list, row, 1, shown, 64);
        if (state != shown)
            SetCell(list, row, 1, state);
    }
}

void FileShare::OnParticipantCommand(HWND dlg, int command)
{
    if (command == IDCANCEL) {
        m_participantDlg = nullptr;
        DestroyWindow(dlg);
        return;
    }
    HWND list = GetDlgItem(dlg, IDC_FS_RECEIVED);
    const int row = ListView_GetNextItem(list, -1, LVNI_SELECTED);
    if (row < 0)
        return;
    const int id = static_cast<int>(RowData(list, row));
    switch (command) {
    case IDM_FS_DOWNLOAD:
        // One save dialog at a time; a thread whose dialog is done is only
        // ending, and a new download waits for it instead of being lost.
        if (m_saving.load() || !m_saveThread.Join(kSaveThreadEndMs))
            return;
        m_saving.store(true);
        m_saveThread.Start([this, dlg, id] {
            SaveFileThread(dlg, id);
            m_saving.store(false);
        });
        break;
    case IDM_FS_DROP:
        m_receiver->DropDownload(id);
        break;
    case IDM_FS_OPEN:
        for (const fileshare::ReceivedView& f : m_receiver->Files()) {
            if (f.id != id || f.state != fileshare::kDownloaded)
                continue;
            const std::wstring path = Wide(f.path);
            if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
                MessageBoxW(dlg, FileShareText(IDS_FS_NO_FILE), FileShareText(IDS_FS_INFO), MB_OK | MB_ICONINFORMATION);
            else
                ShellExecuteW(dlg, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
        }
        break;
    }
}
