#include "appliance/ui/Invite_win.h"

#include "appliance/cgi/Invitation.h"
#include "appliance/ui/AddressList_win.h"
#include "appliance/ui/MeetingSetupResources.h"
#include "appliance/ui/SetupText_win.h"
#include "core/base/WindowUtil.h"

#include <commctrl.h>

#include <vector>

namespace {

constexpr int kBannerId = 134;
constexpr RECT kBannerRect{15, 30, 100, 130};
constexpr int kRequiredId = 3014;
constexpr int kCoordinatorId = 3015;
constexpr int kMessageId = 3016;
constexpr int kCloseId = 3017;

std::wstring TextOf(HWND control, size_t max)
{
    std::vector<wchar_t> text(max + 1, L'\0');
    GetWindowTextW(control, text.data(), static_cast<int>(max + 1));
    return text.data();
}

bool IsButton(HWND control)
{
    wchar_t cls[16] = {};
    GetClassNameW(control, cls, 16);
    return lstrcmpiW(cls, L"Button") == 0;
}

} // namespace

CInvite::CInvite(InviteContext& context) : m_context(context) {}

CInvite::~CInvite()
{
    // A worker still waiting reports to nobody.
    if (m_target)
        m_target->Forget();
    if (m_listDialog)
        DestroyWindow(m_listDialog);
    if (m_hwnd) {
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
        DestroyWindow(m_hwnd);
    }
    if (m_classRegistered)
        UnregisterClassW(kClassName, m_context.Instance());
    if (m_banner)
        DeleteObject(m_banner);
}

bool CInvite::Create()
{
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = m_context.Instance();
    wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(IDI_SETUP_APP));
    wc.hIconSm = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(140));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    m_classRegistered = RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    if (!m_classRegistered)
        return false;
    m_hwnd = CreateWindowExW(WS_EX_LAYERED, kClassName, SetupText(IDS_INVITE_TITLE),
                             WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_SYSMENU | WS_THICKFRAME | WS_CAPTION,
                             CW_USEDEFAULT, CW_USEDEFAULT, kWidth, kHeight, nullptr, nullptr, m_context.Instance(),
                             this);
    if (!m_hwnd)
        return false;
    MakeOwnLayeredWindow(m_hwnd);
    m_banner = static_cast<HBITMAP>(
        LoadImageW(m_context.Instance(), MAKEINTRESOURCEW(kBannerId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    m_target = std::make_shared<InviteReportTarget>(m_hwnd, kReportMessage);
    CreateControls();
    m_layout.Relayout();
    return true;
}

void CInvite::Show()
{
    if (!m_hwnd)
        return;
    ShowWindow(m_hwnd, SW_SHOW);
    SetForegroundWindow(m_hwnd);
    SetFocus(m_required);
}

HWND CInvite::Make(const wchar_t* cls, const wchar_t* text, DWORD style, DWORD exStyle, int id, const RECT& rect,
                   int anchors)
{
    HWND control = CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, rect.left, rect.top,
                                   rect.right - rect.left, rect.bottom - rect.top, m_hwnd,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), m_context.Instance(), nullptr);
    if (!control)
        return nullptr;
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    m_layout.AddControl(control, anchors, rect);
    if (id != -1 || wcscmp(cls, L"Static") != 0) {
        SetWindowLongPtrW(control, GWLP_USERDATA,
                          SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ControlProc)));
    }
    return control;
}

