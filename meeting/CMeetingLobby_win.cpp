#include "meeting/CMeetingLobby.h"

#include "core/base/AppWindows.h"
#include "core/base/DHLog.h"
#include "core/base/FrameMessages.h"
#include "core/base/LoadResString.h"
#include "core/base/StringUtil.h"
#include "core/base/TextConvert.h"
#include "core/base/ThreadMessages.h"
#include "core/base/WindowUtil.h"
#include "core/control/ControlPacket.h"
#include "meeting/LobbyResources.h"

#include <algorithm>
#include <chrono>
#include <map>

namespace {

constexpr int kButtonImageSize = 24;
constexpr int kMarkImageSize = 16;
constexpr int kNameTipWidth = 300;
// The frame's status box along its bottom edge.
constexpr int kStatusBoxHeight = 64;

// Any string-table text by id (each id keeps its own slot).
const wchar_t* Text(UINT id)
{
    return LoadResStringById(id);
}

std::wstring ReplaceFirst(std::wstring text, const wchar_t* token, const std::wstring& value)
{
    const size_t at = text.find(token);
    if (at != std::wstring::npos)
        text.replace(at, wcslen(token), value);
    return text;
}

std::wstring Wide(const std::string& utf8)
{
    return AnsiToWide(utf8, kCodePageUtf8);
}

UINT StateText(int state)
{
    switch (state) {
    case kShareWaiting: return IDS_LOBBY_STATE_WAITING;
    case kShareStarting: return IDS_LOBBY_STATE_STARTING;
    case kShareReady: return IDS_LOBBY_STATE_READY;
    case kShareStarted: return IDS_LOBBY_STATE_STARTED;
    case kShareQuitting: return IDS_LOBBY_STATE_QUITING;
    default: return 0;
    }
}

// The button tooltips: first look, second look (0: the same).
struct ButtonTexts {
    UINT first, second;
};
ButtonTexts TextsOf(int id)
{
    switch (id) {
    case IDC_TB_START_END: return {IDS_TB_START_MEETING, IDS_TB_END_MEETING};
    case IDC_TB_POLLS: return {IDS_TB_POLLING, 0};
    case IDC_TB_WHITEBOARD: return {IDS_TB_WHITEBOARD, 0};
    case IDC_TB_FILE_SHARE: return {IDS_TB_FILE_SHARE, 0};
    case IDC_TB_VOICE: return {IDS_TB_START_VOICE, IDS_TB_STOP_VOICE};
    case IDC_TB_INVITE: return {IDS_TB_INVITE, 0};
    case IDC_TB_SHARE: return {IDS_TB_START_SHARING, IDS_TB_STOP_SHARING};
    case IDC_TB_CONTROL: return {IDS_TB_REQUEST_CONTROL, IDS_TB_RELEASE_CONTROL};
    case IDC_TB_RESCHEDULE: return {IDS_TB_RESCHEDULE, 0};
    case IDC_TB_REQUEST_HOST: return {IDS_TB_REQUEST_HOST, 0};
    case IDC_TB_QUIT: return {IDS_TB_QUIT, 0};
    default: return {0, 0};
    }
}

// One toolbar image: the button's colour with a sign of its look; greyed
// when disabled.
COLORREF ButtonColour(int index)
{
    static const COLORREF colours[kButtonCount] = {
        RGB(0x2E, 0x7D, 0x32), RGB(0x6A, 0x1B, 0x9A), RGB(0x00, 0x83, 0x8F), RGB(0xEF, 0x6C, 0x00),
        RGB(0x1E, 0x88, 0xE5), RGB(0x8D, 0x6E, 0x63), RGB(0xC6, 0x28, 0x28), RGB(0x5D, 0x40, 0x37),
        RGB(0x39, 0x49, 0xAB), RGB(0xAD, 0x14, 0x57), RGB(0x42, 0x42, 0x42)};
    return colours[index];
}

COLORREF Greyed(COLORREF c)
{
    const int grey = (GetRValue(c) * 30 + GetGValue(c) * 59 + GetBValue(c) * 11) / 100;
    const int light = 160 + grey / 4;
    return RGB(light, light, light);
}

void DrawButtonImage(HDC dc, int button, int value, int x)
{
    const COLORREF base = (value & 1) ? ButtonColour(button) : Greyed(ButtonColour(button));
    RECT whole{x, 0, x + kButtonImageSize, kButtonImageSize};
    FillRect(dc, &whole, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    HBRUSH fill = CreateSolidBrush(base);
    HGDIOBJ oldBrush = SelectObject(dc, fill);
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
    if (value & 2)  // the second look: a square (stop, end, release)
        Rectangle(dc, x + 4, 4, x + 21, 21);
    else
        Ellipse(dc, x + 2, 2, x + 23, 23);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(fill);
    // The button's letter in the middle.
    static const wchar_t letters[] = L"SPWFVIHCRQX";
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    const COLORREF oldInk = SetTextColor(dc, RGB(255, 255, 255));
    DrawTextW(dc, &letters[button], 1, &whole, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SetTextColor(dc, oldInk);
    SetBkMode(dc, oldMode);
}

// count images of size x size drawn by draw(dc, index, x) into a new list.
template <class Draw>
HIMAGELIST MakeImageList(int size, int count, Draw draw)
{
    HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, count, 0);
    if (!list)
        return nullptr;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP strip = CreateCompatibleBitmap(screen, size * count, size);
    ReleaseDC(nullptr, screen);
    if (dc && strip) {
        HGDIOBJ old = SelectObject(dc, strip);
        for (int i = 0; i < count; ++i)
            draw(dc, i, i * size);
        SelectObject(dc, old);
        ImageList_AddMasked(list, strip, RGB(255, 255, 255));
    }
    if (strip)
        DeleteObject(strip);
    if (dc)
        DeleteDC(dc);
    return list;
}

void DrawMark(HDC dc, int index, int x)
{
    static const COLORREF colours[3] = {RGB(0xE5, 0x39, 0x35), RGB(0x1E, 0x88, 0xE5), RGB(0x43, 0xA0, 0x47)};
    RECT whole{x, 0, x + kMarkImageSize, kMarkImageSize};
    FillRect(dc, &whole, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    HBRUSH fill = CreateSolidBrush(colours[index]);
    HGDIOBJ oldBrush = SelectObject(dc, fill);
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(NULL_PEN));
    Ellipse(dc, x + 2, 2, x + 15, 15);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(fill);
}

// The CBT hook of the expiry box: names its buttons, then removes itself.
thread_local HHOOK t_expiryHook = nullptr;
LRESULT CALLBACK ExpiryBoxHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE) {
        HWND box = reinterpret_cast<HWND>(wParam);
        SetDlgItemTextW(box, IDYES, Text(IDS_LOBBY_RESCHEDULE_BUTTON));
        SetDlgItemTextW(box, IDNO, Text(IDS_LOBBY_NO_BUTTON));
        HHOOK hook = t_expiryHook;
        t_expiryHook = nullptr;
        if (hook)
            UnhookWindowsHookEx(hook);
        return 0;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

CMeetingLobby::CMeetingLobby(std::shared_ptr<LobbyContext> context)
    : CWindowFrame(context->Instance(), context->MainThreadId()), m_context(std::move(context))
{
}

CMeetingLobby::~CMeetingLobby()
{
    {
        std::lock_guard<std::mutex> l(m_refreshLock);
        m_stopped = true;
        m_applied = m_asked;  // nobody waits for a list that never comes
    }
    m_refreshDone.notify_all();
    // The request ends with its own time-outs; the worker keeps the context
    // it uses and posts to a window that may be gone.
    if (!m_worker.Join(1000))
        DHLog::Instance().Print(0x80, 2, false, "The lobby's participant request was left to end by itself.\n");
    if (m_dialog)
        SetWindowLongPtrW(m_dialog, GWLP_USERDATA, 0);
    DestroyFrame();
    if (m_menu)
        DestroyMenu(m_menu);
    if (m_toolbarImages)
        ImageList_Destroy(m_toolbarImages);
    if (m_markImages)
        ImageList_Destroy(m_markImages);
    if (m_bold)
        DeleteObject(m_bold);
}

void CMeetingLobby::Create()
{
    // The list, the toolbar and the rebar, whoever runs the lobby.
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_COOL_CLASSES};
    InitCommonControlsEx(&controls);
    SetIcon(LoadIconW(Instance(), MAKEINTRESOURCEW(137)));
    HWND frame = CreateFrameDialog(IDD_LOBBY_FRAME, false);
    if (!frame) {
        DHLog::Instance().Print(0x80, 1, false, "The lobby window could not be made (%lu).\n", GetLastError());
        return;
    }
    m_hWnd = frame;
    m_dialog = CreateDialogParamW(Instance(), MAKEINTRESOURCEW(IDD_LOBBY), frame, DialogProc,
                                  reinterpret_cast<LPARAM>(this));
    if (!m_dialog) {
        DHLog::Instance().Print(0x80, 1, false, "The lobby's page could not be made (%lu).\n", GetLastError());
        DestroyFrame();
        m_hWnd = nullptr;
        return;
    }
    FitDialog();
    SwapChildDialog(m_dialog);
    MakeOwnLayeredWindow(frame);
    ShowWindow(frame, SW_SHOW);
}

INT_PTR CALLBACK CMeetingLobby::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) {
        auto* lobby = reinterpret_cast<CMeetingLobby*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
        lobby->m_dialog = hwnd;
        lobby->OnInitDialog();
        return TRUE;
    }
    auto* lobby = reinterpret_cast<CMeetingLobby*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!lobby)
        return FALSE;
    return lobby->OnDialogMessage(msg, wParam, lParam);
}

