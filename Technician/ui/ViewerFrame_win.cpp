// The viewer's frame window: the user's close minimises it, a minimised frame
// is a dormant view, full screen covers the screen without a caption, and a
// WM_CLOSE (the end of viewing by an error) asks the core to end this view.
#include "Technician/ui/TechnicianGUI.h"

#include "Technician/connection/ClientConnection.h"
#include "Technician/ui/ViewerResources.h"
#include "core/base/DHLog.h"
#include "core/base/LoadResString.h"
#include "core/base/MeetingContext.h"

namespace {

// How far full screen reaches beyond the screen on every side.
constexpr int kFullScreenOverhang = 1;

} // namespace

void TechnicianGUI::AddFullScreenMenuItem()
{
    static ResStringSlot slot;
    HMENU menu = GetSystemMenu(m_hwndFrame, FALSE);
    if (!menu)
        return;
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, IDM_FULL_SCREEN, LoadResString(slot, IDS_FULL_SCREEN));
}

LRESULT TechnicianGUI::OnFrameMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (OnInputMessage(hwnd, msg, wp, lp))
        return 0;
    switch (msg) {
    case WM_SETFOCUS:
        // The keys go to the picture.
        if (m_hwndViewer && IsWindowVisible(hwnd))
            SetFocus(m_hwndViewer);
        return 0;
    case WM_SIZE:
        SetDormant(wp == SIZE_MINIMIZED);
        if (wp != SIZE_MINIMIZED)
            Layout();
        return 0;
    case WM_SYSCOMMAND:
        switch (wp & 0xFFF0) {
        case SC_CLOSE:
            // The user's close keeps the view: the frame is only minimised.
            ShowWindow(hwnd, SW_MINIMIZE);
            return 0;
        case IDM_FULL_SCREEN:
            if (m_fullScreen) {
                ApplyFullScreen(false);
                RefreshView(true);
            } else {
                SetZoomMode(ZoomMode::FullScreen);
            }
            return 0;
        default:
            return DefaultSysCommand(hwnd, wp, lp);
        }
    case WM_INITMENUPOPUP:
        if (HIWORD(lp))
            CheckMenuItem(GetSystemMenu(hwnd, FALSE), IDM_FULL_SCREEN,
                          MF_BYCOMMAND | (m_fullScreen ? MF_CHECKED : MF_UNCHECKED));
        break;
    case WM_CLOSE:
        // The viewing ended by an error (reader, input or clipboard): the
        // core ends this view as at the end of sharing, so a new one can
        // open; the windows stay the core's to destroy.
        if (m_meeting && (!m_conn || m_conn->m_active.load()))
            m_meeting->EndSharingView();
        return 0;
    case WM_DESTROY:
        if (m_hwndViewer && IsWindow(m_hwndViewer)) {
            ChangeClipboardChain(m_hwndViewer, m_nextClipboardViewer);
            m_nextClipboardViewer = nullptr;
        }
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void TechnicianGUI::SetDormant(bool dormant)
{
    if (dormant == m_dormant)
        return;
    m_dormant = dormant;
    static ResStringSlot format, entering, leaving;
    DHLog::Instance().PrintW(0x08, 7, false, LoadResString(format, IDS_DORMANT_MODE),
                             dormant ? LoadResString(entering, IDS_DORMANT_ENTERING)
                                     : LoadResString(leaving, IDS_DORMANT_LEAVING));
    // Back from the taskbar: the picture is brought up to date.
    if (!dormant && HasPicture())
        m_conn->SendIncrementalUpdateRequest();
}

void TechnicianGUI::ApplyFullScreen(bool on)
{
    if (on == m_fullScreen || !m_hwndFrame)
        return;
    m_fullScreen = on;
    if (on) {
        m_windowedStyle = GetWindowLongPtrW(m_hwndFrame, GWL_STYLE);
        m_windowedPlacement.length = sizeof m_windowedPlacement;
        GetWindowPlacement(m_hwndFrame, &m_windowedPlacement);
        SetWindowLongPtrW(m_hwndFrame, GWL_STYLE, m_windowedStyle & ~static_cast<LONG_PTR>(WS_CAPTION | WS_THICKFRAME));
        ShowWindow(m_hwndFrame, SW_SHOWMAXIMIZED);
        const int cx = GetSystemMetrics(SM_CXSCREEN);
        const int cy = GetSystemMetrics(SM_CYSCREEN);
        SetWindowPos(m_hwndFrame, HWND_TOP, -kFullScreenOverhang, -kFullScreenOverhang, cx + 3, cy + 3,
                     SWP_FRAMECHANGED | SWP_SHOWWINDOW);
    } else {
        SetWindowLongPtrW(m_hwndFrame, GWL_STYLE, m_windowedStyle);
        SetWindowPlacement(m_hwndFrame, &m_windowedPlacement);
        SetWindowPos(m_hwndFrame, nullptr, 0, 0, 0, 0,
                     SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
    }
    Layout();
    LayoutContainer();
}