void CInvite::CreateControls()
{
    m_layout.Attach(m_hwnd, 300, 344);
    const int LTR = ANCHOR_LEFT | ANCHOR_TOP | ANCHOR_RIGHT;
    const DWORD field = WS_TABSTOP | ES_AUTOHSCROLL;
    Make(L"Static", SetupText(IDS_REQUIRED_EMAILS), 0, 0, -1, {100, 2, 298, 22}, LTR);
    m_required = Make(L"Edit", L"", field, WS_EX_CLIENTEDGE, kRequiredId, {100, 24, 278, 44}, LTR);
    m_requiredList = Make(L"Button", L"...", WS_TABSTOP, 0, 0, {278, 24, 298, 44}, ANCHOR_TOP | ANCHOR_RIGHT);
    Make(L"Static", SetupText(IDS_OPTIONAL_EMAILS), 0, 0, -1, {100, 46, 298, 66}, LTR);
    m_optional = Make(L"Edit", L"", field, WS_EX_CLIENTEDGE, kRequiredId, {100, 68, 278, 88}, LTR);
    m_optionalList = Make(L"Button", L"...", WS_TABSTOP, 0, 0, {278, 68, 298, 88}, ANCHOR_TOP | ANCHOR_RIGHT);
    Make(L"Static", SetupText(IDS_COORDINATOR_EMAIL), 0, 0, -1, {100, 90, 298, 110}, LTR);
    m_coordinator = Make(L"Edit", L"", field, WS_EX_CLIENTEDGE, kCoordinatorId, {100, 112, 298, 132}, LTR);
    Make(L"Static", SetupText(IDS_ADDITIONAL_MESSAGE), SS_WORDELLIPSIS, 0, -1, {2, 134, 298, 154}, LTR);
    m_message = Make(L"Edit", L"", WS_TABSTOP | ES_MULTILINE | WS_VSCROLL | ES_AUTOVSCROLL | ES_WANTRETURN,
                     WS_EX_CLIENTEDGE, kMessageId, {2, 156, 298, 320}, LTR | ANCHOR_BOTTOM);
    m_close = Make(L"Button", SetupText(IDS_INVITE_CLOSE), WS_TABSTOP, 0, kCloseId, {180, 322, 238, 342},
                   ANCHOR_RIGHT | ANCHOR_BOTTOM);
    m_invite = Make(L"Button", SetupText(IDS_INVITE_BUTTON), WS_TABSTOP, 0, 0, {240, 322, 298, 342},
                    ANCHOR_RIGHT | ANCHOR_BOTTOM);
    // Short of the Close button, which it would otherwise cover.
    m_status = Make(L"Static", SetupText(IDS_INVITE_READY), SS_WORDELLIPSIS, 0, -1, {2, 322, 178, 342},
                    ANCHOR_LEFT | ANCHOR_RIGHT | ANCHOR_BOTTOM);
    // What an invitation carries, and no more.
    SendMessageW(m_required, EM_LIMITTEXT, kInviteAddressesMax, 0);
    SendMessageW(m_optional, EM_LIMITTEXT, kInviteAddressesMax, 0);
    SendMessageW(m_coordinator, EM_LIMITTEXT, kInviteCoordinatorMax, 0);
    SendMessageW(m_message, EM_LIMITTEXT, kInviteMessageMax, 0);

    m_tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hwnd, nullptr, m_context.Instance(),
                                nullptr);
    for (HWND f : {m_required, m_optional}) {
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof(tool);
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = m_hwnd;
        tool.uId = reinterpret_cast<UINT_PTR>(f);
        tool.lpszText = const_cast<wchar_t*>(SetupText(IDS_INVITE_TOOLTIP));
        SendMessageW(m_tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

HWND CInvite::Control(InviteControl which) const
{
    switch (which) {
    case InviteControl::Required: return m_required;
    case InviteControl::RequiredList: return m_requiredList;
    case InviteControl::Optional: return m_optional;
    case InviteControl::OptionalList: return m_optionalList;
    case InviteControl::Coordinator: return m_coordinator;
    case InviteControl::Message: return m_message;
    case InviteControl::Invite: return m_invite;
    case InviteControl::Close: return m_close;
    case InviteControl::Status: return m_status;
    case InviteControl::Tooltip: return m_tooltip;
    }
    return nullptr;
}

std::wstring CInvite::StatusText() const
{
    return m_status ? TextOf(m_status, 255) : std::wstring();
}

void CInvite::SetStatus(const wchar_t* text)
{
    SetWindowTextW(m_status, text);
}

LRESULT CALLBACK CInvite::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCCREATE) {
        auto* self = static_cast<CInvite*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->m_hwnd = hwnd;
    }
    auto* self = reinterpret_cast<CInvite*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return self ? self->OnMessage(msg, wParam, lParam) : DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT CInvite::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_SIZE: m_layout.Relayout(); return 0;
    case WM_PAINT: Paint(); return 0;
    case WM_CTLCOLORSTATIC:
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
    case WM_COMMAND: OnCommand(reinterpret_cast<HWND>(lParam), HIWORD(wParam)); return 0;
    case kTabMessage: OnTab(reinterpret_cast<HWND>(wParam), lParam != 0); return 0;
    case kReportMessage: SetStatus(SetupText(wParam ? IDS_INVITE_SENT : IDS_INVITE_SEND_FAILED)); return 0;
    case WM_CLOSE: ShowWindow(m_hwnd, SW_HIDE); return 0;
    default: return DefWindowProcW(m_hwnd, msg, wParam, lParam);
    }
}