void CMeetingLobby::OnInitDialog()
{
    m_list = GetDlgItem(m_dialog, IDC_LOBBY_LIST);
    SetDlgItemTextW(m_dialog, IDC_LOBBY_NAME_LABEL, Text(IDS_LOBBY_MEETING_NAME));
    SetDlgItemTextW(m_dialog, IDC_LOBBY_STATE_LABEL, Text(IDS_LOBBY_MEETING_STATE));
    SetDlgItemTextW(m_dialog, IDC_LOBBY_MEMBERS_LABEL, Text(IDS_LOBBY_MEMBERS));

    // The full meeting name over the (cut) name field.
    m_nameTip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_dialog, nullptr, Instance(), nullptr);
    if (m_nameTip) {
        MakeOwnLayeredWindow(m_nameTip);
        TOOLINFOW tool{};
        tool.cbSize = sizeof(tool);
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = m_dialog;
        tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(m_dialog, IDC_LOBBY_NAME));
        tool.lpszText = LPSTR_TEXTCALLBACKW;
        SendMessageW(m_nameTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        SendMessageW(m_nameTip, TTM_SETMAXTIPWIDTH, 0, kNameTipWidth);
    }

    BuildImageLists();
    CreateToolbar();
    CreateColumns();
    m_menu = LoadMenuW(Instance(), MAKEINTRESOURCEW(IDM_LOBBY_PARTICIPANT));

    m_snapshot = m_context->Snapshot();
    ShowMeetingState();
    SetDlgItemTextW(m_dialog, IDC_LOBBY_NAME, Wide(m_snapshot.meetingName).c_str());

    RECT dialog{};
    GetClientRect(m_dialog, &dialog);
    m_layout.Attach(m_dialog, dialog.right, dialog.bottom);
    for (int id : {IDC_LOBBY_NOTE, IDC_LOBBY_LIST, IDC_LOBBY_REBAR}) {
        HWND control = GetDlgItem(m_dialog, id);
        if (!control)
            continue;
        RECT r{};
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, m_dialog, reinterpret_cast<POINT*>(&r), 2);
        const int flags = id == IDC_LOBBY_LIST ? ANCHOR_LEFT | ANCHOR_TOP | ANCHOR_RIGHT | ANCHOR_BOTTOM
                          : id == IDC_LOBBY_NOTE ? ANCHOR_LEFT | ANCHOR_RIGHT | ANCHOR_BOTTOM
                                                 : ANCHOR_LEFT | ANCHOR_TOP | ANCHOR_RIGHT;
        m_layout.AddControl(control, flags, r);
    }

    UpdateToolbar();
    RefreshParticipantList();
    AskRefresh();
    SetTimer(m_dialog, kLobbyRefreshTimer, kLobbyRefreshPeriodMs, nullptr);
}

