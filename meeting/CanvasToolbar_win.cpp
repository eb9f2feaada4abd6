// The canvas's toolbar: the nine tool buttons, the options each tool offers
// and the colour dialog with its "No Color" and alpha additions.
#include "meeting/CCanvas.h"

#include "core/base/AppWindows.h"
#include "core/base/LoadResString.h"
#include "meeting/CanvasResources.h"
#include "meeting/CanvasRules.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <cwchar>
#include <string>

namespace {

constexpr int kButtonSize = 24;
// Button order on the toolbar, by tool type; the last clears.
constexpr int kButtonTools[] = {kToolSelect, kToolPen,     kToolHighlighter, kToolLine, kToolRectangle,
                                kToolEllipse, kToolText,   kToolEraser,      -1};
constexpr int kFontSizes[] = {8, 9, 10, 11, 12, 14, 16, 18, 20, 24, 28, 32, 36, 40, 44, 48, 54, 60, 66, 72, 80, 88, 96};

const wchar_t* Text(UINT id)
{
    static ResStringSlot slots[IDS_CANVAS_ALPHA_RANGE - IDS_CANVAS_TOOL_FIRST + 1];
    return LoadResString(slots[id - IDS_CANVAS_TOOL_FIRST], id);
}

// One icon of the toolbar, drawn at 24 x 24 on magenta (the mask colour).
void DrawToolIcon(HDC dc, int tool, int left)
{
    const RECT cell = {left, 0, left + kButtonSize, kButtonSize};
    GdiObject<HBRUSH> back(CreateSolidBrush(RGB(255, 0, 255)));
    FillRect(dc, &cell, back.get());
    GdiObject<HPEN> pen(CreatePen(PS_SOLID, 2, RGB(30, 30, 30)));
    GdiObject<HPEN> thick(CreatePen(PS_SOLID, 6, RGB(255, 220, 0)));
    HGDIOBJ old = SelectObject(dc, pen.get());
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    const int l = left;
    switch (tool) {
    case kToolSelect: {
        const POINT arrow[] = {{l + 7, 4}, {l + 7, 19}, {l + 11, 15}, {l + 15, 21}, {l + 17, 20}, {l + 13, 14}, {l + 18, 14}};
        SelectObject(dc, GetStockObject(WHITE_BRUSH));
        Polygon(dc, arrow, 7);
        break;
    }
    case kToolPen:
        MoveToEx(dc, l + 5, 19, nullptr);
        LineTo(dc, l + 19, 5);
        break;
    case kToolHighlighter:
        SelectObject(dc, thick.get());
        MoveToEx(dc, l + 6, 18, nullptr);
        LineTo(dc, l + 18, 6);
        break;
    case kToolLine:
        MoveToEx(dc, l + 4, 20, nullptr);
        LineTo(dc, l + 20, 4);
        break;
    case kToolRectangle: Rectangle(dc, l + 4, 6, l + 20, 18); break;
    case kToolEllipse: Ellipse(dc, l + 3, 5, l + 21, 19); break;
    case kToolText: {
        SetBkMode(dc, TRANSPARENT);
        RECT r = cell;
        DrawTextW(dc, L"A", 1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        break;
    }
    case kToolEraser: {
        SelectObject(dc, GetStockObject(WHITE_BRUSH));
        Rectangle(dc, l + 5, 8, l + 19, 17);
        break;
    }
    default: // clear all
        MoveToEx(dc, l + 6, 6, nullptr);
        LineTo(dc, l + 18, 18);
        MoveToEx(dc, l + 18, 6, nullptr);
        LineTo(dc, l + 6, 18);
        break;
    }
    SelectObject(dc, oldBrush);
    SelectObject(dc, old);
}

HIMAGELIST MakeToolImages()
{
    const int count = static_cast<int>(std::size(kButtonTools));
    HIMAGELIST images = ImageList_Create(kButtonSize, kButtonSize, ILC_COLOR24 | ILC_MASK, count, 0);
    if (!images)
        return nullptr;
    HDC screen = GetDC(nullptr);
    GdiObject<HBITMAP> strip(CreateCompatibleBitmap(screen, kButtonSize * count, kButtonSize));
    {
        MemoryDc dc(screen);
        dc.Select(strip.get());
        for (int i = 0; i < count; ++i)
            DrawToolIcon(dc.get(), kButtonTools[i], i * kButtonSize);
    }
    ReleaseDC(nullptr, screen);
    ImageList_AddMasked(images, strip.get(), RGB(255, 0, 255));
    return images;
}

int CALLBACK AddFontFamily(const LOGFONTW* lf, const TEXTMETRICW*, DWORD, LPARAM param)
{
    auto* fonts = reinterpret_cast<std::vector<std::wstring>*>(param);
    if (lf->lfFaceName[0] != L'@')
        fonts->push_back(lf->lfFaceName);
    return 1;
}

std::vector<std::wstring> InstalledFonts()
{
    std::vector<std::wstring> fonts;
    LOGFONTW lf = {};
    lf.lfCharSet = DEFAULT_CHARSET;
    HDC dc = GetDC(nullptr);
    EnumFontFamiliesExW(dc, &lf, AddFontFamily, reinterpret_cast<LPARAM>(&fonts), 0);
    ReleaseDC(nullptr, dc);
    std::sort(fonts.begin(), fonts.end());
    fonts.erase(std::unique(fonts.begin(), fonts.end()), fonts.end());
    return fonts;
}

// What the colour dialog's additions hand back.
struct ColourChoice {
    bool noColour = false;
    bool withAlpha = false;
    int alpha = 255;
};

UINT_PTR CALLBACK ColourHook(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_INITDIALOG) {
        auto* cc = reinterpret_cast<CHOOSECOLORW*>(lp);
        auto* choice = reinterpret_cast<ColourChoice*>(cc->lCustData);
        SetWindowLongPtrW(dlg, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(choice));
        // Room below the dialog's own controls for the additions.
        RECT rc = {};
        GetWindowRect(dlg, &rc);
        RECT client = {};
        GetClientRect(dlg, &client);
        const int row = client.bottom + 6;
        SetWindowPos(dlg, nullptr, 0, 0, rc.right - rc.left, rc.bottom - rc.top + 34, SWP_NOMOVE | SWP_NOZORDER);
        HFONT font = reinterpret_cast<HFONT>(SendMessageW(dlg, WM_GETFONT, 0, 0));
        HINSTANCE instance = GetModuleHandleW(nullptr);
        auto make = [&](const wchar_t* cls, const wchar_t* text, DWORD style, int x, int w, int id) {
            HWND c = CreateWindowExW(std::wcscmp(cls, WC_EDITW) == 0 ? WS_EX_CLIENTEDGE : 0, cls, text, WS_CHILD | WS_VISIBLE | style, x,
                                     row, w, 22, dlg, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance,
                                     nullptr);
            SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
            return c;
        };
        make(WC_BUTTONW, Text(IDS_CANVAS_NO_COLOR), BS_PUSHBUTTON | WS_TABSTOP, 8, 90, IDC_CANVAS_NO_COLOR);
        if (choice->withAlpha) {
            make(WC_STATICW, Text(IDS_CANVAS_ALPHA), SS_RIGHT, 106, 50, IDC_CANVAS_ALPHA_LABEL);
            HWND edit = make(WC_EDITW, L"", ES_NUMBER | WS_TABSTOP, 160, 40, IDC_CANVAS_ALPHA_EDIT);
            SendMessageW(edit, EM_LIMITTEXT, 3, 0);
            SetDlgItemInt(dlg, IDC_CANVAS_ALPHA_EDIT, static_cast<UINT>((choice->alpha * 100 + 127) / 255), FALSE);
            make(WC_STATICW, Text(IDS_CANVAS_ALPHA_RANGE), 0, 204, 60, IDC_CANVAS_ALPHA_RANGE);
        }
        return FALSE;
    }
    if (msg == WM_COMMAND) {
        auto* choice = reinterpret_cast<ColourChoice*>(GetWindowLongPtrW(dlg, GWLP_USERDATA));
        if (!choice)
            return FALSE;
        if (LOWORD(wp) == IDC_CANVAS_NO_COLOR) {
            choice->noColour = true;
            PostMessageW(dlg, WM_COMMAND, IDCANCEL, 0);
            return TRUE;
        }
        if (LOWORD(wp) == IDOK && choice->withAlpha) {
            BOOL ok = FALSE;
            const UINT percent = GetDlgItemInt(dlg, IDC_CANVAS_ALPHA_EDIT, &ok, FALSE);
            if (ok)
                choice->alpha = AlphaFromPercent(static_cast<int>(percent));
        }
    }
    return FALSE;
}

} // namespace

