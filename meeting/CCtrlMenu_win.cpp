#include "meeting/CCtrlMenu.h"

#include "core/base/AppWindows.h"
#include "core/base/LoadResString.h"
#include "core/base/Registry.h"
#include "core/base/ThreadMessages.h"
#include "core/base/WindowUtil.h"
#include "meeting/CtrlMenuResources.h"

#include <commctrl.h>

namespace {

const wchar_t kBarClass[] = L"ControlMenu";
constexpr char kTopbarKey[] = "Software\\Quenlore\\SSL-VPN Parlemo\\Standalone\\Topbar";

constexpr UINT_PTR kSlideTimer = 1;
constexpr UINT_PTR kAutoHideTimer = 2;
constexpr UINT_PTR kMarqueeTimer = 3;
constexpr UINT_PTR kTrayTimer = 4;
constexpr int kOutsideChecksToHide = 10;
constexpr COLORREF kBarBackground = RGB(0x30, 0x3A, 0x46);
constexpr COLORREF kMarqueeColour = 0xCCFFCC;
constexpr COLORREF kButtonPen = 0x757575;
constexpr COLORREF kHoverFill = RGB(0xDD, 0xEE, 0xFF);
constexpr int kMarqueeStrip = 20;

// The face of each button in the strip of bitmap 167.
int FaceIndex(int id)
{
    switch (id) {
    case kBarInvite: return 0;
    case kBarChat: return 1;
    case kBarPolling: return 2;
    case kBarLobby: return 3;
    case kBarViewer: return 4;
    case kBarOptions: return 5;
    case kBarAbout: return 6;
    case kBarExit: return 7;
    case kBarRecord: return 8;
    default: return -1;
    }
}

UINT LabelId(int id)
{
    switch (id) {
    case kBarInvite: return IDS_BAR_INVITE;
    case kBarChat: return IDS_BAR_CHAT;
    case kBarPolling: return IDS_BAR_POLLING;
    case kBarLobby: return IDS_BAR_LOBBY;
    case kBarViewer: return IDS_BAR_VIEWER;
    case kBarOptions: return IDS_BAR_OPTIONS;
    case kBarAbout: return IDS_BAR_ABOUT;
    case kBarExit: return IDS_BAR_EXIT;
    case kBarRecord: return IDS_BAR_RECORD;
    case kBarCompact: return IDS_BAR_RESTORE;
    default: return IDS_BAR_MENU;
    }
}

// Texts by id, each loaded once (the slots live for the run).
const wchar_t* Text(UINT id)
{
    static ResStringSlot slots[32];
    static UINT ids[32];
    for (int i = 0; i < 32; ++i) {
        if (ids[i] == id || ids[i] == 0) {
            ids[i] = id;
            return LoadResString(slots[i], id);
        }
    }
    return L"";
}

CCtrlMenu* Owner(HWND hwnd)
{
    return reinterpret_cast<CCtrlMenu*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

} // namespace

CCtrlMenu::CCtrlMenu(std::shared_ptr<CtrlMenuContext> context) : m_context(std::move(context))
{
    HINSTANCE inst = m_context->Instance();
    m_roles = m_context->Roles();
    m_width = BarWidth(m_roles);
    m_marquee = Text(m_roles.ownRole == 1 ? IDS_BAR_YOU_ARE_HOST : IDS_BAR_YOU_ARE_PARTICIPANT);
    m_marquee += L"  ";

    m_images = ImageList_Create(32, 32, ILC_COLOR32 | ILC_MASK, 9, 0);
    if (HBITMAP strip = static_cast<HBITMAP>(
            LoadImageW(inst, MAKEINTRESOURCEW(IDB_CTRL_MENU_BUTTONS), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION))) {
        if (m_images)
            ImageList_AddMasked(m_images, strip, RGB(255, 0, 255));
        DeleteObject(strip);
    }

    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kBarClass;
    RegisterClassExW(&wc);  // a bar made again finds it registered

    const RECT work = WorkArea();
    const int left = work.left + (work.right - work.left - m_width) / 2;
    m_hWnd = CreateWindowExW(WS_EX_LAYERED | WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kBarClass, L"ControlMenu", WS_POPUP,
                             left, work.top + kBarStartTop, m_width, kBarHeight, nullptr, nullptr, inst, this);
    if (m_hWnd)
        ShowWindow(m_hWnd, SW_SHOWNOACTIVATE);

    const UINT faces[3] = {IDB_CTRL_MENU_SHARING, IDB_CTRL_MENU_WHITEBOARD, IDB_CTRL_MENU_ANNOTATION};
    for (int i = 0; i < 3; ++i)
        m_faces[i] = static_cast<HBITMAP>(LoadImageW(inst, MAKEINTRESOURCEW(faces[i]), IMAGE_BITMAP, 0, 0, 0));
}

CCtrlMenu::~CCtrlMenu()
{
    if (m_sharedDlg && IsWindow(m_sharedDlg))
        DestroyWindow(m_sharedDlg);
    if (m_hWnd && IsWindow(m_hWnd))
        DestroyWindow(m_hWnd);
    m_hWnd = nullptr;
    UnregisterClassW(kBarClass, m_context->Instance());
    if (m_images)
        ImageList_Destroy(m_images);
    for (HBITMAP face : m_faces)
        if (face)
            DeleteObject(face);
    if (m_font)
        DeleteObject(m_font);
    if (m_glyphFont)
        DeleteObject(m_glyphFont);
}

RECT CCtrlMenu::WorkArea() const
{
    RECT work;
    GetWorkArea(&work);
    return work;
}

LRESULT CALLBACK CCtrlMenu::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    }
    if (CCtrlMenu* bar = Owner(hwnd))
        return bar->OnMessage(hwnd, msg, wp, lp);
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK CCtrlMenu::ButtonProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    HWND bar = GetParent(hwnd);
    CCtrlMenu* self = Owner(bar);
    if (!self)
        return DefWindowProcW(hwnd, msg, wp, lp);
    if (msg == WM_MOUSEMOVE) {
        const int id = GetDlgCtrlID(hwnd);
        if (self->m_hoverId != id) {
            TRACKMOUSEEVENT track = {sizeof track, TME_LEAVE, hwnd, 0};
            TrackMouseEvent(&track);
            SendMessageW(bar, WM_BAR_HOVER, id, 0);
        }
        // The pointer over a button is over the bar.
        SendMessageW(bar, WM_MOUSEMOVE, 0, 0);
    } else if (msg == WM_MOUSELEAVE) {
        SendMessageW(bar, WM_BAR_HOVER, 0, 0);
    }
    return CallWindowProcW(self->m_buttonProc, hwnd, msg, wp, lp);
}

