#include "appliance/ui/ActiveMeetings_win.h"

#include "appliance/cgi/CgiResult.h"
#include "appliance/cgi/LoginRequests.h"
#include "appliance/cgi/MeetingListRules.h"
#include "appliance/cgi/MeetingRequests.h"
#include "appliance/ui/LoginResources.h"
#include "appliance/ui/LoginWindow_win.h"
#include "appliance/ui/MeetingListResources.h"
#include "appliance/ui/PageMessages_win.h"
#include "appliance/ui/ResourceText_win.h"
#include "core/base/DHLog.h"
#include "core/base/DialogKeys_win.h"
#include "core/base/SecureZero.h"
#include "core/base/TextConvert.h"
#include "core/base/ThreadMessages.h"
#include "core/base/WindowUtil.h"

#include <commctrl.h>

#include <algorithm>

namespace {

constexpr uint8_t kLogCategory = DHLOG_CAT_MEETING;
constexpr size_t kStatusFormatMax = 256;
constexpr int kBannerMaxWidth = 404;
constexpr int kBannerMaxHeight = 82;

CActiveMeetings* WindowOf(HWND dialog)
{
    return reinterpret_cast<CActiveMeetings*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
}

} // namespace

CActiveMeetings::CActiveMeetings(MeetingListContext& context)
    : CWindowFrame(context.Instance(), context.MainThreadId()), m_context(context), m_details(context.Instance())
{
}

CActiveMeetings::~CActiveMeetings()
{
    if (m_list)
        KillTimer(m_list, IDT_MEETING_REFRESH);
    // The children go while this object can still answer their last messages.
    DestroyFrame();
    m_list = nullptr;
    m_code = nullptr;
    if (m_menu)
        DestroyMenu(m_menu);
}

bool CActiveMeetings::Create(int createPermission)
{
    SetIcon(LoadIconW(Instance(), MAKEINTRESOURCEW(IDB_LOGIN_BACKGROUND)));
    m_menu = LoadMenuW(Instance(), MAKEINTRESOURCEW(IDM_MEETING_CONTEXT));
    HWND frame = CreateFrameDialog(IDD_MEETINGS_FRAME, false);
    if (!frame)
        return false;
    m_createPermission = createPermission;
    HWND list = CreateDialogParamW(Instance(), MAKEINTRESOURCEW(IDD_MEETING_LIST), frame, ListProc,
                                   reinterpret_cast<LPARAM>(this));
    if (!list)
        return false;
    SwapChildDialog(list);
    m_details.Create();
    Status(STATUS_NORMAL, ResText(IDS_SELECT_MEETING));
    ShowWindow(frame, SW_SHOW);
    return true;
}

HMENU CActiveMeetings::ContextMenu() const
{
    return m_menu ? GetSubMenu(m_menu, 0) : nullptr;
}

std::vector<std::string> CActiveMeetings::RowIds() const
{
    std::vector<std::string> ids;
    HWND view = m_list ? GetDlgItem(m_list, IDC_MEETING_LIST) : nullptr;
    const int rows = view ? ListView_GetItemCount(view) : 0;
    for (int row = 0; row < rows; ++row) {
        LVITEMW item{};
        item.mask = LVIF_PARAM;
        item.iItem = row;
        if (ListView_GetItem(view, &item) && static_cast<size_t>(item.lParam) < m_rowIds.size())
            ids.push_back(m_rowIds[item.lParam]);
    }
    return ids;
}

void CActiveMeetings::Status(int kind, const wchar_t* text)
{
    SetStatusText(kind, text);
}

void CActiveMeetings::Log(int level, const std::wstring& line)
{
    DHLog::Instance().PrintW(kLogCategory, level, false, L"%s", line.c_str());
}

void CActiveMeetings::OnClose()
{
    Logout();
}

void CActiveMeetings::Logout()
{
    CgiUserLogout(m_context.PreparedSession());
    PostThreadMessageW(MainThreadId(), PLM_LOGOUT, 0, 0);
}

// --- pages --------------------------------------------------------------

void CActiveMeetings::PaintPage(HWND hwnd, HINSTANCE instance)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    FillRect(dc, &ps.rcPaint, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    HBITMAP banner = static_cast<HBITMAP>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDB_LOGIN_BANNER), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (banner) {
        BITMAP info{};
        GetObjectW(banner, sizeof(info), &info);
        RECT client;
        GetClientRect(hwnd, &client);
        const int width = std::min({static_cast<int>(info.bmWidth), kBannerMaxWidth, static_cast<int>(client.right)});
        const int height = std::min({static_cast<int>(info.bmHeight), kBannerMaxHeight, static_cast<int>(client.bottom)});
        HDC memory = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(memory, banner);
        BitBlt(dc, (client.right - width) / 2, 0, width, height, memory, 0, 0, SRCCOPY);
        SelectObject(memory, old);
        DeleteDC(memory);
        DeleteObject(banner);
    }
    EndPaint(hwnd, &ps);
}

