// The viewer's input: keys, pointer, wheel and the clipboard between the
// participant and the host, on the thread of the viewer's windows.
#include "Technician/ui/TechnicianGUI.h"

#include "Technician/connection/ClientConnection.h"
#include "core/base/DHLog.h"
#include "core/base/MeetingContext.h"
#include "rfb/ClipboardAccess_win.h"

#include <windowsx.h>

#include <memory>

namespace {

viewer::PointerMessage PointerMessageOf(UINT msg)
{
    switch (msg) {
    case WM_LBUTTONDOWN: return viewer::PointerMessage::LeftDown;
    case WM_LBUTTONUP: return viewer::PointerMessage::LeftUp;
    case WM_RBUTTONDOWN: return viewer::PointerMessage::RightDown;
    case WM_RBUTTONUP: return viewer::PointerMessage::RightUp;
    case WM_MBUTTONDOWN: return viewer::PointerMessage::MiddleDown;
    case WM_MBUTTONUP: return viewer::PointerMessage::MiddleUp;
    default: return viewer::PointerMessage::Move;
    }
}

} // namespace

bool TechnicianGUI::InputAllowed() const
{
    return ControlHeld() && HasPicture();
}

bool TechnicianGUI::OnInputMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
        if (!InputAllowed())
            return false;
        m_conn->ProcessKeyEvent(static_cast<UINT>(wp), lp);
        return true;
    case WM_MOUSEWHEEL:
        // Handled where it arrives, so a notch is sent once.
        if (!InputAllowed())
            return false;
        m_conn->SendWheel(GET_WHEEL_DELTA_WPARAM(wp));
        return true;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
        if (hwnd != m_hwndViewer)
            return false;
        OnPointerMessage(hwnd, msg, wp, lp);
        return true;
    case WM_TIMER:
        if (hwnd != m_hwndViewer || wp != viewer::kEmulationTimerId)
            return false;
        if (m_conn)
            m_conn->OnEmulationTimer();
        else
            KillTimer(hwnd, wp);
        return true;
    case WM_VIEWER_CLIPBOARD:
        OnHostClipboard(lp);
        return true;
    default:
        return false;
    }
}

void TechnicianGUI::OnPointerMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    const int x = GET_X_LPARAM(lp);
    const int y = GET_Y_LPARAM(lp);
    const bool press = msg == WM_LBUTTONDOWN || msg == WM_MBUTTONDOWN || msg == WM_RBUTTONDOWN;
    if (press) {
        SetFocus(hwnd);
        SetCapture(hwnd);
    } else if (msg != WM_MOUSEMOVE && !(wp & (MK_LBUTTON | MK_MBUTTON | MK_RBUTTON)) && GetCapture() == hwnd) {
        ReleaseCapture();
    }
    if (!m_conn || !HasPicture())
        return;
    if (m_pickPoint) {
        if (msg == WM_LBUTTONUP) {
            m_pickPoint = false;
            m_conn->SendSetSW(x, y);
        }
        return;
    }
    if (ControlHeld()) {
        m_conn->ProcessPointerEvent(x, y, wp, PointerMessageOf(msg));
        return;
    }
    // Without control a left press places the participant's own mark.
    if (msg == WM_LBUTTONDOWN && m_meeting) {
        int fx = 0, fy = 0;
        m_conn->Scale().framebufferPointOf(x, y, fx, fy);
        m_meeting->PlaceOwnMark(fx, fy);
    }
}

void TechnicianGUI::OnLocalClipboardChanged()
{
    DHLog::Instance().Print(0x08, 7, false, "Clipboard changed\n");
    if (GetClipboardOwner() == m_hwndViewer) {
        DHLog::Instance().Print(0x08, 7, false, "We changed it - ignore!\n");
        return;
    }
    if (!m_initialClipboardSeen) {
        // Joining the chain tells what was there already: never sent.
        DHLog::Instance().Print(0x08, 7, false, "Don't send initial clipboard!\n");
        m_initialClipboardSeen = true;
        return;
    }
    if (m_options.clipboardDisabled || !InputAllowed())
        return;
    std::string text;
    switch (ReadClipboardText(m_hwndViewer, text)) {
    case ClipboardRead::Text:
        m_conn->SendClientCutText(text);
        break;
    case ClipboardRead::Busy:
        DHLog::Instance().Print(0x08, 6, false, "The clipboard is held by another program: change not sent\n");
        break;
    case ClipboardRead::TooLong:
        DHLog::Instance().Print(0x08, 6, false, "The clipboard text is too long to send\n");
        break;
    case ClipboardRead::NoText:
        break;
    }
}

void TechnicianGUI::OnHostClipboard(LPARAM text)
{
    std::unique_ptr<std::string> owned(reinterpret_cast<std::string*>(text));
    if (!owned || m_options.clipboardDisabled || !ControlHeld())
        return;
    if (!PutClipboardText(m_hwndViewer, *owned))
        DHLog::Instance().Print(0x08, 6, false, "The clipboard could not be set (%lu): the host's text dropped\n",
                                GetLastError());
}