LRESULT CCtrlMenu::OnMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_CREATE:
        OnCreate(hwnd);
        return 0;
    case WM_COMMAND:
        OnCommand(LOWORD(wp));
        return 0;
    case WM_TIMER:
        OnTimer(wp);
        return 0;
    case WM_MOUSEMOVE:
        if (!m_slideDown)
            StartSlide(true, 20);
        return 0;
    case WM_BAR_TRAY_SHOW:
        m_shownByTray = true;
        SetTimer(hwnd, kTrayTimer, static_cast<UINT>(wp), nullptr);
        StartSlide(true, 20);
        return 0;
    case WM_BAR_HOVER: {
        const int old = m_hoverId;
        m_hoverId = static_cast<int>(wp);
        for (int id : {old, m_hoverId})
            if (HWND b = id ? GetDlgItem(hwnd, id) : nullptr)
                InvalidateRect(b, nullptr, FALSE);
        return 0;
    }
    case WM_BAR_VIEWER_HIDDEN:
        m_viewerShown = false;
        return 0;
    case WM_DRAWITEM:
        DrawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
        return TRUE;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        Paint(hwnd);
        return 0;
    case WM_PRINTCLIENT:
        PaintTo(hwnd, reinterpret_cast<HDC>(wp));
        return 0;
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    case WM_DESTROY:
        OnDestroy(hwnd);
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

