#include "core/base/WindowFrame_win.h"

#include "core/base/FrameMessages.h"
#include "core/base/LoadResString.h"
#include "core/base/TextConvert.h"
#include "core/base/ThreadMessages.h"

#include <cwchar>

namespace {

struct StatusColours {
    COLORREF ink;  // text and border
    COLORREF fill;
};

StatusColours ColoursOf(int kind)
{
    switch (kind) {
    case STATUS_ERROR: return {RGB(0x66, 0x33, 0x33), RGB(0xFF, 0xCC, 0xCC)};
    case STATUS_WARNING: return {RGB(0x66, 0x66, 0x33), RGB(0xFF, 0xFF, 0xCC)};
    default: return {RGB(0x33, 0x66, 0x33), RGB(0xCC, 0xFF, 0xCC)};
    }
}

} // namespace

FrameBackBuffer::~FrameBackBuffer()
{
    if (!m_dc)
        return;
    SelectObject(m_dc, m_initialBitmap);
    SelectObject(m_dc, m_initialFont);
    if (m_bitmap)
        DeleteObject(m_bitmap);
    DeleteDC(m_dc);
}

bool FrameBackBuffer::Resize(HDC reference, int width, int height)
{
    if (!m_dc) {
        m_dc = CreateCompatibleDC(reference);
        if (!m_dc)
            return false;
        m_initialFont = SelectObject(m_dc, GetStockObject(DEFAULT_GUI_FONT));
    }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP fresh = CreateDIBSection(reference, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!fresh)
        return false;
    // The old bitmap can only be deleted once it is no longer selected.
    HGDIOBJ previous = SelectObject(m_dc, fresh);
    if (!m_initialBitmap)
        m_initialBitmap = previous;
    if (m_bitmap)
        DeleteObject(m_bitmap);
    m_bitmap = fresh;
    return true;
}

CWindowFrame::CWindowFrame(HINSTANCE instance, DWORD mainThreadId)
    : m_instance(instance), m_mainThreadId(mainThreadId)
{
}

CWindowFrame::~CWindowFrame()
{
    DestroyFrame();
    if (m_white)
        DeleteObject(m_white);
    if (m_grey)
        DeleteObject(m_grey);
}

void CWindowFrame::DestroyFrame()
{
    if (m_hwnd) {
        HWND hwnd = m_hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        m_hwnd = nullptr;
        DestroyWindow(hwnd);  // destroys the attached menu and the children
        m_menu = nullptr;
        m_child = nullptr;
    }
    if (m_menu) {
        DestroyMenu(m_menu);
        m_menu = nullptr;
    }
    m_anchored.clear();
}

HWND CWindowFrame::CreateFrameDialog(UINT templateId, bool anchor)
{
    HWND hwnd = CreateDialogParamW(m_instance, MAKEINTRESOURCEW(templateId), nullptr, FrameDialogProc,
                                   reinterpret_cast<LPARAM>(this));
    if (hwnd && anchor) {
        RECT window{};
        GetWindowRect(hwnd, &window);
        m_layout.Attach(hwnd, window.right - window.left, window.bottom - window.top);
    }
    return hwnd;
}

void CWindowFrame::SetStatusText(int kind, const wchar_t* text)
{
    m_statusKind = kind;
    m_statusText.assign(text ? text : L"");
    if (m_statusText.size() > kStatusMax)
        m_statusText.resize(kStatusMax);
    Repaint();
}

void CWindowFrame::SetStatusTextUtf8(int kind, const char* text)
{
    SetStatusText(kind, AnsiToWide(text ? text : "", kCodePageUtf8).c_str());
}

void CWindowFrame::SwapChildDialog(HWND child)
{
    if (!child || child == m_child)
        return;
    HWND old = m_child;
    m_child = child;
    if (old) {
        ShowWindow(old, SW_HIDE);
        DestroyWindow(old);
    }
    ShowWindow(child, SW_SHOW);
}

void CWindowFrame::Repaint()
{
    if (!m_hwnd)
        return;
    PaintFrame();
    InvalidateRect(m_hwnd, nullptr, TRUE);
}

INT_PTR CALLBACK CWindowFrame::FrameDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) {
        auto* frame = reinterpret_cast<CWindowFrame*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
        frame->m_hwnd = hwnd;
        frame->OnInitDialog();
        return TRUE;
    }
    auto* frame = reinterpret_cast<CWindowFrame*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!frame)
        return FALSE;
    return frame->OnMessage(msg, wParam, lParam);
}

INT_PTR CWindowFrame::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    INT_PTR result = 0;
    if (OnFrameMessage(msg, wParam, lParam, result))
        return result;
    switch (msg) {
    case WM_SIZE: OnSize(); return 0;
    case WM_PAINT: OnPaint(); return 0;
    case WM_ERASEBKGND: return TRUE;  // the back buffer covers every pixel
    case WM_CLOSE:
        OnClose();
        StopFlash();
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == kFrameCmdAbout || LOWORD(wParam) == kFrameCmdSettings) {
            PostThreadMessageW(m_mainThreadId,
                               LOWORD(wParam) == kFrameCmdAbout ? PLM_SHOW_ABOUT : PLM_OPEN_OPTIONS,
                               reinterpret_cast<WPARAM>(m_hwnd), 0);
            return TRUE;
        }
        return 0;
    case WM_FRAME_ANCHOR_CHILD:
        OnAnchorChild(reinterpret_cast<HWND>(wParam), static_cast<int>(lParam));
        return TRUE;
    case WM_FRAME_FLASH_START: StartFlash(); return TRUE;
    case WM_FRAME_FLASH_STOP: StopFlash(); return TRUE;
    case WM_TIMER:
        if (wParam == kFlashTimer) {
            FLASHWINFO info{sizeof(info), m_hwnd, FLASHW_TRAY, 1, 250};
            FlashWindowEx(&info);
            return TRUE;
        }
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_ACTIVE || LOWORD(wParam) == WA_CLICKACTIVE)
            StopFlash();
        return 0;
    case WM_NCLBUTTONDOWN:
    case WM_NCRBUTTONDOWN:
    case WM_NCMBUTTONDOWN:
        StopFlash();
        return 0;
    default: return 0;
    }
}