void CCanvas::MakeToolbar(HWND parent)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    HWND toolbar = CreateCanvasDialog<&CCanvas::OnToolbarMessage>(this, IDD_CANVAS_TOOLBAR);
    if (!toolbar)
        return;
    m_toolbar = toolbar;
    SetWindowTextW(toolbar, Text(IDS_CANVAS_PAINT_TOOLBAR));

    m_toolButtons = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                                    WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_NORESIZE |
                                        CCS_NODIVIDER | CCS_NOPARENTALIGN,
                                    0, 0, 0, 0, toolbar,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_CANVAS_TOOLBAR)), instance, nullptr);
    m_images = MakeToolImages();
    SendMessageW(m_toolButtons, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageW(m_toolButtons, TB_SETBITMAPSIZE, 0, MAKELPARAM(kButtonSize, kButtonSize));
    SendMessageW(m_toolButtons, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(m_images));
    SendMessageW(m_toolButtons, TB_SETMAXTEXTROWS, 0, 0);
    TBBUTTON buttons[std::size(kButtonTools)] = {};
    for (size_t i = 0; i < std::size(kButtonTools); ++i) {
        const int tool = kButtonTools[i];
        buttons[i].iBitmap = static_cast<int>(i);
        buttons[i].idCommand = tool < 0 ? IDC_CANVAS_CLEAR_ALL : IDC_CANVAS_TOOL_FIRST + tool;
        buttons[i].fsState = TBSTATE_ENABLED | (tool == m_tool.type ? TBSTATE_CHECKED : 0);
        buttons[i].fsStyle = static_cast<BYTE>(tool < 0 ? BTNS_BUTTON : BTNS_CHECKGROUP);
        buttons[i].iString = reinterpret_cast<INT_PTR>(
            Text(tool < 0 ? IDS_CANVAS_CLEAR_ALL : static_cast<UINT>(IDS_CANVAS_TOOL_FIRST + tool)));
    }
    SendMessageW(m_toolButtons, TB_ADDBUTTONS, std::size(buttons), reinterpret_cast<LPARAM>(buttons));
    SIZE size = {};
    SendMessageW(m_toolButtons, TB_GETMAXSIZE, 0, reinterpret_cast<LPARAM>(&size));
    const int barWidth = std::max(static_cast<int>(size.cx), kButtonSize * 9 + 18);
    const int barHeight = std::max(static_cast<int>(size.cy), kButtonSize + 8);
    MoveWindow(m_toolButtons, 0, 0, barWidth, barHeight, TRUE);

    // The options follow the buttons, centred on their height.
    int right = barWidth;
    for (int id : {IDC_CANVAS_WIDTH_LABEL, IDC_CANVAS_WIDTH, IDC_CANVAS_FONT, IDC_CANVAS_FONT_SIZE, IDC_CANVAS_BOLD,
                   IDC_CANVAS_ITALIC, IDC_CANVAS_UNDERLINE, IDC_CANVAS_FOREGROUND, IDC_CANVAS_BACKGROUND}) {
        HWND c = GetDlgItem(toolbar, id);
        RECT rc = {};
        GetWindowRect(c, &rc);
        MapWindowPoints(nullptr, toolbar, reinterpret_cast<POINT*>(&rc), 2);
        const int h = id == IDC_CANVAS_FONT || id == IDC_CANVAS_FONT_SIZE ? 22 : rc.bottom - rc.top;
        SetWindowPos(c, nullptr, barWidth + 6 + rc.left, (barHeight - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        right = std::max(right, static_cast<int>(barWidth + 6 + rc.right));
    }

    m_fonts = InstalledFonts();
    for (const std::wstring& f : m_fonts)
        SendDlgItemMessageW(toolbar, IDC_CANVAS_FONT, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(f.c_str()));
    for (int s : kFontSizes)
        SendDlgItemMessageW(toolbar, IDC_CANVAS_FONT_SIZE, CB_ADDSTRING, 0,
                            reinterpret_cast<LPARAM>(std::to_wstring(s).c_str()));

    m_tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0, toolbar,
                                nullptr, instance, nullptr);
    const std::pair<int, UINT> tips[] = {{IDC_CANVAS_WIDTH, IDS_CANVAS_WIDTH},         {IDC_CANVAS_FONT, IDS_CANVAS_FONT},
                                         {IDC_CANVAS_FONT_SIZE, IDS_CANVAS_FONT_SIZE}, {IDC_CANVAS_BOLD, IDS_CANVAS_BOLD},
                                         {IDC_CANVAS_ITALIC, IDS_CANVAS_ITALIC},       {IDC_CANVAS_UNDERLINE, IDS_CANVAS_UNDERLINE},
                                         {IDC_CANVAS_FOREGROUND, IDS_CANVAS_FOREGROUND},
                                         {IDC_CANVAS_BACKGROUND, IDS_CANVAS_BACKGROUND}};
    for (const auto& tip : tips) {
        TOOLINFOW ti = {};
        ti.cbSize = sizeof ti;
        ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        ti.hwnd = toolbar;
        ti.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(toolbar, tip.first));
        ti.lpszText = const_cast<wchar_t*>(Text(tip.second));
        SendMessageW(m_tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti));
    }

    if (parent) {
        // A child across the top of the whiteboard's frame.
        SetWindowLongPtrW(toolbar, GWL_STYLE, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN);
        SetWindowLongPtrW(toolbar, GWL_EXSTYLE, 0);
        SetParent(toolbar, parent);
        SetWindowPos(toolbar, nullptr, 0, 0, right + 6, barHeight, SWP_NOZORDER | SWP_FRAMECHANGED);
    } else {
        // A top-level layered window at the screen's top left.
        SetWindowLongPtrW(toolbar, GWL_EXSTYLE, GetWindowLongPtrW(toolbar, GWL_EXSTYLE) | WS_EX_LAYERED);
        SetLayeredWindowAttributes(toolbar, 0, 255, LWA_ALPHA);
        RECT frame = {0, 0, right + 6, barHeight};
        AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(toolbar, GWL_STYLE)), FALSE,
                           static_cast<DWORD>(GetWindowLongPtrW(toolbar, GWL_EXSTYLE)));
        SetWindowPos(toolbar, HWND_TOPMOST, 10, 10, frame.right - frame.left, frame.bottom - frame.top,
                     SWP_SHOWWINDOW | SWP_NOACTIVATE);
        RegisterAppWindow(toolbar);
    }
    RegisterAppWindow(m_tooltip);
    RefreshOptions();
}

