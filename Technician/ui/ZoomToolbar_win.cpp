#include "Technician/ui/ZoomToolbar.h"

#include "Technician/ui/ViewerResources.h"
#include "core/base/LoadResString.h"

#include <commctrl.h>

#include <cwchar>

namespace {

constexpr int kComboWidth = 96;
constexpr int kComboDropHeight = 220;
constexpr int kMaxZoomText = 63;

const wchar_t* Text(UINT id)
{
    // One slot per id the toolbar shows.
    static ResStringSlot autoScaling, zoom, trueSize, autoScale, bestFit, fitHeight, fitWidth;
    switch (id) {
    case IDS_ZOOM_AUTO_SCALING: return LoadResString(autoScaling, id);
    case IDS_ZOOM_STEP: return LoadResString(zoom, id);
    case IDS_ZOOM_TRUE_SIZE: return LoadResString(trueSize, id);
    case IDS_ZOOM_AUTO_SCALE: return LoadResString(autoScale, id);
    case IDS_ZOOM_BEST_FIT: return LoadResString(bestFit, id);
    case IDS_ZOOM_FIT_HEIGHT: return LoadResString(fitHeight, id);
    case IDS_ZOOM_FIT_WIDTH: return LoadResString(fitWidth, id);
    default: return L"";
    }
}

TBBUTTON Button(int command, BYTE style, const wchar_t* text)
{
    TBBUTTON b = {};
    b.iBitmap = I_IMAGENONE;
    b.idCommand = command;
    b.fsState = TBSTATE_ENABLED;
    b.fsStyle = style;
    b.iString = reinterpret_cast<INT_PTR>(text);
    return b;
}

} // namespace

bool ZoomToolbar::Create(HWND container)
{
    m_container = container;
    HINSTANCE inst = GetModuleHandleW(nullptr);
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_BAR_CLASSES | ICC_COOL_CLASSES};
    InitCommonControlsEx(&icc);

    m_rebar = CreateWindowExW(0, REBARCLASSNAMEW, nullptr,
                              WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | RBS_VARHEIGHT |
                                  CCS_NODIVIDER | CCS_NORESIZE | CCS_NOPARENTALIGN,
                              0, 0, 0, kZoomBandHeight, container, nullptr, inst, nullptr);
    if (!m_rebar)
        return false;
    m_toolbar = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                                WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | TBSTYLE_FLAT | TBSTYLE_LIST |
                                    CCS_NORESIZE | CCS_NODIVIDER | CCS_NOPARENTALIGN,
                                0, 0, 0, kZoomBandHeight, container, nullptr, inst, nullptr);
    if (!m_toolbar)
        return false;
    SendMessageW(m_toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageW(m_toolbar, TB_SETBITMAPSIZE, 0, MAKELPARAM(0, 0));
    TBBUTTON buttons[] = {
        Button(IDM_ZOOM_AUTO_SCALING, BTNS_CHECK | BTNS_AUTOSIZE, Text(IDS_ZOOM_AUTO_SCALING)),
        Button(IDM_ZOOM_STEP, BTNS_BUTTON | BTNS_AUTOSIZE, Text(IDS_ZOOM_STEP)),
        Button(IDM_ZOOM_COMBO, BTNS_SEP, nullptr),
        Button(IDM_ZOOM_TRUE_SIZE, BTNS_BUTTON | BTNS_AUTOSIZE, Text(IDS_ZOOM_TRUE_SIZE)),
    };
    buttons[2].iBitmap = kComboWidth;  // a separator's width
    SendMessageW(m_toolbar, TB_ADDBUTTONSW, ARRAYSIZE(buttons), reinterpret_cast<LPARAM>(buttons));

    RECT place = {};
    SendMessageW(m_toolbar, TB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&place));
    m_combo = CreateWindowExW(0, WC_COMBOBOXW, nullptr, WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWN,
                              place.left, 0, kComboWidth, kComboDropHeight, m_toolbar,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDM_ZOOM_COMBO)), inst, nullptr);
    if (!m_combo)
        return false;
    SendMessageW(m_combo, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    for (const wchar_t* item : {L"25 %", L"50 %", L"75 %", L"100%", L"150%", L"200%"})
        SendMessageW(m_combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    for (UINT id : {IDS_ZOOM_BEST_FIT, IDS_ZOOM_FIT_HEIGHT, IDS_ZOOM_FIT_WIDTH})
        SendMessageW(m_combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Text(id)));
    SendMessageW(m_combo, CB_LIMITTEXT, kMaxZoomText, 0);

    // The combo box tells its parent, the toolbar, which passes it on; the
    // toolbar's own commands go straight to the container.
    SendMessageW(m_toolbar, TB_SETPARENT, reinterpret_cast<WPARAM>(container), 0);
    SetWindowSubclass(m_toolbar, ToolbarSubclass, 1, reinterpret_cast<DWORD_PTR>(this));
    COMBOBOXINFO info = {};
    info.cbSize = sizeof info;
    if (GetComboBoxInfo(m_combo, &info) && info.hwndItem)
        SetWindowSubclass(info.hwndItem, EditSubclass, 1, reinterpret_cast<DWORD_PTR>(this));

    REBARBANDINFOW band = {};
    band.cbSize = sizeof band;
    band.fMask = RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_STYLE | RBBIM_SIZE;
    band.fStyle = RBBS_CHILDEDGE | RBBS_NOGRIPPER;
    band.hwndChild = m_toolbar;
    band.cxMinChild = 0;
    band.cyMinChild = kZoomBandHeight - 2;
    band.cx = 400;
    SendMessageW(m_rebar, RB_INSERTBANDW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&band));
    return true;
}