void CCtrlMenu::OnCreate(HWND hwnd)
{
    // Known before CreateWindowExW returns: the layout below sizes the buttons.
    m_hWnd = hwnd;
    MakeOwnLayeredWindow(hwnd);
    SetHiddenFromShare(hwnd, true);
    HINSTANCE inst = m_context->Instance();
    SendMessageW(hwnd, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(LoadImageW(inst, MAKEINTRESOURCEW(137), IMAGE_ICON, 32, 32, LR_SHARED)));
    SendMessageW(hwnd, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(LoadImageW(inst, MAKEINTRESOURCEW(140), IMAGE_ICON, 16, 16, LR_SHARED)));
    m_font = CreateFontW(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"MS Shell Dlg");
    m_glyphFont = CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, SYMBOL_CHARSET, 0, 0, 0, 0, L"Webdings");

    auto make = [&](int id) {
        HWND b = CreateWindowExW(0, L"Button", Text(LabelId(id)), WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 0, 0, 0, 0,
                                 hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), inst, nullptr);
        if (b) {
            WNDPROC old = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(b, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ButtonProc)));
            if (!m_buttonProc)
                m_buttonProc = old;
        }
        return b;
    };
    for (int id : BarButtons(m_roles))
        if (HWND b = make(id))
            m_buttons.push_back(b);
    m_compactButton = make(kBarCompact);
    m_menuButton = make(kBarHostMenu);

    m_fullView = true;
    m_outsideTicks = 0;
    Layout();
    SetTimer(hwnd, kAutoHideTimer, 20, nullptr);
    SetTimer(hwnd, kMarqueeTimer, 1000, nullptr);
}