void CInvite::Paint()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hwnd, &ps);
    FillRect(dc, &ps.rcPaint, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    if (m_banner) {
        BITMAP info{};
        GetObjectW(m_banner, sizeof(info), &info);
        HDC memory = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(memory, m_banner);
        StretchBlt(dc, kBannerRect.left, kBannerRect.top, kBannerRect.right - kBannerRect.left,
                   kBannerRect.bottom - kBannerRect.top, memory, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
        SelectObject(memory, old);
        DeleteDC(memory);
    }
    EndPaint(m_hwnd, &ps);
}

void CInvite::OnCommand(HWND control, int code)
{
    // Controls are told apart by handle: both address fields share an id,
    // as do the list buttons and Invite.
    if (!control)
        return;
    if (code == EN_SETFOCUS && (control == m_required || control == m_optional || control == m_coordinator ||
                                control == m_message)) {
        SetStatus(SetupText(IDS_INVITE_READY));
        return;
    }
    if (code != BN_CLICKED)
        return;
    if (control == m_invite)
        OnInvite();
    else if (control == m_close)
        ShowWindow(m_hwnd, SW_HIDE);
    else if (control == m_requiredList)
        OpenList(m_required);
    else if (control == m_optionalList)
        OpenList(m_optional);
}

void CInvite::OnTab(HWND from, bool backwards)
{
    const HWND order[] = {m_required, m_requiredList, m_optional, m_optionalList,
                          m_coordinator, m_message, m_invite, m_close};
    constexpr int n = sizeof(order) / sizeof(order[0]);
    int at = 0;
    while (at < n && order[at] != from)
        ++at;
    if (at == n)
        at = 0;
    const HWND next = order[(at + (backwards ? n - 1 : 1)) % n];
    SetFocus(next);
    if (IsButton(next))
        SendMessageW(next, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
}

void CInvite::OnInvite()
{
    InvitationTexts texts;
    texts.coordinator = TextOf(m_coordinator, kInviteCoordinatorMax);
    texts.required = TextOf(m_required, kInviteAddressesMax);
    texts.optional = TextOf(m_optional, kInviteAddressesMax);
    texts.message = TextOf(m_message, kInviteMessageMax);
    for (HWND f : {m_required, m_coordinator, m_message, m_optional})
        SetWindowTextW(f, L"");
    if (!m_workers.Start(m_context.PreparedSession(), m_context.MakeTransport(), texts, m_context.MeetingName(),
                         m_context.EventPrefix(), m_target))
        SetStatus(SetupText(IDS_INVITE_SEND_FAILED));
}

void CInvite::OpenList(HWND field)
{
    if (!m_listDialog) {
        m_listDialog = CreateDialogParamW(m_context.Instance(), MAKEINTRESOURCEW(IDD_ADDRESS_LIST), nullptr,
                                          ListDialogProc, reinterpret_cast<LPARAM>(this));
        if (!m_listDialog)
            return;
    }
    m_listField = field;
    InitAddressList(m_listDialog, TextOf(field, kInviteAddressesMax));
    RECT r{};
    GetWindowRect(m_hwnd, &r);
    ShowWindow(m_hwnd, SW_HIDE);
    SetWindowPos(m_listDialog, nullptr, r.left, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(m_listDialog, SW_SHOW);
    SetFocus(GetDlgItem(m_listDialog, IDC_ADDRESS_EDIT));
}

void CInvite::CloseList(bool accepted)
{
    if (accepted) {
        std::wstring addresses;
        if (!ReadAddressList(m_listDialog, addresses))
            return;  // too long for the field: the dialog stays
        SetWindowTextW(m_listField, addresses.c_str());
    }
    ShowWindow(m_listDialog, SW_HIDE);
    ShowWindow(m_hwnd, SW_SHOW);
}

INT_PTR CALLBACK CInvite::ListDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
        return FALSE;
    }
    auto* self = reinterpret_cast<CInvite*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return FALSE;
    if (msg == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        self->CloseList(LOWORD(wParam) == IDOK);
        return TRUE;
    }
    if (msg == WM_CLOSE) {
        self->CloseList(false);
        return TRUE;
    }
    return FALSE;
}

LRESULT CALLBACK CInvite::ControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    const auto previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    HWND window = GetParent(hwnd);
    switch (msg) {
    case WM_KEYDOWN:
        if (wParam == VK_TAB) {
            PostMessageW(window, kTabMessage, reinterpret_cast<WPARAM>(hwnd), GetKeyState(VK_SHIFT) < 0 ? 1 : 0);
            return 0;
        }
        if (wParam == VK_RETURN && IsButton(hwnd)) {
            SendMessageW(hwnd, BM_CLICK, 0, 0);
            return 0;
        }
        break;
    case WM_CHAR:
        if (wParam == L'\t')
            return 0;
        break;
    case WM_KILLFOCUS:
        if (IsButton(hwnd))
            SendMessageW(hwnd, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
        break;
    default: break;
    }
    return previous ? CallWindowProcW(previous, hwnd, msg, wParam, lParam) : DefWindowProcW(hwnd, msg, wParam, lParam);
}
