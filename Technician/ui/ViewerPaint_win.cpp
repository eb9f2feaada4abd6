#include "Technician/ui/ViewerPaint.h"

#include "Technician/ui/CursorOverlay.h"

#include <algorithm>

void FillBlack(HDC dc, int l, int t, int r, int b)
{
    if (r <= l || b <= t)
        return;
    RECT rc{l, t, r, b};
    FillRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
}

void ViewerPainter::Paint(HDC dc, const RECT& paint, decode::Framebuffer* fb,
                          const viewer::ViewScale& s, const viewer::DrawnCursor& cursor)
{
    if (!fb || fb->width() <= 0 || fb->height() <= 0) {
        FillBlack(dc, paint.left, paint.top, paint.right, paint.bottom);
        return;
    }
    const int fbW = fb->width(), fbH = fb->height();
    {
        const decode::Framebuffer::View view = fb->view();
        m_copy.assign(view.pixels(), view.pixels() + static_cast<size_t>(fbW) * fbH);
    }
    const bool scaled = s.scaling() && s.numerator() > 0 && s.numerator() != s.denominator();
    const int sw = scaled ? s.scaledWidth() : fbW;
    const int sh = scaled ? s.scaledHeight() : fbH;
    const int showW = std::max(0, sw - s.hpos());
    const int showH = std::max(0, sh - s.vpos());

    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = fbW;
    bi.bmiHeader.biHeight = -fbH;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, paint.left, paint.top, std::min<int>(paint.right, showW), std::min<int>(paint.bottom, showH));
    if (!scaled) {
        SetDIBitsToDevice(dc, -s.hpos(), -s.vpos(), static_cast<DWORD>(fbW), static_cast<DWORD>(fbH), 0, 0, 0,
                          static_cast<UINT>(fbH), m_copy.data(), &bi, DIB_RGB_COLORS);
    } else {
        SetStretchBltMode(dc, HALFTONE);
        SetBrushOrgEx(dc, 0, 0, nullptr);
        StretchDIBits(dc, -s.hpos(), -s.vpos(), sw, sh, 0, 0, fbW, fbH, m_copy.data(), &bi, DIB_RGB_COLORS,
                      SRCCOPY);
    }
    // The cursor stays within the picture, as on the presenter's screen.
    DrawCursorOverlay(dc, cursor, s);
    RestoreDC(dc, saved);
    FillBlack(dc, std::max<int>(paint.left, showW), paint.top, paint.right, paint.bottom);
    FillBlack(dc, paint.left, std::max<int>(paint.top, showH), std::min<int>(paint.right, showW), paint.bottom);
}
