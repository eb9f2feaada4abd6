#include "Technician/ui/TechnicianGUI.h"

#include "Technician/connection/ClientConnection.h"
#include "core/base/Registry.h"
#include "core/base/ThreadMessages.h"

#include <stdexcept>

namespace {

const wchar_t kFrameClass[] = L"Corvisk_Window";
const wchar_t kViewerClass[] = L"DHviewerwindow";
constexpr UINT kFrameTitle = 4029;

// A class registered by an earlier GUI is no failure.
bool Register(const wchar_t* name, WNDPROC proc)
{
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = name;
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

void FillBlack(HDC dc, int l, int t, int r, int b)
{
    if (r <= l || b <= t)
        return;
    RECT rc{l, t, r, b};
    FillRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
}

} // namespace

TechnicianGUI::TechnicianGUI(MeetingContext* meeting, HWND parent) : m_meeting(meeting), m_parent(parent) {}

TechnicianGUI::~TechnicianGUI()
{
    // The reader is joined first, then the live display state is saved,
    // however the session ended.
    if (m_conn)
        m_conn->Stop();
    SaveOptions();
    delete m_conn;
    if (m_hwndViewer && IsWindow(m_hwndViewer))
        SetWindowLongPtrW(m_hwndViewer, GWLP_USERDATA, 0);
    if (m_hwndFrame && IsWindow(m_hwndFrame))
        SetWindowLongPtrW(m_hwndFrame, GWLP_USERDATA, 0);
}

void TechnicianGUI::CreateWindows()
{
    if (!Register(kFrameClass, FrameProc) || !Register(kViewerClass, ViewerProc))
        throw std::runtime_error("viewer window classes");
    wchar_t title[128] = L"Corvisk";
    LoadStringW(GetModuleHandleW(nullptr), kFrameTitle, title, 128);
    m_hwndFrame = CreateWindowExW(0, kFrameClass, title, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 800, 600, m_parent, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!m_hwndFrame)
        throw std::runtime_error("viewer frame");
    SetWindowLongPtrW(m_hwndFrame, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_hwndViewer = CreateWindowExW(0, kViewerClass, L"DurnhelmViewer", WS_CHILD | WS_VISIBLE | WS_HSCROLL | WS_VSCROLL,
                                   0, 0, 100, 100, m_hwndFrame, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!m_hwndViewer) {
        DestroyWindow(m_hwndFrame);
        m_hwndFrame = nullptr;
        throw std::runtime_error("viewer window");
    }
    SetWindowLongPtrW(m_hwndViewer, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    Relayout();
}

void TechnicianGUI::AttachConnection(ClientConnection* conn)
{
    m_conn = conn;
    if (conn)
        conn->SetWindows(m_hwndFrame, m_hwndViewer);
}

void TechnicianGUI::UpdateZoomDisplay() {}

void TechnicianGUI::SaveOptions()
{
    // The display record's own defaults while no connection was made.
    DWORD depth = 1, scaling = 0, num = 1, den = 1;
    if (m_conn) {
        const viewer::ViewScale& s = m_conn->Scale();
        depth = static_cast<DWORD>(m_conn->Options().colourDepth);
        scaling = s.scaling() ? 1 : 0;
        num = static_cast<DWORD>(s.numerator());
        den = static_cast<DWORD>(s.denominator());
    }
    WriteSettingDword(kOptionsKey, "ColorDepth", depth);
    WriteSettingDword(kOptionsKey, "Scaling", scaling);
    WriteSettingDword(kOptionsKey, "ScaleNum", num);
    WriteSettingDword(kOptionsKey, "ScaleDen", den);
    WriteSettingDword(kOptionsKey, "TopBar", 0);
    WriteSettingDword(kOptionsKey, "SideBar", 0);
}

void TechnicianGUI::Relayout()
{
    if (!m_hwndFrame || !m_hwndViewer)
        return;
    RECT rc;
    GetClientRect(m_hwndFrame, &rc);
    MoveWindow(m_hwndViewer, 0, 0, rc.right, rc.bottom, TRUE);
}

LRESULT CALLBACK TechnicianGUI::FrameProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    auto* gui = reinterpret_cast<TechnicianGUI*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    switch (msg) {
    case WM_SIZE:
        if (gui)
            gui->Relayout();
        return 0;
    case WM_VIEWER_SESSION:
        // The core posts the session state to the frame; the viewer window paints.
        if (gui && gui->m_hwndViewer)
            PostMessageW(gui->m_hwndViewer, msg, wp, lp);
        return 0;
    case WM_SYSCOMMAND:
        // The user's close keeps the view: the frame is only minimised.
        if ((wp & 0xFFF0) == SC_CLOSE) {
            ShowWindow(hwnd, SW_MINIMIZE);
            return 0;
        }
        break;
    case WM_CLOSE:
        // The reader's error end: the picture stops; the core owns the windows.
        if (gui && gui->m_hwndViewer)
            PostMessageW(gui->m_hwndViewer, WM_VIEWER_SESSION, 0, 0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK TechnicianGUI::ViewerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    auto* gui = reinterpret_cast<TechnicianGUI*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (gui)
        return gui->OnViewerMessage(hwnd, msg, wp, lp);
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT TechnicianGUI::OnViewerMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_PAINT:
        Paint(hwnd);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_SIZE:
    case WM_VIEWER_RESIZED:
        if (m_conn) {
            RECT rc;
            GetClientRect(hwnd, &rc);
            decode::Framebuffer* fb = m_conn->Framebuffer();
            m_conn->Scale().setFramebuffer(fb ? fb->width() : 0, fb ? fb->height() : 0);
            m_conn->Scale().setClientSize(rc.right, rc.bottom);
        }
        InvalidateRect(hwnd, nullptr, FALSE);
        return 0;
    case WM_VIEWER_SESSION:
        m_painting = wp != 0;
        PostMessageW(hwnd, WM_VIEWER_RESIZED, 0, 0);
        InvalidateRect(hwnd, nullptr, FALSE);
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
    case WM_VIEWER_SET_SCALE:
        // Refused while there is no picture or for a 0 in either part.
        if (!m_conn || !m_conn->Framebuffer() || !m_conn->Scale().setScale(static_cast<double>(wp), static_cast<double>(lp)))
            return 0;
        InvalidateRect(hwnd, nullptr, TRUE);
        return 1;
    case WM_VIEWER_QUERY_SIZE:
        if (m_conn && IsWindow(reinterpret_cast<HWND>(wp)))
            SendMessageW(reinterpret_cast<HWND>(wp), WM_VIEWER_QUERY_SIZE,
                         MAKELONG(m_conn->Scale().scaledWidth(), m_conn->Scale().scaledHeight()), lp);
        return 1;
    default:
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

void TechnicianGUI::Paint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client;
    GetClientRect(hwnd, &client);
    decode::Framebuffer* fb = m_conn ? m_conn->Framebuffer() : nullptr;
    if (!m_painting || !fb) {
        FillBlack(dc, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right, ps.rcPaint.bottom);
        EndPaint(hwnd, &ps);
        return;
    }
    const viewer::ViewScale& s = m_conn->Scale();
    const int sw = s.scaledWidth(), sh = s.scaledHeight();
    const int showW = sw - s.hpos(), showH = sh - s.vpos();
    // The picture is copied out under the framebuffer lock and drawn after
    // it is released: the reader never waits on the display.
    const int fbW = fb->width(), fbH = fb->height();
    {
        decode::Framebuffer::View view = fb->view();
        m_paintCopy.assign(view.pixels(), view.pixels() + static_cast<size_t>(fbW) * fbH);
    }
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = fbW;
    bi.bmiHeader.biHeight = -fbH;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    if (sw == fbW && sh == fbH) {
        SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(showW), static_cast<DWORD>(showH), s.hpos(),
                          fbH - s.vpos() - showH, 0, static_cast<UINT>(fbH), m_paintCopy.data(), &bi,
                          DIB_RGB_COLORS);
    } else {
        SetStretchBltMode(dc, HALFTONE);
        SetBrushOrgEx(dc, 0, 0, nullptr);
        StretchDIBits(dc, -s.hpos(), -s.vpos(), sw, sh, 0, 0, fbW, fbH, m_paintCopy.data(), &bi, DIB_RGB_COLORS,
                      SRCCOPY);
    }
    FillBlack(dc, showW, 0, client.right, client.bottom);
    FillBlack(dc, 0, showH, showW, client.bottom);
    // The drawn cursor over the picture, never into it.
    const viewer::DrawnCursor c = m_conn->Cursor();
    if (c.visible()) {
        const double k = s.scaling() ? s.numerator() / s.denominator() : 1.0;
        for (int y = 0; y < c.shape.height; ++y)
            for (int x = 0; x < c.shape.width; ++x)
                if (c.shape.drawnAt(x, y)) {
                    const uint32_t col = c.shape.colours[static_cast<size_t>(y) * c.shape.width + x];
                    const int wx = static_cast<int>((c.x - c.shape.hotX + x) * k) - s.hpos();
                    const int wy = static_cast<int>((c.y - c.shape.hotY + y) * k) - s.vpos();
                    SetPixelV(dc, wx, wy, RGB(col >> 16 & 0xFF, col >> 8 & 0xFF, col & 0xFF));
                }
    }
    EndPaint(hwnd, &ps);
}
