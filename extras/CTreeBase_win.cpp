#include "extras/CTreeBase_win.h"

#include <windowsx.h>

#include <algorithm>
#include <string>

CTreeBase::~CTreeBase()
{
    if (m_hwnd && IsWindow(m_hwnd)) {
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
        DestroyWindow(m_hwnd);
    }
}

bool CTreeBase::CreateTreeWindow(const wchar_t* className, HWND parent, const RECT& rect, const wchar_t* title)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = className;
    RegisterClassExW(&wc);  // a second panel finds it registered

    HDC screen = GetDC(nullptr);
    LOGFONTW lf{};
    lf.lfHeight = -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72);
    lf.lfCharSet = DEFAULT_CHARSET;
    wcscpy_s(lf.lfFaceName, L"Arial Unicode MS");
    m_font.Reset(CreateFontIndirectW(&lf));
    HGDIOBJ old = SelectObject(screen, m_font.get());
    SIZE x{};
    GetTextExtentPoint32W(screen, L"X", 1, &x);
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    m_rowHeight = x.cy + 4;

    m_hwnd = CreateWindowExW(0, className, title, WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_CLIPSIBLINGS, rect.left,
                             rect.top, rect.right - rect.left, rect.bottom - rect.top, parent, nullptr, instance, this);
    return m_hwnd != nullptr;
}

void CTreeBase::Repaint()
{
    if (!m_hwnd)
        return;
    InvalidateRect(m_hwnd, nullptr, FALSE);
    UpdateWindow(m_hwnd);
}

int CTreeBase::TextHeight(HDC dc, const std::wstring& text, int width) const
{
    RECT r{0, 0, std::max(width, 1), 0};
    HGDIOBJ old = SelectObject(dc, m_font.get());
    DrawTextW(dc, text.empty() ? L" " : text.c_str(), -1, &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL);
    SelectObject(dc, old);
    return std::max<int>(r.bottom - r.top, m_rowHeight - 4) + 4;
}

void CTreeBase::DrawRowText(HDC dc, const std::wstring& text, RECT rect, COLORREF colour) const
{
    HGDIOBJ old = SelectObject(dc, m_font.get());
    SetTextColor(dc, colour);
    SetBkMode(dc, TRANSPARENT);
    rect.top += 2;
    DrawTextW(dc, text.c_str(), -1, &rect, DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL);
    SelectObject(dc, old);
}

void CTreeBase::Paint()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hwnd, &ps);
    RECT client;
    GetClientRect(m_hwnd, &client);
    const int width = std::max<int>(client.right, 1);
    const int height = std::max<int>(client.bottom, 1);
    {
        MemoryDc memory(dc);
        GdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(dc, width, height));
        if (memory && bitmap) {
            memory.Select(bitmap.get());
            GdiObject<HBRUSH> background(CreateSolidBrush(kBackground));
            RECT all{0, 0, width, height};
            FillRect(memory.get(), &all, background.get());
            int total = DrawItems(memory.get(), width);
            DrawEdge(memory.get(), &all, EDGE_SUNKEN, BF_RECT);
            BitBlt(dc, 0, 0, width, height, memory.get(), 0, 0, SRCCOPY);
            m_total = total;
        }
    }
    EndPaint(m_hwnd, &ps);
    UpdateScrollBar(height);
}

void CTreeBase::UpdateScrollBar(int height)
{
    int maxScroll = std::max(0, m_total - height);
    if (m_scroll > maxScroll) {
        m_scroll = maxScroll;
        InvalidateRect(m_hwnd, nullptr, FALSE);
    }
    SCROLLINFO si{sizeof(si), SIF_RANGE | SIF_PAGE | SIF_POS, 0, std::max(m_total - 1, 0),
                  static_cast<UINT>(height), m_scroll, 0};
    SetScrollInfo(m_hwnd, SB_VERT, &si, TRUE);
}

void CTreeBase::OnScroll(WPARAM wParam)
{
    RECT client;
    GetClientRect(m_hwnd, &client);
    int page = std::max<int>(client.bottom - m_rowHeight, m_rowHeight);
    int to = m_scroll;
    switch (LOWORD(wParam)) {
    case SB_LINEUP: to -= m_rowHeight; break;
    case SB_LINEDOWN: to += m_rowHeight; break;
    case SB_PAGEUP: to -= page; break;
    case SB_PAGEDOWN: to += page; break;
    case SB_TOP: to = 0; break;
    case SB_BOTTOM: to = m_total; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
        SCROLLINFO si{};
        si.cbSize = sizeof(si);
        si.fMask = SIF_TRACKPOS;
        GetScrollInfo(m_hwnd, SB_VERT, &si);
        to = si.nTrackPos;
        break;
    }
    default: return;
    }
    to = std::clamp(to, 0, std::max(0, m_total - static_cast<int>(client.bottom)));
    if (to == m_scroll)
        return;
    m_scroll = to;
    Repaint();
}

LRESULT CTreeBase::OnOtherMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(m_hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK CTreeBase::WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* self = static_cast<CTreeBase*>(cs->lpCreateParams);
        self->m_hwnd = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<CTreeBase*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    switch (msg) {
    case WM_PAINT: self->Paint(); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_VSCROLL: self->OnScroll(wParam); return 0;
    case WM_MOUSEWHEEL: {
        // Three lines a notch, as scroll messages.
        int notches = GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA;
        for (int i = 0; i < std::abs(notches) * 3; ++i)
            PostMessageW(hwnd, WM_VSCROLL, notches > 0 ? SB_LINEUP : SB_LINEDOWN, 0);
        return 0;
    }
    case WM_LBUTTONDOWN: self->OnClick(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}); return 0;
    case WM_LBUTTONDBLCLK: self->OnDoubleClick(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}); return 0;
    default: return self->OnOtherMessage(msg, wParam, lParam);
    }
}
