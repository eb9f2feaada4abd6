// The viewer window: painting while the session says so, the reader's posted
// news, scrolling, the zoom requests 0x465 and 0x467, the clipboard chain and
// the participant's input (ViewerInput_win.cpp).
#include "Technician/ui/TechnicianGUI.h"

#include "Technician/connection/ClientConnection.h"
#include "Technician/ui/ViewerResources.h"
#include "core/base/AnnotationLayer.h"
#include "core/base/GdiObject_win.h"
#include "core/base/MeetingContext.h"
#include "core/base/ThreadMessages.h"

namespace {

constexpr int kLineStep = 2;

} // namespace

LRESULT TechnicianGUI::OnViewerMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (OnInputMessage(hwnd, msg, wp, lp))
        return 0;
    switch (msg) {
    case WM_PAINT:
        PaintViewer(hwnd);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_DESTROY:
    case WM_CLOSE:
        return 0;
    case WM_SIZE:
        if (HasPicture())
            RefreshView(false);
        return 0;
    case WM_VIEWER_SESSION:
        OnSessionState(wp != 0);
        return 0;
    case WM_VIEWER_RESIZED:
        RefreshView(false);
        return 0;
    case WM_VIEWER_UPDATE_DONE:
        if (m_conn) {
            const rfb::Rect area = m_conn->TakeChangedArea();
            if (!area.is_empty()) {
                const rfb::Rect w = m_conn->Scale().windowRectOf(area);
                RECT r{w.left, w.top, w.right, w.bottom};
                InvalidateRect(hwnd, &r, FALSE);
            }
        }
        return 0;
    case WM_VIEWER_CURSOR:
        InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    case WM_VIEWER_SET_SCALE: {
        // Refused while there is no picture, for a 0 in either part and for
        // a negative denominator.
        const UINT num = static_cast<UINT>(wp);
        const LONG den = static_cast<LONG>(lp);
        if (!HasPicture() || num == 0 || den <= 0)
            return 0;
        SetZoomMode(ZoomMode::Scale, num, den);
        return 1;
    }
    case WM_VIEWER_QUERY_SIZE:
        if (m_conn && IsWindow(reinterpret_cast<HWND>(wp)))
            SendMessageW(reinterpret_cast<HWND>(wp), WM_VIEWER_QUERY_SIZE,
                         MAKELONG(m_conn->Scale().scaledWidth(), m_conn->Scale().scaledHeight()), lp);
        return 1;
    case WM_SYSCOMMAND:
        return DefaultSysCommand(hwnd, wp, lp);
    case WM_HSCROLL:
        OnScroll(SB_HORZ, LOWORD(wp));
        return 0;
    case WM_VSCROLL:
        OnScroll(SB_VERT, LOWORD(wp));
        return 0;
    case WM_SETCURSOR:
        // With control, the local-cursor mode picks the pointer over the picture.
        if (LOWORD(lp) == HTCLIENT && ControlHeld() && GetFocus() == hwnd) {
            switch (m_options.localCursorMode) {
            case 0: SetCursor(LoadCursorW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_VIEWER_CROSS))); break;
            case 1: SetCursor(LoadCursorW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDC_VIEWER_DOT))); break;
            default: SetCursor(LoadCursorW(nullptr, IDC_ARROW)); break;
            }
            return TRUE;
        }
        break;
    case WM_SETFOCUS:
        // With control in full screen the picture stays above other windows
        // while it has the focus, and gives way when it loses it.
        if (m_fullScreen && ControlHeld())
            SetWindowPos(m_hwndFrame, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        break;
    case WM_KILLFOCUS:
        // Keys held as the focus goes would stay down on the host.
        if (InputAllowed())
            m_conn->ReleaseModifiers();
        if (m_fullScreen && ControlHeld() && HasPicture()) {
            HWND fg = GetForegroundWindow();
            const bool fgTopmost = fg && (GetWindowLongPtrW(fg, GWL_EXSTYLE) & WS_EX_TOPMOST);
            SetWindowPos(m_hwndFrame, fg && fg != m_hwndFrame && !fgTopmost ? fg : HWND_NOTOPMOST, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
        break;
    case WM_CHAR:
    case WM_DEADCHAR:
    case WM_SYSCHAR:
    case WM_SYSDEADCHAR:
        return 0;
    case WM_QUERYNEWPALETTE:
    case WM_PALETTECHANGED:
        return OnPaletteMessage(hwnd, msg, wp) && msg == WM_QUERYNEWPALETTE ? TRUE : 0;
    case WM_DRAWCLIPBOARD:
        if (m_nextClipboardViewer)
            SendMessageW(m_nextClipboardViewer, msg, wp, lp);
        OnLocalClipboardChanged();
        return 0;
    case WM_CHANGECBCHAIN:
        if (reinterpret_cast<HWND>(wp) == m_nextClipboardViewer)
            m_nextClipboardViewer = reinterpret_cast<HWND>(lp);
        else if (m_nextClipboardViewer)
            SendMessageW(m_nextClipboardViewer, msg, wp, lp);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

bool TechnicianGUI::ControlHeld() const
{
    return m_meeting && m_meeting->ControlHeld();
}

void TechnicianGUI::OnSessionState(bool painting)
{
    m_painting = painting;
    if (!painting) {
        // The picture is gone: the window shows black until the next session.
        if (HDC dc = GetDC(m_hwndViewer)) {
            RECT rc;
            GetClientRect(m_hwndViewer, &rc);
            FillBlack(dc, rc.left, rc.top, rc.right, rc.bottom);
            ReleaseDC(m_hwndViewer, dc);
        }
        UpdateScrollBars();
        return;
    }
    // A session starts: the frame shows, and the fit is made at once.
    if (m_hwndFrame && !IsWindowVisible(m_hwndFrame))
        ShowWindow(m_hwndFrame, SW_SHOW);
    if (m_conn)
        m_conn->Scale().scrollTo(0, 0);
    RefreshView(false);
}

void TechnicianGUI::PaintViewer(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    // While painting is off the area is only validated.
    if (m_painting) {
        decode::Framebuffer* fb = HasPicture() ? m_conn->Framebuffer() : nullptr;
        if (fb) {
            const viewer::DrawnCursor cursor = m_conn->Cursor();
            const std::shared_ptr<const AnnotationLayer> layer =
                m_meeting ? m_meeting->GetAnnotationLayer() : nullptr;
            m_painter.Paint(dc, ps.rcPaint, fb, m_conn->Scale(), cursor, layer.get());
            // A modal loop would drop the posted copy: none is made then.
            if (m_meeting && m_modalLoops == 0 && m_meeting->RecordingViewerFrames())
                PostRecordFrame(m_painter.CopyFrame(cursor));
        } else {
            FillBlack(dc, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom);
        }
    }
    EndPaint(hwnd, &ps);
}

void TechnicianGUI::PostRecordFrame(HBITMAP frame)
{
    // The windows run on the main thread: the copy goes to its queue, and
    // whoever receives it deletes it; one that cannot be posted goes here.
    if (frame && !PostThreadMessageW(GetCurrentThreadId(), PLM_RECORD_FRAME, reinterpret_cast<WPARAM>(frame), 0))
        DeleteGdiObject(frame);
}

LRESULT TechnicianGUI::DefaultSysCommand(HWND hwnd, WPARAM wp, LPARAM lp)
{
    ++m_modalLoops;
    const LRESULT r = DefWindowProcW(hwnd, WM_SYSCOMMAND, wp, lp);
    --m_modalLoops;
    return r;
}

bool TechnicianGUI::OnPaletteMessage(HWND hwnd, UINT msg, WPARAM wp)
{
    // Another window's palette change: ours is realised again in the
    // background and the window's colours mapped to the new system palette.
    if (msg == WM_PALETTECHANGED && reinterpret_cast<HWND>(wp) == hwnd)
        return false;
    HDC dc = GetDC(hwnd);
    if (!dc)
        return false;
    HPALETTE previous = nullptr;
    const bool foreground = msg == WM_QUERYNEWPALETTE;
    const bool realised = m_painter.SelectPaletteInto(dc, !foreground, &previous);
    if (realised) {
        if (foreground) {
            InvalidateRect(hwnd, nullptr, FALSE);
        } else {
            UpdateColors(dc);
        }
        SelectPalette(dc, previous, TRUE);
    }
    ReleaseDC(hwnd, dc);
    if (foreground && realised)
        UpdateWindow(hwnd);
    return realised;
}

void TechnicianGUI::OnScroll(int bar, int code)
{
    if (!HasPicture())
        return;
    const viewer::ViewScale& s = m_conn->Scale();
    const bool horz = bar == SB_HORZ;
    const int page = horz ? s.pageWidth() : s.pageHeight();
    const int pos = horz ? s.hpos() : s.vpos();
    int delta = 0;
    switch (code) {
    case SB_LINEUP: delta = -kLineStep; break;
    case SB_LINEDOWN: delta = kLineStep; break;
    case SB_PAGEUP: delta = -page / 4; break;
    case SB_PAGEDOWN: delta = page / 4; break;
    case SB_TOP: delta = -pos; break;
    case SB_BOTTOM: delta = (horz ? s.maxHpos() : s.maxVpos()) - pos; break;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: {
        SCROLLINFO si = {};
        si.cbSize = sizeof si;
        si.fMask = SIF_TRACKPOS;
        GetScrollInfo(m_hwndViewer, bar, &si);
        delta = si.nTrackPos - pos;
        break;
    }
    default:
        return;
    }
    ScrollBy(horz ? delta : 0, horz ? 0 : delta);
}

void TechnicianGUI::ScrollBy(int dx, int dy)
{
    int mx = 0, my = 0;
    if (!m_conn->Scale().scrollBy(dx, dy, &mx, &my))
        return;
    ScrollWindowEx(m_hwndViewer, -mx, -my, nullptr, nullptr, nullptr, nullptr, SW_INVALIDATE);
    UpdateScrollBars();
    UpdateWindow(m_hwndViewer);
}