void CMeetingLobby::BuildImageLists()
{
    m_toolbarImages = MakeImageList(kButtonImageSize, 4 * kButtonCount, [](HDC dc, int i, int x) {
        DrawButtonImage(dc, i / 4, i % 4, x);
    });
    m_markImages = MakeImageList(kMarkImageSize, 3, DrawMark);
    LOGFONTW font{};
    HFONT listFont = reinterpret_cast<HFONT>(SendMessageW(m_list, WM_GETFONT, 0, 0));
    GetObjectW(listFont ? listFont : GetStockObject(DEFAULT_GUI_FONT), sizeof(font), &font);
    font.lfWeight = FW_BOLD;
    m_bold = CreateFontIndirectW(&font);
}

void CMeetingLobby::CreateToolbar()
{
    RECT list{};
    GetWindowRect(m_list, &list);
    MapWindowPoints(nullptr, m_dialog, reinterpret_cast<POINT*>(&list), 2);
    m_rebar = CreateWindowExW(0, REBARCLASSNAMEW, nullptr,
                              WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | RBS_VARHEIGHT |
                                  CCS_NODIVIDER | CCS_NORESIZE,
                              list.left, 34, list.right - list.left, kButtonImageSize + 12, m_dialog,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_LOBBY_REBAR)), Instance(), nullptr);
    m_toolbar = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                                WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_NORESIZE |
                                    CCS_NODIVIDER | CCS_NOPARENTALIGN,
                                0, 0, 0, 0, m_rebar ? m_rebar : m_dialog,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_LOBBY_TOOLBAR)), Instance(), nullptr);
    if (!m_toolbar)
        return;
    SendMessageW(m_toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageW(m_toolbar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(m_toolbarImages));
    TBBUTTON buttons[kButtonCount]{};
    for (int i = 0; i < kButtonCount; ++i) {
        buttons[i].iBitmap = ButtonImage(m_buttons, kFirstButton + i);
        buttons[i].idCommand = kFirstButton + i;
        buttons[i].fsState = TBSTATE_ENABLED;  // never disabled at the window level
        buttons[i].fsStyle = BTNS_BUTTON;
    }
    SendMessageW(m_toolbar, TB_ADDBUTTONSW, kButtonCount, reinterpret_cast<LPARAM>(buttons));
    SendMessageW(m_toolbar, TB_AUTOSIZE, 0, 0);
    if (HWND tips = reinterpret_cast<HWND>(SendMessageW(m_toolbar, TB_GETTOOLTIPS, 0, 0)))
        MakeOwnLayeredWindow(tips);
    if (m_rebar) {
        SIZE size{};
        SendMessageW(m_toolbar, TB_GETMAXSIZE, 0, reinterpret_cast<LPARAM>(&size));
        REBARBANDINFOW band{};
        band.cbSize = sizeof(band);
        band.fMask = RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_SIZE | RBBIM_STYLE;
        band.fStyle = RBBS_NOGRIPPER | RBBS_CHILDEDGE;
        band.hwndChild = m_toolbar;
        band.cxMinChild = size.cx;
        band.cyMinChild = size.cy;
        band.cx = size.cx;
        SendMessageW(m_rebar, RB_INSERTBANDW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&band));
    }
}

