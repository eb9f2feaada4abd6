#include "Technician/ui/ViewerPaint.h"

#include "Technician/ui/CursorOverlay.h"

#include "Technician/connection/BoxScale.h"

#include <algorithm>

namespace {

// A top-down 32-bit picture of w x h.
BITMAPINFO TopDown(int w, int h)
{
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    return bi;
}

} // namespace

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

    const int saved = SaveDC(dc);
    IntersectClipRect(dc, paint.left, paint.top, std::min<int>(paint.right, showW), std::min<int>(paint.bottom, showH));
    if (!scaled) {
        const BITMAPINFO whole = TopDown(fbW, fbH);
        SetDIBitsToDevice(dc, -s.hpos(), -s.vpos(), static_cast<DWORD>(fbW), static_cast<DWORD>(fbH), 0, 0, 0,
                          static_cast<UINT>(fbH), m_copy.data(), &whole, DIB_RGB_COLORS);
    } else {
        // Only the painted part is scaled, from the picture's own coordinates,
        // so strips painted after a scroll meet without a seam.
        const int w = std::min<int>(paint.right, showW) - paint.left;
        const int h = std::min<int>(paint.bottom, showH) - paint.top;
        if (w > 0 && h > 0) {
            viewer::BoxScale(m_copy.data(), fbW, fbH, sw, sh, paint.left + s.hpos(), paint.top + s.vpos(), w, h,
                             m_scaled);
            const BITMAPINFO part = TopDown(w, h);
            SetDIBitsToDevice(dc, paint.left, paint.top, static_cast<DWORD>(w), static_cast<DWORD>(h), 0, 0, 0,
                              static_cast<UINT>(h), m_scaled.data(), &part, DIB_RGB_COLORS);
        }
    }
    // The cursor stays within the picture, as on the presenter's screen.
    DrawCursorOverlay(dc, cursor, static_cast<double>(sw) / fbW, static_cast<double>(sh) / fbH, s.hpos(), s.vpos());
    RestoreDC(dc, saved);
    FillBlack(dc, std::max<int>(paint.left, showW), paint.top, paint.right, paint.bottom);
    FillBlack(dc, paint.left, std::max<int>(paint.top, showH), std::min<int>(paint.right, showW), paint.bottom);
}