void CCtrlMenu::Layout()
{
    if (!m_hWnd)
        return;
    const int height = ShownHeight(m_fullView);
    RECT wr;
    GetWindowRect(m_hWnd, &wr);
    SetWindowPos(m_hWnd, nullptr, 0, 0, m_width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    int x = kBarMargin;
    for (HWND b : m_buttons) {
        MoveWindow(b, x, kBarMargin, kButtonWidth, kButtonHeight, TRUE);
        ShowWindow(b, m_fullView ? SW_SHOWNA : SW_HIDE);
        x += kButtonWidth;
    }
    const int smallX = m_width - kBarMargin - kSmallButton;
    const int stripTop = height - kMarqueeStrip - (m_fullView ? 0 : 3);
    if (m_fullView) {
        MoveWindow(m_compactButton, smallX, kBarMargin, kSmallButton, kSmallButton, TRUE);
        MoveWindow(m_menuButton, smallX, kBarMargin + kSmallButton + 4, kSmallButton, kSmallButton, TRUE);
    } else {
        MoveWindow(m_compactButton, smallX - kSmallButton - 2, stripTop + 3, kSmallButton, kSmallButton, TRUE);
        MoveWindow(m_menuButton, smallX, stripTop + 3, kSmallButton, kSmallButton, TRUE);
    }
    // A hidden bar stays hidden, at the hidden place of its new height.
    const int workTop = WorkArea().top;
    if (!m_slideDown && wr.top - workTop < 0)
        SetWindowPos(m_hWnd, nullptr, wr.left, workTop + HiddenTop(m_fullView), 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CCtrlMenu::Paint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    PaintTo(hwnd, dc);
    EndPaint(hwnd, &ps);
}

void CCtrlMenu::PaintTo(HWND hwnd, HDC dc)
{
    RECT rc;
    GetClientRect(hwnd, &rc);
    // Drawn off screen first, so the turning text does not flicker.
    HDC mem = CreateCompatibleDC(dc);
    HBITMAP bmp = CreateCompatibleBitmap(dc, rc.right, rc.bottom);
    HGDIOBJ oldBmp = SelectObject(mem, bmp);
    HBRUSH back = CreateSolidBrush(kBarBackground);
    FillRect(mem, &rc, back);
    DeleteObject(back);
    RECT strip{kBarMargin, rc.bottom - kMarqueeStrip - (m_fullView ? 0 : 3), rc.right - 2 * kSmallButton - 8,
               rc.bottom - (m_fullView ? 0 : 3)};
    HGDIOBJ oldFont = SelectObject(mem, m_font ? m_font : GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(mem, TRANSPARENT);
    SetTextColor(mem, kMarqueeColour);
    DrawTextW(mem, m_marquee.c_str(), static_cast<int>(m_marquee.size()), &strip,
              DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOPREFIX | DT_END_ELLIPSIS);
    SelectObject(mem, oldFont);
    BitBlt(dc, 0, 0, rc.right, rc.bottom, mem, 0, 0, SRCCOPY);
    SelectObject(mem, oldBmp);
    DeleteObject(bmp);
    DeleteDC(mem);
}

void CCtrlMenu::DrawButton(const DRAWITEMSTRUCT& item)
{
    const int id = static_cast<int>(item.CtlID);
    HDC dc = item.hDC;
    RECT rc = item.rcItem;
    const bool hover = m_hoverId == id;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    HBRUSH back = CreateSolidBrush(kBarBackground);
    FillRect(dc, &rc, back);
    DeleteObject(back);
    HBRUSH fill = CreateSolidBrush(pressed ? RGB(0xBB, 0xCC, 0xDD) : hover ? kHoverFill : RGB(255, 255, 255));
    HPEN pen = CreatePen(PS_SOLID, 1, kButtonPen);
    HGDIOBJ oldBrush = SelectObject(dc, fill);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    RoundRect(dc, rc.left + 1, rc.top + 1, rc.right - 1, rc.bottom - 1, 6, 6);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
    DeleteObject(pen);
    DeleteObject(fill);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0x33, 0x33, 0x33));
    if (id == kBarCompact || id == kBarHostMenu) {
        // Webdings: 5 up, 6 down, 4 right.
        const wchar_t glyph[2] = {id == kBarHostMenu ? L'6' : (m_fullView ? L'5' : L'6'), 0};
        HGDIOBJ old = SelectObject(dc, m_glyphFont ? m_glyphFont : GetStockObject(DEFAULT_GUI_FONT));
        DrawTextW(dc, glyph, 1, &rc, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
        SelectObject(dc, old);
        return;
    }
    const int face = FaceIndex(id);
    if (m_images && face >= 0)
        ImageList_Draw(m_images, face, dc, rc.left + (rc.right - rc.left - 32) / 2, rc.top + 3, ILD_TRANSPARENT);
    RECT label{rc.left + 1, rc.top + 36, rc.right - 1, rc.bottom - 2};
    HGDIOBJ old = SelectObject(dc, m_font ? m_font : GetStockObject(DEFAULT_GUI_FONT));
    const wchar_t* text = Text(LabelId(id));
    DrawTextW(dc, text, -1, &label, DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
    SelectObject(dc, old);
}

void CCtrlMenu::StartSlide(bool showing, UINT intervalMs)
{
    m_slideDown = showing;
    if (m_hWnd)
        SetTimer(m_hWnd, kSlideTimer, intervalMs, nullptr);
}

void CCtrlMenu::OnTimer(UINT_PTR id)
{
    switch (id) {
    case kSlideTimer: {
        RECT wr;
        GetWindowRect(m_hWnd, &wr);
        const RECT work = WorkArea();
        const int top = wr.top - work.top;
        const int next = SlideTick(top, m_slideDown, m_fullView);
        if (next != top)
            SetWindowPos(m_hWnd, nullptr, wr.left, work.top + next, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        if (next == (m_slideDown ? 0 : HiddenTop(m_fullView)))
            KillTimer(m_hWnd, kSlideTimer);
        break;
    }
    case kAutoHideTimer: {
        POINT pt;
        RECT wr;
        GetCursorPos(&pt);
        GetWindowRect(m_hWnd, &wr);
        if (PtInRect(&wr, pt)) {
            m_outsideTicks = 0;
        } else if (++m_outsideTicks == kOutsideChecksToHide && !m_shownByTray) {
            StartSlide(false, 30);
        }
        break;
    }
    case kMarqueeTimer: {
        m_marquee = TurnMarquee(m_marquee);
        RECT rc;
        GetClientRect(m_hWnd, &rc);
        rc.top = rc.bottom - kMarqueeStrip - 3;
        InvalidateRect(m_hWnd, &rc, FALSE);
        break;
    }
    case kTrayTimer: {
        // Hidden again once the pointer is outside the strip the shown bar takes.
        KillTimer(m_hWnd, kTrayTimer);
        m_shownByTray = false;
        const RECT work = WorkArea();
        RECT strip;
        strip.left = work.left + (work.right - work.left - m_width) / 2;
        strip.right = strip.left + m_width;
        strip.top = work.top;
        strip.bottom = work.top + ShownHeight(m_fullView);
        POINT pt;
        GetCursorPos(&pt);
        if (!PtInRect(&strip, pt)) {
            m_outsideTicks = kOutsideChecksToHide;
            StartSlide(false, 20);
        }
        break;
    }
    default:
        break;
    }
}

void CCtrlMenu::TakeBack()
{
    if (m_context->TakeControlBack())
        m_context->RemoveInputWatch();
}

void CCtrlMenu::OnCommand(int id)
{
    // Any click on the bar takes control back first, before its own action.
    if (id != kBarExit && id != kBarRemoveWatch && id != static_cast<int>(kBarTakeBack))
        TakeBack();
    switch (id) {
    case kBarExit: m_context->PostToProgram(PLM_QUIT, 0, 0); break;
    case kBarRemoveWatch: m_context->RemoveInputWatch(); break;
    case kBarInvite: m_context->PostToProgram(PLM_FOCUS_PANEL, 0, 0); break;
    case kBarChat: m_context->PostToProgram(PLM_SHOW_CHAT, 0, 0); break;
    case kBarPolling: m_context->PostToProgram(PLM_TOGGLE_POLLING, 0, 0); break;
    case kBarLobby: m_context->PostToProgram(PLM_DOCK_PANEL, 0, 0); break;
    case kBarViewer: ToggleViewer(); break;
    case kBarOptions:
        if (HWND tray = m_context->TrayWindow())
            PostMessageW(tray, WM_COMMAND, 3018, 0);
        break;
    case kBarAbout: m_context->PostToProgram(PLM_SHOW_ABOUT, reinterpret_cast<WPARAM>(m_hWnd), 0); break;
    case kBarCompact:
        m_fullView = !m_fullView;
        Layout();
        break;
    case kBarHostMenu:
        if (m_roles.ownRole == 1)
            ShowHostMenu();
        break;
    case kBarRecord:
        if (!m_context->RecordingAvailable())
            MessageBoxW(m_context->RecorderWindow(), Text(IDS_BAR_NO_RECORDER), Text(IDS_BAR_WARNING),
                        MB_OK | MB_ICONEXCLAMATION);
        else
            m_context->PostToProgram(PLM_TOGGLE_RECORDER, 0, 0);
        break;
    case kBarAnnotation: m_context->StartAnnotation(); break;
    case kBarWhiteboard: m_context->StartWhiteboard(); break;
    case kBarSharedWindows: OpenSharedWindows(); break;
    case kBarTakeBack: TakeBack(); break;
    default: break;
    }
}

void CCtrlMenu::ToggleViewer()
{
    HWND frame = m_context->ViewerFrame();
    if (!frame)
        return;
    if (!m_viewerShown) {
        if (m_context->ViewerFullScreen())
            m_context->LeaveViewerFullScreen();
        ShowWindow(frame, IsIconic(frame) ? SW_RESTORE : SW_SHOWNORMAL);
        m_viewerShown = true;
    } else if (IsIconic(frame)) {
        ShowWindow(frame, SW_SHOWNORMAL);
    } else {
        ShowWindow(frame, SW_HIDE);
        m_viewerShown = false;
    }
}

void CCtrlMenu::ShowHostMenu()
{
    HMENU menu = CreatePopupMenu();
    if (!menu)
        return;
    const struct {
        int id;
        UINT text;
        HBITMAP face;
    } items[] = {{kBarSharedWindows, IDS_BAR_PER_APP_SHARING, m_faces[0]},
                 {kBarWhiteboard, IDS_BAR_WHITEBOARD, m_faces[1]},
                 {kBarAnnotation, IDS_BAR_ANNOTATION, m_faces[2]}};
    for (const auto& item : items) {
        AppendMenuW(menu, MF_STRING, item.id, Text(item.text));
        if (item.face)
            SetMenuItemBitmaps(menu, item.id, MF_BYCOMMAND, item.face, item.face);
    }
    POINT pt;
    GetCursorPos(&pt);
    const int chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY, pt.x, pt.y, 0, m_hWnd, nullptr);
    DestroyMenu(menu);
    if (chosen)
        OnCommand(chosen);
}

void CCtrlMenu::OnDestroy(HWND hwnd)
{
    m_context->RemoveInputWatch();
    RECT wr;
    GetWindowRect(hwnd, &wr);
    WriteSettingDword(kTopbarKey, "fullview", m_fullView ? 1 : 0);
    WriteSettingDword(kTopbarKey, "left", static_cast<DWORD>(wr.left));
    WriteSettingDword(kTopbarKey, "top", static_cast<DWORD>(wr.top));
    for (UINT_PTR t : {kSlideTimer, kAutoHideTimer, kMarqueeTimer, kTrayTimer})
        KillTimer(hwnd, t);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
}