void CMeetingLobby::CreateColumns()
{
    ListView_SetExtendedListViewStyle(m_list, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP |
                                                  LVS_EX_INFOTIP | LVS_EX_LABELTIP | LVS_EX_UNDERLINEHOT |
                                                  LVS_EX_DOUBLEBUFFER);
    RECT client{};
    GetClientRect(m_list, &client);
    const int third = client.right / 3;
    const UINT titles[] = {IDS_LOBBY_COL_NAME, IDS_LOBBY_COL_ROLE, IDS_LOBBY_COL_STATE};
    for (int i = 0; i < 4; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        std::wstring title = i < 3 ? Text(titles[i]) : L"";
        column.pszText = &title[0];
        column.cx = i < 3 ? third : 0;
        column.iSubItem = i;
        ListView_InsertColumn(m_list, i, &column);
    }
}

// --- messages ---------------------------------------------------------------

bool CMeetingLobby::OnFrameMessage(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& result)
{
    switch (msg) {
    case WM_TIMER:
        if (wParam != kLobbyRefreshTimer)
            return false;
        AskRefresh();
        result = TRUE;
        return true;
    case WM_SIZE:
        FitDialog();
        return false;  // the frame repaints its status box
    case PLM_SETUP_DONE:
        OnRescheduleResult(wParam, lParam);
        result = TRUE;
        return true;
    case WM_FRAME_ANCHOR_CHILD: {
        // The chat docks: it keeps the band below the lobby's page.
        HWND pane = reinterpret_cast<HWND>(wParam);
        if (!pane || pane == m_dialog || GetParent(pane) != m_hWnd)
            return false;
        RECT r{};
        GetWindowRect(pane, &r);
        MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&r), 2);
        m_chatPane = pane;
        m_chatPaneTop = r.top;
        m_chatPaneMargin = r.left;
        FitDialog();
        result = TRUE;
        return true;
    }
    case WM_COMMAND:
        // The end-meeting dialog's "Quit" clicks the quit button here.
        if (LOWORD(wParam) != IDC_TB_QUIT)
            return false;
        OnCommand(IDC_TB_QUIT);
        result = TRUE;
        return true;
    default: return false;
    }
}