INT_PTR CCanvas::OnToolbarMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_INITDIALOG: return FALSE;
    case WM_COMMAND: {
        const int id = LOWORD(wp);
        const int code = HIWORD(wp);
        if (id >= IDC_CANVAS_TOOL_FIRST && id < IDC_CANVAS_TOOL_FIRST + kToolCount) {
            SelectTool(id - IDC_CANVAS_TOOL_FIRST);
        } else if (id == IDC_CANVAS_CLEAR_ALL) {
            ClearAll();
            SendControl(kControlClearAll, 0, 0, 0, 0);
        } else if (m_updatingOptions) {
            return TRUE;
        } else if (id == IDC_CANVAS_WIDTH && code == EN_CHANGE) {
            BOOL ok = FALSE;
            const UINT typed = GetDlgItemInt(hwnd, IDC_CANVAS_WIDTH, &ok, FALSE);
            if (!ok)
                return TRUE;
            const int width = ClampToolWidth(static_cast<int>(std::min<UINT>(typed, 1000)));
            m_tool.width = width;
            if (static_cast<int>(typed) != width) {
                m_updatingOptions = true;
                SetDlgItemInt(hwnd, IDC_CANVAS_WIDTH, static_cast<UINT>(width), FALSE);
                m_updatingOptions = false;
            }
        } else if (id == IDC_CANVAS_BOLD || id == IDC_CANVAS_ITALIC || id == IDC_CANVAS_UNDERLINE) {
            const int bit = id == IDC_CANVAS_BOLD ? kFontBold : id == IDC_CANVAS_ITALIC ? kFontItalic : kFontUnderline;
            m_tool.fontStyle ^= bit;
            CheckDlgButton(hwnd, id, (m_tool.fontStyle & bit) ? BST_CHECKED : BST_UNCHECKED);
        } else if (id == IDC_CANVAS_FONT && code == CBN_SELCHANGE) {
            const LRESULT sel = SendDlgItemMessageW(hwnd, IDC_CANVAS_FONT, CB_GETCURSEL, 0, 0);
            if (sel >= 0 && static_cast<size_t>(sel) < m_fonts.size())
                m_tool.fontFamily = m_fonts[static_cast<size_t>(sel)];
        } else if (id == IDC_CANVAS_FONT_SIZE && code == CBN_SELCHANGE) {
            const LRESULT sel = SendDlgItemMessageW(hwnd, IDC_CANVAS_FONT_SIZE, CB_GETCURSEL, 0, 0);
            if (sel >= 0 && static_cast<size_t>(sel) < std::size(kFontSizes))
                m_tool.fontSize = kFontSizes[sel];
        } else if (id == IDC_CANVAS_FONT_SIZE && (code == CBN_KILLFOCUS || code == CBN_EDITCHANGE)) {
            BOOL ok = FALSE;
            const UINT typed = GetDlgItemInt(hwnd, IDC_CANVAS_FONT_SIZE, &ok, FALSE);
            if (!ok)
                return TRUE;
            m_tool.fontSize = ClampFontSize(static_cast<int>(std::min<UINT>(typed, 1000)));
            if (code == CBN_KILLFOCUS || static_cast<int>(typed) != m_tool.fontSize) {
                m_updatingOptions = true;
                SetDlgItemInt(hwnd, IDC_CANVAS_FONT_SIZE, static_cast<UINT>(m_tool.fontSize), FALSE);
                m_updatingOptions = false;
            }
        } else if (id == IDC_CANVAS_FOREGROUND || id == IDC_CANVAS_BACKGROUND) {
            ChooseColour(id == IDC_CANVAS_FOREGROUND);
        }
        return TRUE;
    }
    case WM_DRAWITEM: {
        auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lp);
        if (item->CtlID != IDC_CANVAS_FOREGROUND && item->CtlID != IDC_CANVAS_BACKGROUND)
            return FALSE;
        const bool fore = item->CtlID == IDC_CANVAS_FOREGROUND;
        const bool none = fore ? m_tool.foregroundNone : m_tool.backgroundNone;
        const int32_t colour = fore ? m_tool.foreground : m_tool.background;
        const bool enabled = (m_tool.controlMask & (fore ? kOptionForeground : kOptionBackground)) != 0;
        RECT r = item->rcItem;
        DrawEdge(item->hDC, &r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
        FillRect(item->hDC, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        if (none) {
            // No colour: a red diagonal across a blank swatch.
            GdiObject<HPEN> red(CreatePen(PS_SOLID, 1, RGB(255, 0, 0)));
            HGDIOBJ old = SelectObject(item->hDC, red.get());
            MoveToEx(item->hDC, r.left, r.bottom - 1, nullptr);
            LineTo(item->hDC, r.right, r.top - 1);
            SelectObject(item->hDC, old);
        } else if (enabled) {
            GdiObject<HBRUSH> swatch(CreateSolidBrush(static_cast<COLORREF>(colour)));
            FillRect(item->hDC, &r, swatch.get());
        }
        return TRUE;
    }
    case WM_NOTIFY: {
        auto* hdr = reinterpret_cast<NMHDR*>(lp);
        if (hdr->code == TTN_GETDISPINFOW) {
            auto* info = reinterpret_cast<NMTTDISPINFOW*>(lp);
            const UINT_PTR id = hdr->idFrom;
            if (id == IDC_CANVAS_CLEAR_ALL)
                info->lpszText = const_cast<wchar_t*>(Text(IDS_CANVAS_CLEAR_ALL));
            else if (id >= IDC_CANVAS_TOOL_FIRST && id < IDC_CANVAS_TOOL_FIRST + kToolCount)
                info->lpszText =
                    const_cast<wchar_t*>(Text(static_cast<UINT>(IDS_CANVAS_TOOL_FIRST + id - IDC_CANVAS_TOOL_FIRST)));
            return TRUE;
        }
        return FALSE;
    }
    case WM_CLOSE: return TRUE; // the toolbar goes with its canvas
    default: return FALSE;
    }
}