// --- the list -----------------------------------------------------------

INT_PTR CActiveMeetings::PageProc(Page page, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
        auto* self = reinterpret_cast<CActiveMeetings*>(lParam);
        if (page == Page::List)
            self->InitList(hwnd);
        else
            self->InitCode(hwnd);
        return FALSE;  // the page sets its own focus
    }
    CActiveMeetings* self = WindowOf(hwnd);
    if (!self)
        return FALSE;
    INT_PTR answer = 0;
    if (AnswerPageMessage(hwnd, msg, wParam, answer))
        return answer;
    switch (msg) {
    case WM_PAINT: PaintPage(hwnd, self->Instance()); return TRUE;
    case WM_TIMER:
        if (page == Page::List && wParam == IDT_MEETING_REFRESH)
            self->RefreshList();
        return TRUE;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (page != Page::List || header->idFrom != IDC_MEETING_LIST)
            return FALSE;
        SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, self->OnListNotify(*header));
        return TRUE;
    }
    case WM_COMMAND:
        // Buttons, menu commands and commands sent without a control.
        if (HIWORD(wParam) != BN_CLICKED && lParam != 0)
            return FALSE;
        if (page == Page::List)
            self->OnListCommand(LOWORD(wParam));
        else
            self->OnCodeCommand(LOWORD(wParam));
        return TRUE;
    case WM_DESTROY: {
        KillTimer(hwnd, IDT_MEETING_REFRESH);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        HWND& mine = page == Page::List ? self->m_list : self->m_code;
        if (mine == hwnd)
            mine = nullptr;
        return FALSE;
    }
    default: return FALSE;
    }
}

INT_PTR CALLBACK CActiveMeetings::ListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return PageProc(Page::List, hwnd, msg, wParam, lParam);
}

INT_PTR CALLBACK CActiveMeetings::CodeProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return PageProc(Page::Code, hwnd, msg, wParam, lParam);
}

void CActiveMeetings::InitList(HWND list)
{
    m_list = list;
    HWND view = GetDlgItem(list, IDC_MEETING_LIST);
    RECT client{};
    GetClientRect(view, &client);
    const UINT columns[] = {IDS_COLUMN_NAME, IDS_COLUMN_OWNER, IDS_COLUMN_TIME};
    for (int i = 0; i < 3; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = client.right / 3;
        column.pszText = const_cast<wchar_t*>(ResText(columns[i]));
        column.iSubItem = i;
        ListView_InsertColumn(view, i, &column);
    }
    SetDlgItemTextW(list, IDOK, ResText(IDS_BUTTON_JOIN));
    SetDlgItemTextW(list, IDCANCEL, ResText(IDS_BUTTON_CANCEL));
    SetDlgItemTextW(list, IDC_MEETINGS_CAPTION, ResText(IDS_AVAILABLE_MEETINGS));
    SetDlgItemTextW(list, IDC_MEETING_CREATE, ResText(IDS_BUTTON_CREATE));
    ListView_SetExtendedListViewStyle(view, ListView_GetExtendedListViewStyle(view) | LVS_EX_FULLROWSELECT);
    SetFocus(view);
    for (int control : {IDC_MEETING_LIST, IDOK, IDCANCEL})
        InstallKeySubclass(GetDlgItem(list, control), DlgButtonEditSubclassProc);
    RefreshList();
    SetTimer(list, IDT_MEETING_REFRESH, kRefreshMs, nullptr);
    ShowWindow(GetDlgItem(list, IDC_MEETING_CREATE), m_createPermission == 1 ? SW_SHOW : SW_HIDE);
}