void CWindowFrame::OnInitDialog()
{
    if (m_icon) {
        SendMessageW(m_hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
        SendMessageW(m_hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_icon));
    }
    static ResStringSlot title, settings, help, about, welcome;
    wchar_t caption[128];
    std::swprintf(caption, 128, L"%ls - %ls", LoadResString(title, kFrameStrTitle), kFrameVersion);
    SetWindowTextW(m_hwnd, caption);

    m_menu = LoadMenuW(m_instance, MAKEINTRESOURCEW(kFrameMenuId));
    if (m_menu) {
        SetMenu(m_hwnd, m_menu);
        ModifyMenuW(m_menu, kFrameCmdSettings, MF_BYCOMMAND | MF_STRING, kFrameCmdSettings,
                    LoadResString(settings, kFrameStrSettings));
        HMENU helpMenu = GetSubMenu(m_menu, 1);
        if (helpMenu)
            ModifyMenuW(m_menu, 1, MF_BYPOSITION | MF_STRING | MF_POPUP, reinterpret_cast<UINT_PTR>(helpMenu),
                        LoadResString(help, kFrameStrHelp));
        ModifyMenuW(m_menu, kFrameCmdAbout, MF_BYCOMMAND | MF_STRING, kFrameCmdAbout,
                    LoadResString(about, kFrameStrAbout));
        DrawMenuBar(m_hwnd);
    }
    if (!m_white)
        m_white = CreateSolidBrush(RGB(255, 255, 255));
    if (!m_grey)
        m_grey = CreateSolidBrush(RGB(0x66, 0x66, 0x66));
    OnSize();
    m_statusText = LoadResString(welcome, kFrameStrWelcome);
    PaintFrame();
    PostThreadMessageW(m_mainThreadId, PLM_SET_FOREGROUND_WND, reinterpret_cast<WPARAM>(m_hwnd), 0);
}

void CWindowFrame::OnSize()
{
    RECT client{};
    GetClientRect(m_hwnd, &client);
    HDC dc = GetDC(m_hwnd);
    m_buffer.Resize(dc, client.right + 1, client.bottom + 1);
    ReleaseDC(m_hwnd, dc);
    m_layout.Relayout();
    PaintFrame();
    InvalidateRect(m_hwnd, nullptr, FALSE);
    for (HWND child : m_anchored)
        SendMessageW(child, WM_FRAME_RELAYOUT, 0, 0);
}

void CWindowFrame::OnPaint()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hwnd, &ps);
    PaintFrame();
    if (m_buffer.dc())
        BitBlt(dc, ps.rcPaint.left, ps.rcPaint.top, ps.rcPaint.right - ps.rcPaint.left + 1,
               ps.rcPaint.bottom - ps.rcPaint.top + 1, m_buffer.dc(), ps.rcPaint.left, ps.rcPaint.top, SRCCOPY);
    EndPaint(m_hwnd, &ps);
}

void CWindowFrame::PaintFrame()
{
    HDC dc = m_buffer.dc();
    if (!dc || !m_hwnd)
        return;
    RECT client{};
    GetClientRect(m_hwnd, &client);
    const StatusColours colours = ColoursOf(m_statusKind);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));

    HPEN pen = CreatePen(PS_SOLID, 1, colours.ink);
    HBRUSH fill = CreateSolidBrush(colours.fill);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, fill);
    RoundRect(dc, client.left + 4, client.bottom - 60, client.right - 4, client.bottom - 4, 8, 8);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(fill);
    DeleteObject(pen);

    const int oldMode = SetBkMode(dc, TRANSPARENT);
    const COLORREF oldInk = SetTextColor(dc, colours.ink);
    RECT text{client.left + 12, client.bottom - 56, client.right - 12, client.bottom - 8};
    DrawTextW(dc, m_statusText.c_str(), static_cast<int>(m_statusText.size()), &text, DT_WORDBREAK | DT_NOPREFIX);
    SetTextColor(dc, oldInk);
    SetBkMode(dc, oldMode);
}

void CWindowFrame::OnAnchorChild(HWND child, int flags)
{
    m_anchored.push_back(child);
    RECT r{};
    GetWindowRect(child, &r);
    HDC screen = GetDC(nullptr);
    const int dpiX = GetDeviceCaps(screen, LOGPIXELSX);
    const int dpiY = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    r.right += 16 * dpiX / 96;
    r.bottom += 16 * dpiY / 96;
    MapWindowPoints(nullptr, m_hwnd, reinterpret_cast<POINT*>(&r), 2);
    m_layout.AddControl(child, flags, r);
}

void CWindowFrame::StartFlash()
{
    if (m_hwnd && SetTimer(m_hwnd, kFlashTimer, kFlashPeriodMs, nullptr))
        m_flashing = true;
}

void CWindowFrame::StopFlash()
{
    if (m_hwnd)
        KillTimer(m_hwnd, kFlashTimer);
    m_flashing = false;
}