void CCanvas::SelectTool(int type)
{
    if (type < 0 || type >= kToolCount)
        return;
    if (type != m_tool.type) {
        SendControl(kControlToolChanged, m_tool.type, type, 0, 0);
        if (m_tool.type >= 0 && m_tool.type < kToolCount)
            m_tools[m_tool.type] = m_tool;
        m_tool = m_tools[type];
    }
    if (m_toolButtons)
        SendMessageW(m_toolButtons, TB_CHECKBUTTON, IDC_CANVAS_TOOL_FIRST + type, TRUE);
    RefreshOptions();
    if (HWND drawing = m_drawing)
        InvalidateRect(drawing, nullptr, FALSE);
    if (m_kind == kCanvasAnnotationOwner) {
        HWND drawing = m_drawing;
        HWND catcher = m_catcher;
        HWND toolbar = m_toolbar;
        if (type == kToolSelect) {
            // The desktop takes the mouse again: the catcher goes and the
            // drawing window lets clicks through.
            if (catcher)
                ShowWindow(catcher, SW_HIDE);
            SetWindowLongPtrW(drawing, GWL_EXSTYLE, GetWindowLongPtrW(drawing, GWL_EXSTYLE) | WS_EX_TRANSPARENT);
        } else {
            SetWindowLongPtrW(drawing, GWL_EXSTYLE, GetWindowLongPtrW(drawing, GWL_EXSTYLE) & ~WS_EX_TRANSPARENT);
            for (HWND w : {drawing, catcher, toolbar}) {
                if (w)
                    SetWindowPos(w, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW | SWP_NOACTIVATE);
            }
        }
    }
    ResetStroke();
}

