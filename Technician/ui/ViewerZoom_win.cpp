// The container window and the zoom: the toolbar's buttons and combo box,
// SetZoomMode, the zoom display and the scroll bars that follow the scale.
#include "Technician/ui/TechnicianGUI.h"

#include "Technician/connection/ClientConnection.h"
#include "Technician/ui/ViewerResources.h"
#include "core/base/LoadResString.h"

namespace {

// Posted to the container after a combo box selection: the combo box puts
// the item's text into its edit after telling us, so the display follows.
constexpr UINT WM_ZOOM_SHOW_AGAIN = WM_APP + 0x51;

std::string Narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text)
        out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return out;
}

bool IsText(const std::wstring& text, UINT id, ResStringSlot& slot)
{
    return text == LoadResString(slot, id);
}

} // namespace

LRESULT TechnicianGUI::OnContainerMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_SIZE:
        LayoutContainer();
        break;
    case WM_VIEWER_LAYOUT:
        LayoutContainer();
        return 0;
    case WM_COMMAND:
        OnZoomCommand(LOWORD(wp), HIWORD(wp));
        return 0;
    case WM_ZOOM_SHOW_AGAIN:
        UpdateZoomDisplay();
        return 0;
    case WM_ERASEBKGND:
        return 1;  // the band and the viewer window cover the container
    case WM_PAINT: {
        // No group-box frame or caption: only the band's background shows.
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        FillRect(dc, &ps.rcPaint, GetSysColorBrush(COLOR_BTNFACE));
        EndPaint(hwnd, &ps);
        return 0;
    }
    default:
        break;
    }
    return CallWindowProcW(m_buttonProc, hwnd, msg, wp, lp);
}

void TechnicianGUI::OnZoomCommand(int id, int code)
{
    switch (id) {
    case IDM_ZOOM_AUTO_SCALING:
        if (m_conn && m_conn->Scale().fitToWindow())
            SetZoomMode(ZoomMode::Scale, 100, 100);
        else
            SetZoomMode(ZoomMode::FitToWindow);
        break;
    case IDM_ZOOM_STEP:
        if (HasPicture())
            ApplyPercent(m_conn->Scale().zoomStep());
        break;
    case IDM_ZOOM_TRUE_SIZE:
        SetZoomMode(ZoomMode::Scale, 100, 100);
        break;
    case IDM_ZOOM_COMBO:
        if (code == CBN_SELCHANGE) {
            ApplyComboText(m_zoom.SelectedText());
            PostMessageW(m_hwndContainer, WM_ZOOM_SHOW_AGAIN, 0, 0);
            return;
        }
        if (code == kZoomTextConfirmed)
            ApplyComboText(m_zoom.EditText());
        else
            return;
        break;
    default:
        return;
    }
    // A click while there is no picture leaves the display as it was.
    UpdateZoomDisplay();
}

void TechnicianGUI::ApplyComboText(const std::wstring& text)
{
    if (text.empty() || !HasPicture())
        return;
    static ResStringSlot bestFit, fitHeight, fitWidth;
    const viewer::ViewScale& s = m_conn->Scale();
    int p;
    if (IsText(text, IDS_ZOOM_BEST_FIT, bestFit))
        p = s.bestFitPercent();
    else if (IsText(text, IDS_ZOOM_FIT_HEIGHT, fitHeight))
        p = s.fitHeightPercent(GetSystemMetrics(SM_CXVSCROLL));
    else if (IsText(text, IDS_ZOOM_FIT_WIDTH, fitWidth))
        p = s.fitWidthPercent(GetSystemMetrics(SM_CYHSCROLL));
    else
        p = viewer::ViewScale::ParseZoomText(Narrow(text));
    if (p < 0)
        return;
    ApplyPercent(p);
}

void TechnicianGUI::ApplyPercent(int percent)
{
    viewer::ViewScale& s = m_conn->Scale();
    s.applyPercent(percent);
    SetZoomMode(ZoomMode::Scale, s.numerator(), s.denominator());
}

void TechnicianGUI::SetZoomMode(ZoomMode mode, double num, double den)
{
    if (mode == ZoomMode::FullScreen) {
        ApplyFullScreen(true);
        RefreshView(true);
        return;
    }
    ApplyFullScreen(false);
    if (!HasPicture())
        return;
    viewer::ViewScale& s = m_conn->Scale();
    switch (mode) {
    case ZoomMode::TrueSize:
        s.setUnscaled();
        break;
    case ZoomMode::Scale:
        if (!s.setScale(num, den))
            return;
        break;
    default:
        s.setFitToWindow(true);
        break;
    }
    s.scrollTo(0, 0);
    RefreshView(true);
}

void TechnicianGUI::RefreshView(bool erase)
{
    if (HasPicture() && m_hwndViewer) {
        viewer::ViewScale& s = m_conn->Scale();
        decode::Framebuffer* fb = m_conn->Framebuffer();
        RECT rc;
        GetClientRect(m_hwndViewer, &rc);
        s.setFramebuffer(fb->width(), fb->height());
        s.setClientSize(rc.right, rc.bottom);
    }
    UpdateScrollBars();
    UpdateZoomDisplay();
    if (m_hwndViewer)
        InvalidateRect(m_hwndViewer, nullptr, erase);
}

void TechnicianGUI::UpdateScrollBars()
{
    if (!m_hwndViewer)
        return;
    const bool live = HasPicture();
    const viewer::ViewScale* s = live ? &m_conn->Scale() : nullptr;
    SCROLLINFO si = {};
    si.cbSize = sizeof si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    si.nMax = s ? s->scaledWidth() : 0;
    si.nPage = s ? static_cast<UINT>(s->pageWidth()) : 0;
    si.nPos = s ? s->hpos() : 0;
    SetScrollInfo(m_hwndViewer, SB_HORZ, &si, TRUE);
    si.nMax = s ? s->scaledHeight() : 0;
    si.nPage = s ? static_cast<UINT>(s->pageHeight()) : 0;
    si.nPos = s ? s->vpos() : 0;
    SetScrollInfo(m_hwndViewer, SB_VERT, &si, TRUE);
}

void TechnicianGUI::UpdateZoomDisplay()
{
    if (m_conn) {
        const viewer::ViewScale& s = m_conn->Scale();
        m_zoom.Show(s.fitToWindow(), s.percent());
    } else {
        const ViewerDisplayRecord& d = m_options.display;
        m_zoom.Show(d.fitToWindow, d.scaling && d.scaleDen > 0 ? static_cast<int>(d.scaleNum * 100 / d.scaleDen) : 100);
    }
}