void CActiveMeetings::RefreshList()
{
    if (!m_list)
        return;
    CgiSession& session = m_context.PreparedSession();
    const int32_t result = CgiGetMeetingList(session, nullptr);
    if (result == CGI_SESSION_EXPIRED) {
        HWND list = m_list;
        KillTimer(list, IDT_MEETING_REFRESH);
        MessageBoxW(list, ResText(IDS_SESSION_EXPIRED_TEXT), ResText(IDS_LOGIN_WARNING),
                    MB_ICONWARNING | MB_TOPMOST);
        Log(DHLOG_WARN, FormatResourceText(kStatusFormatMax, ResText(IDS_LOG_SESSION_EXPIRED_TEXT),
                                           m_context.EventPrefix().c_str()));
        PostThreadMessageW(MainThreadId(), PLM_LOGOUT, 0, 0);
        return;
    }
    if (result != CGI_OK)
        return;  // the rows stay; the next tick tries again
    HWND view = GetDlgItem(m_list, IDC_MEETING_LIST);
    ListView_DeleteAllItems(view);
    m_rowIds.clear();
    m_records = session.meetings;
    for (const MeetingRecord& m : m_records) {
        std::wstring name = AnsiToWide(m.meetingName, kCodePageUtf8);
        std::wstring owner = m.ownerName;
        std::wstring time = AnsiToWide(m.meetingTime, kCodePageUtf8);
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = static_cast<int>(m_rowIds.size());
        item.pszText = name.data();
        item.lParam = static_cast<LPARAM>(m_rowIds.size());
        const int row = ListView_InsertItem(view, &item);
        if (row < 0)
            continue;
        m_rowIds.push_back(m.meetingID);
        ListView_SetItemText(view, row, 1, owner.data());
        ListView_SetItemText(view, row, 2, time.data());
    }
    Status(STATUS_NORMAL, ResText(IDS_MEETING_LIST_UPDATED));
    Log(DHLOG_INFO, FormatResourceText(kStatusFormatMax, ResText(IDS_LOG_MEETING_LIST_UPDATED),
                                       m_context.EventPrefix().c_str()));
}

const MeetingRecord* CActiveMeetings::MeetingOfRow(int row) const
{
    HWND view = m_list ? GetDlgItem(m_list, IDC_MEETING_LIST) : nullptr;
    if (!view || row < 0)
        return nullptr;
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!ListView_GetItem(view, &item) || item.lParam < 0 || static_cast<size_t>(item.lParam) >= m_rowIds.size())
        return nullptr;
    return FindMeetingById(m_records, m_rowIds[item.lParam]);
}

int CActiveMeetings::RowOfMeeting(const std::string& id) const
{
    const std::vector<std::string> ids = RowIds();
    auto at = std::find(ids.begin(), ids.end(), id);
    return at == ids.end() ? -1 : static_cast<int>(at - ids.begin());
}

void CActiveMeetings::SelectRow(int row)
{
    if (const MeetingRecord* m = MeetingOfRow(row))
        m_selected = *m;
}

INT_PTR CActiveMeetings::OnListNotify(const NMHDR& header)
{
    HWND view = header.hwndFrom;
    switch (header.code) {
    case LVN_ITEMCHANGED: {
        const int row = ListView_GetNextItem(view, -1, LVNI_SELECTED);
        if (row >= 0)
            SelectRow(row);
        return 0;
    }
    case NM_DBLCLK: {
        const MeetingRecord* m = MeetingOfRow(ListView_GetSelectionMark(view));
        if (!m) {
            Status(STATUS_NORMAL, ResText(IDS_NO_MEETING_SELECTED));
            return 0;
        }
        m_selected = *m;
        ShowCodeDialog(IDS_ENTER_MEETING_CODE);
        return 0;
    }
    case NM_RCLICK: OpenContextMenu(); return 0;
    default: return 0;
    }
}

void CActiveMeetings::OnListCommand(int id)
{
    switch (id) {
    case IDOK:
        if (m_selected.meetingID.empty()) {
            Status(STATUS_ERROR, ResText(IDS_NO_MEETING_SELECTED));
            return;
        }
        ShowCodeDialog(IDS_INPUT_MEETING_CODE);
        return;
    case IDCANCEL: Logout(); return;
    case IDC_MEETING_CREATE: PostThreadMessageW(MainThreadId(), PLM_SHOW_MEETING_SETUP, 0, 0); return;
    case IDM_MEETING_PROPERTY: ShowDetails(m_menuMeeting); return;
    case IDM_MEETING_CANCEL: CancelMeeting(m_menuMeeting); return;
    default: return;
    }
}

void CActiveMeetings::OpenContextMenu()
{
    HWND view = m_list ? GetDlgItem(m_list, IDC_MEETING_LIST) : nullptr;
    HMENU menu = ContextMenu();
    const MeetingRecord* m = view && menu ? MeetingOfRow(ListView_GetSelectionMark(view)) : nullptr;
    if (!m)
        return;
    m_selected = *m;
    m_menuMeeting = *m;
    while (GetMenuItemCount(menu) > 0)
        DeleteMenu(menu, 0, MF_BYPOSITION);
    AppendMenuW(menu, MF_STRING, IDM_MEETING_PROPERTY, ResText(IDS_MENU_PROPERTY));
    if (MayCancelMeeting(m_context.OwnDisplayName(), m_menuMeeting.ownerName, m_createPermission))
        AppendMenuW(menu, MF_STRING, IDM_MEETING_CANCEL, ResText(IDS_MENU_CANCEL_MEETING));
    TrackPopupAtCursor(menu, m_list);
}