void CMeetingLobby::FitDialog()
{
    // The dialog fills the frame above its status box.
    if (!m_hWnd || !m_dialog)
        return;
    RECT client{};
    GetClientRect(m_hWnd, &client);
    const LONG bottom = std::max<LONG>(0, client.bottom - kStatusBoxHeight);
    const bool docked = m_chatPane && IsWindow(m_chatPane) && GetParent(m_chatPane) == m_hWnd;
    if (!docked) {
        m_chatPane = nullptr;
        SetWindowPos(m_dialog, nullptr, 0, 0, client.right, bottom, SWP_NOZORDER | SWP_NOACTIVATE);
        return;
    }
    const LONG top = std::min<LONG>(m_chatPaneTop, bottom);
    SetWindowPos(m_dialog, nullptr, 0, 0, client.right, top, SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(m_chatPane, nullptr, m_chatPaneMargin, top, std::max<LONG>(0, client.right - 2 * m_chatPaneMargin),
                 bottom - top, SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CMeetingLobby::OnDialogMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_TIMER:
        SetStatusText(STATUS_NORMAL, Text(IDS_LOBBY_SELECT_HOST));
        if (wParam == kLobbyRefreshTimer)
            AskRefresh();
        return TRUE;
    case WM_LOBBY_LIST_READY: {
        const int result = static_cast<int>(wParam);
        auto* done = reinterpret_cast<uint64_t*>(lParam);
        const uint64_t covers = done[0];
        const int prev = static_cast<int>(done[1]), step = static_cast<int>(done[2]);
        delete[] done;
        OnParticipantList(result, covers, prev, step);
        return TRUE;
    }
    case WM_FRAME_RELAYOUT:
        RelayoutDialog();
        SetWindowLongPtrW(m_dialog, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_FRAME_ANCHOR_CHILD:
        SetWindowLongPtrW(m_dialog, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_SIZE: RelayoutDialog(); return TRUE;
    case WM_CTLCOLORSTATIC:
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
    case WM_CTLCOLORDLG: return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
    case WM_NOTIFY:
        SetWindowLongPtrW(m_dialog, DWLP_MSGRESULT, OnNotify(reinterpret_cast<NMHDR*>(lParam)));
        return TRUE;
    case WM_COMMAND:
        if (HIWORD(wParam) == 0 || HIWORD(wParam) == BN_CLICKED) {
            OnCommand(LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        KillTimer(m_dialog, kLobbyRefreshTimer);
        m_dialog = nullptr;
        return FALSE;
    default: return FALSE;
    }
}

void CMeetingLobby::RelayoutDialog()
{
    m_layout.Relayout();
    if (m_list) {
        RECT client{};
        GetClientRect(m_list, &client);
        for (int i = 0; i < 3; ++i)
            ListView_SetColumnWidth(m_list, i, client.right / 3);
    }
    InvalidateRect(m_dialog, nullptr, TRUE);
}

void CMeetingLobby::OnCommand(int id)
{
    if (id >= kFirstButton && id < kFirstButton + kButtonCount) {
        // A greyed button keeps its tooltip and does nothing.
        if (!ButtonEnabled(m_buttons, id))
            return;
        OnToolbarCommand(id, Button(m_buttons, id));
        UpdateToolbar();
        return;
    }
    if (!m_selected.session.empty())
        OnParticipantCommand(id, m_selected.session);
}

LRESULT CMeetingLobby::OnNotify(NMHDR* header)
{
    switch (header->code) {
    case TTN_GETDISPINFOW: {
        auto* info = reinterpret_cast<NMTTDISPINFOW*>(header);
        std::wstring text;
        if (header->idFrom >= kFirstButton && header->idFrom < kFirstButton + kButtonCount)
            text = GetToolTipText(static_cast<int>(header->idFrom));
        else
            text = Wide(m_snapshot.meetingName);
        static thread_local wchar_t tip[512];
        lstrcpynW(tip, text.c_str(), 512);
        info->lpszText = tip;
        return 0;
    }
    case HDN_BEGINTRACKW:
    case HDN_BEGINTRACKA:
        // The hidden column keeps its zero width.
        return reinterpret_cast<NMHEADERW*>(header)->iItem == 3 ? TRUE : FALSE;
    default: break;
    }
    if (header->idFrom != IDC_LOBBY_LIST)
        return 0;
    switch (header->code) {
    case NM_CUSTOMDRAW: return OnCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(header));
    case LVN_GETINFOTIPW: {
        auto* tip = reinterpret_cast<NMLVGETINFOTIPW*>(header);
        if (tip->iItem < 0 || static_cast<size_t>(tip->iItem) >= m_rows.size() || !tip->pszText || tip->cchTextMax <= 0)
            return 0;
        const int mark = m_rows[static_cast<size_t>(tip->iItem)].mark;
        const UINT id = mark == kMarkControlRequest ? IDS_LOBBY_TIP_CONTROL
                        : mark == kMarkHostRequest  ? IDS_LOBBY_TIP_HOST
                        : mark == kMarkBothRequests ? IDS_LOBBY_TIP_BOTH
                                                    : 0;
        if (id)
            lstrcpynW(tip->pszText, Text(id), tip->cchTextMax);
        return 0;
    }
    case NM_RCLICK: ShowContextMenu(); return 0;
    default: return 0;
    }
}

LRESULT CMeetingLobby::OnCustomDraw(NMLVCUSTOMDRAW* draw)
{
    const DWORD stage = draw->nmcd.dwDrawStage;
    if (stage == CDDS_PREPAINT)
        return CDRF_NOTIFYITEMDRAW;
    const size_t row = static_cast<size_t>(draw->nmcd.dwItemSpec);
    if (row >= m_rows.size())
        return CDRF_DODEFAULT;
    const LobbyRow& r = m_rows[row];
    if (stage == CDDS_ITEMPREPAINT)
        return CDRF_NOTIFYSUBITEMDRAW | (r.icons.empty() ? 0 : CDRF_NOTIFYPOSTPAINT);
    if (stage == (CDDS_ITEMPREPAINT | CDDS_SUBITEM)) {
        if (draw->iSubItem == 0 && r.bold && m_bold) {
            SelectObject(draw->nmcd.hdc, m_bold);
            return CDRF_NEWFONT;
        }
        SelectObject(draw->nmcd.hdc, reinterpret_cast<HFONT>(SendMessageW(m_list, WM_GETFONT, 0, 0)));
        return CDRF_NEWFONT;
    }
    if (stage == CDDS_ITEMPOSTPAINT && m_markImages) {
        RECT label{};
        label.left = LVIR_LABEL;
        if (!SendMessageW(m_list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&label)))
            return CDRF_DODEFAULT;
        int x = label.right - 5 - kMarkImageSize * static_cast<int>(r.icons.size());
        for (int icon : r.icons) {
            ImageList_Draw(m_markImages, icon, draw->nmcd.hdc, x, label.top + 1, ILD_TRANSPARENT);
            x += kMarkImageSize;
        }
    }
    return CDRF_DODEFAULT;
}

std::wstring CMeetingLobby::GetToolTipText(int id) const
{
    const ButtonTexts texts = TextsOf(id);
    if (!texts.first)
        return L"";
    const int value = (id >= kFirstButton && id < kFirstButton + kButtonCount) ? Button(m_buttons, id) : 0;
    return Text((value > 0 && (value & 2) && texts.second) ? texts.second : texts.first);
}

std::string CMeetingLobby::RowSession(int row) const
{
    return row >= 0 && static_cast<size_t>(row) < m_rows.size() ? m_rows[static_cast<size_t>(row)].session : "";
}

void CMeetingLobby::ShowContextMenu()
{
    const int row = ListView_GetNextItem(m_list, -1, LVNI_SELECTED);
    const std::string session = RowSession(row);
    if (session.empty() || !m_menu)
        return;
    // By the row's session, never by its name: two guests may share one.
    const auto found = std::find_if(m_snapshot.participants.begin(), m_snapshot.participants.end(),
                                    [&](const LobbyParticipant& p) { return p.session == session; });
    if (found == m_snapshot.participants.end())
        return;
    m_selected = *found;
    const LobbyOwnState own = m_context->Own();
    MenuInputs in;
    in.ownSession = m_context->OwnSessionId();
    in.ownRole = own.role;
    in.ownCallerRole = own.callerRole;
    in.assistPermission = own.assistPermission;
    in.selected = m_selected;
    in.controlRequests = m_context->ControlRequests();
    in.hostRequests = m_context->HostRequests();
    in.controlHolder = m_context->ControlHolder();
    in.meetingSharingState = m_snapshot.meetingSharingState;
    in.handoverUnderway = m_context->HandoverUnderway();
    const std::vector<LobbyMenuItem> items = BuildParticipantMenu(in);
    HMENU popup = GetSubMenu(m_menu, 0);
    if (!popup || items.empty())
        return;
    while (GetMenuItemCount(popup) > 0)
        DeleteMenu(popup, 0, MF_BYPOSITION);
    for (const LobbyMenuItem& item : items)
        AppendMenuW(popup, MF_STRING, static_cast<UINT_PTR>(item.command), Text(static_cast<UINT>(item.text)));
    TrackPopupAtCursor(popup, m_dialog);
}

// --- rows, toolbar, note ----------------------------------------------------

void CMeetingLobby::RefreshParticipantList()
{
    if (!m_list)
        return;
    const LobbyOwnState own = m_context->Own();
    RowInputs in;
    in.ownSession = m_context->OwnSessionId();
    in.meetingSharingState = m_snapshot.meetingSharingState;
    in.controlHeld = own.controlHeld;
    in.voiceActive = own.voiceActive;
    in.filesShared = own.filesShared;
    in.controlRequests = m_context->ControlRequests();
    in.hostRequests = m_context->HostRequests();
    m_rows = BuildLobbyRows(m_snapshot.participants, in);

    SendMessageW(m_list, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(m_list);
    for (size_t i = 0; i < m_rows.size(); ++i) {
        const LobbyRow& r = m_rows[i];
        std::wstring name = r.plainName;
        if (r.nameForm == RowName::Controlling)
            name = ReplaceFirstPlaceholder(Text(IDS_LOBBY_CONTROLLING), r.plainName);
        else if (r.nameForm == RowName::Sharing)
            name = ReplaceFirstPlaceholder(Text(IDS_LOBBY_SHARING), r.plainName);
        std::wstring role = r.role == 1 ? Text(IDS_LOBBY_ROLE_HOST) : r.role == 0 ? Text(IDS_LOBBY_ROLE_PARTICIPANT) : L"";
        if (r.coordinator)
            role += Text(IDS_LOBBY_ROLE_COORDINATOR);
        if (r.assist)
            role += Text(IDS_LOBBY_ROLE_ASSIST);
        if (r.viewOnly)
            role += Text(IDS_LOBBY_ROLE_VIEW_ONLY);
        if (r.sharingFiles)
            role += Text(IDS_LOBBY_SHARING_FILES);
        const UINT state = StateText(r.state);
        std::wstring stateText = state ? Text(state) : L"";

        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = static_cast<int>(i);
        item.pszText = &name[0];
        item.lParam = r.mark;
        const int at = ListView_InsertItem(m_list, &item);
        ListView_SetItemText(m_list, at, 1, &role[0]);
        ListView_SetItemText(m_list, at, 2, &stateText[0]);
        std::wstring plain = r.plainName;
        ListView_SetItemText(m_list, at, 3, &plain[0]);
    }
    SendMessageW(m_list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(m_list, nullptr, TRUE);
}

void CMeetingLobby::UpdateToolbar()
{
    const LobbyOwnState own = m_context->Own();
    ToolbarInputs in;
    in.role = own.role;
    in.callerRole = own.callerRole;
    in.assistPermission = own.assistPermission;
    in.meetingState = m_snapshot.meetingState;
    in.meetingSharingState = m_snapshot.meetingSharingState;
    in.pollActive = own.pollActive;
    in.voiceActive = own.voiceActive;
    in.captureDevice = own.captureDevice;
    in.viewOnly = m_viewOnly;
    in.controlHeld = own.controlHeld;
    m_buttons = UpdateToolbarValues(m_buttons, in);
    if (!m_toolbar)
        return;
    for (int id = kFirstButton; id < kFirstButton + kButtonCount; ++id)
        SendMessageW(m_toolbar, TB_CHANGEBITMAP, id, ButtonImage(m_buttons, id));
}

void CMeetingLobby::UpdateControlNote()
{
    UpdateToolbar();
    HWND note = m_dialog ? GetDlgItem(m_dialog, IDC_LOBBY_NOTE) : nullptr;
    if (!note)
        return;
    const LobbyOwnState own = m_context->Own();
    const int text = ControlNoteText(own.role, m_viewOnly, m_snapshot.meetingState, m_snapshot.meetingSharingState,
                                     own.controlHeld);
    if (text)
        SetWindowTextW(note, Text(static_cast<UINT>(text)));
    ShowWindow(note, text ? SW_SHOW : SW_HIDE);
}

void CMeetingLobby::ShowMeetingState()
{
    if (!m_dialog)
        return;
    std::wstring text;
    if (m_snapshot.meetingState == 2)
        text = Text(m_snapshot.meetingSharingState == kMeetingShared ? IDS_LOBBY_HOST_SHARING
                                                                     : IDS_LOBBY_HOST_NOT_SHARING);
    else if (ShowWaitMessage(m_snapshot.waitMessage, m_context->Own().callerRole))
        text = Wide(m_snapshot.waitMessage);
    else
        text = Text(IDS_LOBBY_STATE_WAITING);
    SetDlgItemTextW(m_dialog, IDC_LOBBY_STATE, text.c_str());
}

// --- refresh ----------------------------------------------------------------

bool CMeetingLobby::RefreshNow(DWORD waitMs)
{
    HWND frame = m_hWnd;
    if (!frame)
        return false;
    if (GetWindowThreadProcessId(frame, nullptr) == GetCurrentThreadId()) {
        AskRefresh();
        return true;
    }
    uint64_t ticket;
    {
        std::lock_guard<std::mutex> l(m_refreshLock);
        if (m_stopped)
            return false;
        ticket = m_asked + 1;
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(frame, WM_TIMER, kLobbyRefreshTimer, 0, SMTO_BLOCK, waitMs, &result))
        return false;
    std::unique_lock<std::mutex> l(m_refreshLock);
    return m_refreshDone.wait_until(l, until, [&] { return m_applied >= ticket || m_stopped; }) && !m_stopped;
}

void CMeetingLobby::AskRefresh()
{
    {
        std::lock_guard<std::mutex> l(m_refreshLock);
        if (m_stopped)
            return;
        ++m_asked;
    }
    StartRefreshIfDue();
}

void CMeetingLobby::StartRefreshIfDue()
{
    // One request at a time, none while one of its boxes is open.
    if (m_requestRunning || m_boxOpen || !m_dialog)
        return;
    uint64_t covers;
    {
        std::lock_guard<std::mutex> l(m_refreshLock);
        if (m_stopped || m_asked <= m_applied)
            return;
        covers = m_asked;
    }
    m_worker.Join(0);  // the last one posted its result: it has ended
    const LobbyOwnState own = m_context->Own();
    std::function<int()> request = m_context->PrepareParticipantsRequest();
    HWND dialog = m_dialog;
    const uint64_t prev = static_cast<uint64_t>(own.prevSharingState), step = static_cast<uint64_t>(own.sharingState);
    m_requestRunning = m_worker.Start([request, dialog, covers, prev, step] {
        const int result = request ? request() : -1;
        auto* done = new uint64_t[3]{covers, prev, step};
        if (!PostMessageW(dialog, WM_LOBBY_LIST_READY, static_cast<WPARAM>(result), reinterpret_cast<LPARAM>(done)))
            delete[] done;
    });
}

void CMeetingLobby::OnParticipantList(int result, uint64_t covers, int prevStep, int step)
{
    m_requestRunning = false;
    m_worker.Join(1000);
    {
        std::lock_guard<std::mutex> l(m_refreshLock);
        if (m_stopped)
            return;
    }
    const RefreshOutcome outcome = ActOnRefreshResult(result);
    auto finish = [&] {
        {
            std::lock_guard<std::mutex> l(m_refreshLock);
            m_applied = std::max(m_applied, covers);
        }
        m_refreshDone.notify_all();
        StartRefreshIfDue();
    };
    switch (outcome.action) {
    case RefreshAction::Ignore: finish(); return;
    case RefreshAction::LogOut:
    case RefreshAction::Leave: {
        StopRefreshing();
        if (outcome.action == RefreshAction::LogOut)
            m_context->LogEvent(3, L"%sSession is expired, please login again.\n");
        ShowBox(outcome.text, outcome.title, MB_OK | MB_ICONEXCLAMATION | MB_TOPMOST);
        if (outcome.action == RefreshAction::LogOut)
            PostThreadMessageW(MainThreadId(), PLM_LOGOUT, 0, 0);
        else
            Leave();
        finish();
        return;
    }
    case RefreshAction::Apply: break;
    }

    m_snapshot = m_context->Snapshot();
    m_context->SyncRequestLists();
    RefreshParticipantList();
    m_context->ParticipantsRefreshed();
    // The sharing steps moved while the list was on its way: it may show
    // this program's earlier state; the next list decides.
    const LobbyOwnState own = m_context->Own();
    if (own.prevSharingState == prevStep && own.sharingState == step)
        OnSharingState();
    else
        AskRefresh();
    m_context->LogEvent(7, L"%sGet the participant list OK.\n");
    ApplyExpiry();
    finish();
}

void CMeetingLobby::ApplyExpiry()
{
    const ExpiryOutcome e = ActOnExpiry(m_snapshot.meetingState, m_snapshot.expirySeconds, m_context->Own().callerRole);
    if (e.text) {
        std::wstring text = ReplaceFirst(Text(static_cast<UINT>(e.text)), L"%d", std::to_wstring(e.minutes));
        text = ReplaceFirst(text, L"%d", std::to_wstring(e.seconds));
        SetStatusText(STATUS_WARNING, text.c_str());
    }
    if (!e.askReschedule)
        return;
    StopRefreshing();
    t_expiryHook = SetWindowsHookExW(WH_CBT, ExpiryBoxHook, nullptr, GetCurrentThreadId());
    const int answer = ShowBox(IDS_LOBBY_EXPIRED, IDS_LOBBY_EXPIRED_TITLE, MB_YESNO | MB_ICONQUESTION | MB_TOPMOST);
    if (t_expiryHook) {
        UnhookWindowsHookEx(t_expiryHook);
        t_expiryHook = nullptr;
    }
    if (answer == IDYES)
        PostThreadMessageW(MainThreadId(), PLM_RESCHEDULE, 0, 0);
    else if (m_dialog)
        PostMessageW(m_dialog, WM_COMMAND, IDC_TB_QUIT, 0);
}

void CMeetingLobby::StopRefreshing()
{
    // The timer may go on ticking when asked from another thread: its asks
    // are dropped.
    if (m_dialog && GetWindowThreadProcessId(m_dialog, nullptr) == GetCurrentThreadId())
        KillTimer(m_dialog, kLobbyRefreshTimer);
    {
        std::lock_guard<std::mutex> l(m_refreshLock);
        m_stopped = true;
    }
    m_refreshDone.notify_all();
}

void CMeetingLobby::ResumeRefresh()
{
    {
        std::lock_guard<std::mutex> l(m_refreshLock);
        m_stopped = false;
    }
    if (m_dialog)
        SetTimer(m_dialog, kLobbyRefreshTimer, kLobbyRefreshPeriodMs, nullptr);
}

int CMeetingLobby::ShowBox(int text, int title, UINT flags)
{
    // While the box is open no refresh starts (its loop still runs timers).
    m_boxOpen = true;
    const int answer = MessageBoxW(m_dialog, Text(static_cast<UINT>(text)), Text(static_cast<UINT>(title)), flags);
    m_boxOpen = false;
    return answer;
}

void CMeetingLobby::Leave()
{
    const LobbyOwnState own = m_context->Own();
    PostThreadMessageW(MainThreadId(), PLM_MEETING_LEFT, LeaveWParam(own.role), own.callerRole);
}

// --- the sharing state --------------------------------------------------------

void CMeetingLobby::OnSharingState()
{
    const LobbyOwnState own = m_context->Own();
    SharingInputs in;
    in.ownSession = m_context->OwnSessionId();
    in.ownName = m_context->OwnDisplayName();
    in.ownRole = own.role;
    in.ownCallerRole = own.callerRole;
    in.assistPermission = own.assistPermission;
    in.ownState = own.sharingState;
    in.prevState = own.prevSharingState;
    in.meetingState = m_snapshot.meetingState;
    in.meetingSharingState = m_snapshot.meetingSharingState;
    in.startedSeen = m_startedSeen;
    in.ownSeen = m_ownSeen;
    const SharingOutcome o = EvaluateSharing(m_snapshot.participants, in);
    m_ownSeen = m_ownSeen || o.ownFound;

    if (o.ownFound) {
        if (o.nameChanged)
            m_context->SetOwnDisplayName(o.name);
        if (o.ownState != own.sharingState || o.prevState != own.prevSharingState)
            m_context->SetSharingStates(o.prevState, o.ownState);
        m_context->SetRoles(o.role, o.callerRole, o.assistPermission);
        if (o.becameCoordinator)
            m_context->Balloon(Text(IDS_LOBBY_INFO), Text(IDS_LOBBY_NOW_COORDINATOR));
        if (o.resetControlMenu)
            PostThreadMessageW(MainThreadId(), PLM_RESET_CTRL_MENU, 0, 0);
        if (o.dockPanel) {
            PostThreadMessageW(MainThreadId(), PLM_DOCK_PANEL, 1, 1);
            m_context->ClearHostRequestPending();
        }
        if (o.hideChat)
            m_context->HideChat();
        if (o.closeHostTools)
            m_context->CloseHostTools();
        m_viewOnly = o.viewOnly;
        if (o.roleChanged)
            m_context->ClosePlayback();
    }
    if (o.takeHostRole)
        m_context->Meeting().SendControlMessage(PLP_SET_HOST, m_context->OwnSessionId(), "", 0, 0, 1);
    if (o.startedBalloon)
        m_context->Balloon(Text(IDS_LOBBY_INFO), Text(IDS_LOBBY_MEETING_STARTED));
    m_startedSeen = o.startedSeen;
    ShowMeetingState();
    if (o.leave) {
        Leave();
        UpdateControlNote();
        return;
    }
    UpdateControlNote();
    if (o.sendReady)
        m_context->Meeting().SendControlMessage(PLP_SHARING_STATE, m_context->OwnSessionId(), "", 0, 3, 4);
    if (o.logLine)
        m_context->LogEvent(3, Wide(o.logLine).c_str());
    if (o.post)
        PostThreadMessageW(MainThreadId(), o.post, 0, 0);
}