void CCanvas::RefreshOptions()
{
    HWND toolbar = m_toolbar;
    if (!toolbar)
        return;
    m_updatingOptions = true;
    const int mask = m_tool.controlMask;
    const bool width = (mask & kOptionWidth) != 0;
    const bool font = (mask & kOptionFont) != 0;
    EnableWindow(GetDlgItem(toolbar, IDC_CANVAS_WIDTH_LABEL), width);
    EnableWindow(GetDlgItem(toolbar, IDC_CANVAS_WIDTH), width);
    if (width)
        SetDlgItemInt(toolbar, IDC_CANVAS_WIDTH, static_cast<UINT>(m_tool.width), FALSE);
    else
        SetDlgItemTextW(toolbar, IDC_CANVAS_WIDTH, L"");
    for (int id : {IDC_CANVAS_FONT, IDC_CANVAS_FONT_SIZE, IDC_CANVAS_BOLD, IDC_CANVAS_ITALIC, IDC_CANVAS_UNDERLINE})
        EnableWindow(GetDlgItem(toolbar, id), font);
    const auto found = std::find(m_fonts.begin(), m_fonts.end(), m_tool.fontFamily);
    SendDlgItemMessageW(toolbar, IDC_CANVAS_FONT, CB_SETCURSEL,
                        font && found != m_fonts.end() ? static_cast<WPARAM>(found - m_fonts.begin()) : static_cast<WPARAM>(-1), 0);
    if (font)
        SetDlgItemInt(toolbar, IDC_CANVAS_FONT_SIZE, static_cast<UINT>(m_tool.fontSize), FALSE);
    else
        SetDlgItemTextW(toolbar, IDC_CANVAS_FONT_SIZE, L"");
    CheckDlgButton(toolbar, IDC_CANVAS_BOLD, font && (m_tool.fontStyle & kFontBold) ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(toolbar, IDC_CANVAS_ITALIC, font && (m_tool.fontStyle & kFontItalic) ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(toolbar, IDC_CANVAS_UNDERLINE,
                   font && (m_tool.fontStyle & kFontUnderline) ? BST_CHECKED : BST_UNCHECKED);
    EnableWindow(GetDlgItem(toolbar, IDC_CANVAS_FOREGROUND), (mask & kOptionForeground) != 0);
    EnableWindow(GetDlgItem(toolbar, IDC_CANVAS_BACKGROUND), (mask & kOptionBackground) != 0);
    InvalidateRect(GetDlgItem(toolbar, IDC_CANVAS_FOREGROUND), nullptr, TRUE);
    InvalidateRect(GetDlgItem(toolbar, IDC_CANVAS_BACKGROUND), nullptr, TRUE);
    m_updatingOptions = false;
}

void CCanvas::ChooseColour(bool foreground)
{
    if (!(m_tool.controlMask & (foreground ? kOptionForeground : kOptionBackground)))
        return;
    static COLORREF custom[16] = {};
    ColourChoice choice;
    choice.withAlpha = (m_tool.controlMask & kOptionAlpha) != 0;
    choice.alpha = m_tool.alpha;
    CHOOSECOLORW cc = {};
    cc.lStructSize = sizeof cc;
    cc.hwndOwner = m_toolbar;
    cc.rgbResult = static_cast<COLORREF>(foreground ? m_tool.foreground : m_tool.background);
    cc.lpCustColors = custom;
    cc.Flags = CC_FULLOPEN | CC_ANYCOLOR | CC_RGBINIT | CC_ENABLEHOOK;
    cc.lpfnHook = ColourHook;
    cc.lCustData = reinterpret_cast<LPARAM>(&choice);
    const BOOL chosen = ChooseColorW(&cc);
    int32_t& colour = foreground ? m_tool.foreground : m_tool.background;
    int& none = foreground ? m_tool.foregroundNone : m_tool.backgroundNone;
    if (choice.noColour) {
        none = 1;
    } else if (chosen) {
        colour = StoredColour(static_cast<int32_t>(cc.rgbResult & 0x00FFFFFF));
        none = 0;
        if (choice.withAlpha)
            m_tool.alpha = choice.alpha;
    }
    RefreshOptions();
}