void CActiveMeetings::ShowDetails(const MeetingRecord& meeting)
{
    if (meeting.meetingID.empty())
        return;
    m_details.Show(meeting, MeetingDetails::View{});
}

void CActiveMeetings::CancelMeeting(const MeetingRecord& meeting)
{
    if (meeting.meetingID.empty())
        return;
    if (CgiCancelMeeting(m_context.PreparedSession(), meeting.meetingID) != CGI_OK) {
        Status(STATUS_ERROR, ResText(IDS_CANCEL_MEETING_FAILED));
        return;
    }
    Status(STATUS_NORMAL, ResText(IDS_CANCEL_MEETING_OK));
    const int row = RowOfMeeting(meeting.meetingID);
    if (row >= 0 && m_list)
        ListView_DeleteItem(GetDlgItem(m_list, IDC_MEETING_LIST), row);
}

void CActiveMeetings::ShowList()
{
    HWND list = CreateDialogParamW(Instance(), MAKEINTRESOURCEW(IDD_MEETING_LIST), Window(), ListProc,
                                   reinterpret_cast<LPARAM>(this));
    if (!list)
        return;
    SwapChildDialog(list);
    Status(STATUS_NORMAL, ResText(IDS_SELECT_MEETING));
}

// --- the code dialog ----------------------------------------------------

void CActiveMeetings::ShowCodeDialog(UINT statusId)
{
    HWND code = CreateDialogParamW(Instance(), MAKEINTRESOURCEW(IDD_MEETING_CODE), Window(), CodeProc,
                                   reinterpret_cast<LPARAM>(this));
    if (!code)
        return;
    if (m_list)
        KillTimer(m_list, IDT_MEETING_REFRESH);
    SwapChildDialog(code);
    Status(STATUS_NORMAL, ResText(statusId));
}

void CActiveMeetings::InitCode(HWND code)
{
    m_code = code;
    SetDlgItemTextW(code, IDOK, ResText(IDS_BUTTON_OK));
    SetDlgItemTextW(code, IDCANCEL, ResText(IDS_BUTTON_CANCEL));
    SetDlgItemTextW(code, IDC_CODE_PROMPT, ResText(IDS_CODE_PROMPT));
    SetDlgItemTextW(code, IDC_CODE_LABEL, ResText(IDS_MEETING_CODE_LABEL));
    HWND field = GetDlgItem(code, IDC_MEETING_CODE);
    SendMessageW(field, EM_LIMITTEXT, kMeetingCodeMax, 0);
    SetFocus(field);
    for (int control : {IDC_MEETING_CODE, IDOK, IDCANCEL})
        InstallKeySubclass(GetDlgItem(code, control), DlgButtonEditSubclassProc);
}

void CActiveMeetings::OnCodeCommand(int id)
{
    if (id == IDCANCEL)
        ShowList();
    else if (id == IDOK)
        JoinWithCode();
}

void CActiveMeetings::JoinWithCode()
{
    std::wstring code = ControlText(m_code, IDC_MEETING_CODE, kMeetingCodeMax);
    if (code.empty()) {
        Status(STATUS_ERROR, ResText(IDS_CODE_EMPTY));
        return;
    }
    std::string codeUtf8 = WideToAnsi(code, kCodePageUtf8);
    SecureWipe(code);
    m_context.SetMeetingToJoin(m_selected, codeUtf8);
    SecureWipe(codeUtf8);
    int32_t minutes = 0;
    const int32_t result = CgiJoinMeeting(m_context.PreparedSession(), false, &minutes);
    const std::optional<JoinReport> report = JoinReportFor(result);
    if (!report)
        return;
    const std::wstring prefix = m_context.EventPrefix();
    if (report->enter) {
        Log(DHLOG_INFO, FormatResourceText(kStatusFormatMax, ResText(report->logId), prefix.c_str()));
        PostThreadMessageW(MainThreadId(), PLM_JOIN_MEETING, 0, 0);
        return;
    }
    if (report->minutes) {
        Status(STATUS_ERROR, FormatResourceText(kStatusFormatMax, ResText(report->statusId), minutes).c_str());
        Log(DHLOG_WARN, FormatResourceText(kStatusFormatMax, ResText(report->logId), prefix.c_str(), minutes));
    } else {
        Status(STATUS_ERROR, ResText(report->statusId));
        Log(DHLOG_WARN, FormatResourceText(kStatusFormatMax, ResText(report->logId), prefix.c_str()));
    }
}