int ZoomToolbar::Layout(int width, bool shown)
{
    if (!m_rebar)
        return 0;
    if (!shown) {
        ShowWindow(m_rebar, SW_HIDE);
        MoveWindow(m_rebar, 0, 0, 0, 0, FALSE);
        return 0;
    }
    MoveWindow(m_rebar, 0, 0, width, kZoomBandHeight, TRUE);
    ShowWindow(m_rebar, SW_SHOWNA);
    return kZoomBandHeight;
}

void ZoomToolbar::SetButtonText(int command, const wchar_t* text)
{
    TBBUTTONINFOW info = {};
    info.cbSize = sizeof info;
    info.dwMask = TBIF_TEXT;
    info.pszText = const_cast<wchar_t*>(text);
    SendMessageW(m_toolbar, TB_SETBUTTONINFOW, static_cast<WPARAM>(command), reinterpret_cast<LPARAM>(&info));
}

void ZoomToolbar::Show(bool fit, int percent)
{
    if (!m_toolbar)
        return;
    SendMessageW(m_toolbar, TB_CHECKBUTTON, IDM_ZOOM_AUTO_SCALING, MAKELPARAM(fit ? TRUE : FALSE, 0));
    wchar_t text[32];
    swprintf(text, ARRAYSIZE(text), L"%d %%", percent);
    SetButtonText(IDM_ZOOM_STEP, fit ? Text(IDS_ZOOM_AUTO_SCALE) : text);
    // The combo box stays where it is when the buttons change their widths.
    RECT place = {};
    SendMessageW(m_toolbar, TB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&place));
    SetWindowPos(m_combo, nullptr, place.left, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowTextW(m_combo, text);
}

std::wstring ZoomToolbar::SelectedText() const
{
    const LRESULT sel = SendMessageW(m_combo, CB_GETCURSEL, 0, 0);
    if (sel == CB_ERR)
        return std::wstring();
    const LRESULT len = SendMessageW(m_combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(sel), 0);
    if (len == CB_ERR || len > kMaxZoomText)
        return std::wstring();
    std::wstring text(static_cast<size_t>(len) + 1, L'\0');
    SendMessageW(m_combo, CB_GETLBTEXT, static_cast<WPARAM>(sel), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<size_t>(len));
    return text;
}

std::wstring ZoomToolbar::EditText() const
{
    wchar_t text[kMaxZoomText + 1] = {};
    GetWindowTextW(m_combo, text, ARRAYSIZE(text));
    return text;
}

LRESULT CALLBACK ZoomToolbar::ToolbarSubclass(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data)
{
    auto* self = reinterpret_cast<ZoomToolbar*>(data);
    if (msg == WM_COMMAND && reinterpret_cast<HWND>(lp) == self->m_combo)
        return SendMessageW(self->m_container, msg, wp, lp);
    if (msg == WM_NCDESTROY)
        RemoveWindowSubclass(hwnd, ToolbarSubclass, 1);
    return DefSubclassProc(hwnd, msg, wp, lp);
}

LRESULT CALLBACK ZoomToolbar::EditSubclass(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data)
{
    auto* self = reinterpret_cast<ZoomToolbar*>(data);
    const bool confirmKey = wp == VK_RETURN || wp == VK_TAB || wp == VK_ESCAPE;
    if (msg == WM_KEYDOWN && confirmKey) {
        SendMessageW(self->m_container, WM_COMMAND, MAKEWPARAM(IDM_ZOOM_COMBO, kZoomTextConfirmed),
                     reinterpret_cast<LPARAM>(self->m_combo));
        return 0;
    }
    if (msg == WM_CHAR && (wp == L'\r' || wp == L'\t' || wp == 0x1B))
        return 0;  // no beep for the keys taken above
    if (msg == WM_NCDESTROY)
        RemoveWindowSubclass(hwnd, EditSubclass, 1);
    return DefSubclassProc(hwnd, msg, wp, lp);
}
