#include "Technician/ui/ViewerPaint.h"

#include "Technician/ui/CursorOverlay.h"

#include "Technician/connection/BoxScale.h"
#include "core/base/TopDownBitmap_win.h"

#include <algorithm>
#include <cstring>

namespace {

HBITMAP NewTopDownBitmap(int w, int h, uint32_t** bits)
{
    const BITMAPINFO bi = TopDownBitmapInfo(w, h);
    void* p = nullptr;
    HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
    *bits = bmp ? static_cast<uint32_t*>(p) : nullptr;
    return bmp;
}

// The 6 x 6 x 6 cube of the levels 255, 204, 153, 102, 51 and 0.
HPALETTE NewCubePalette()
{
    constexpr int kLevels = 6;
    constexpr int kEntries = kLevels * kLevels * kLevels;
    struct {
        WORD version;
        WORD count;
        PALETTEENTRY entries[kEntries];
    } log = {0x300, kEntries, {}};
    for (int i = 0; i < kEntries; ++i) {
        const auto level = [](int step) { return static_cast<BYTE>(255 - 51 * step); };
        log.entries[i] = {level(i / 36), level(i / 6 % 6), level(i % 6), 0};
    }
    return CreatePalette(reinterpret_cast<LOGPALETTE*>(&log));
}

} // namespace

void FillBlack(HDC dc, int l, int t, int r, int b)
{
    if (r <= l || b <= t)
        return;
    RECT rc{l, t, r, b};
    FillRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
}

bool ViewerPainter::SelectPaletteInto(HDC dc, bool background, HPALETTE* previous)
{
    if (!(GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE))
        return false;
    if (!m_palette)
        m_palette.Reset(NewCubePalette());
    if (!m_palette)
        return false;
    *previous = SelectPalette(dc, m_palette.get(), background ? TRUE : FALSE);
    RealizePalette(dc);
    return true;
}

void ViewerPainter::Paint(HDC dc, const RECT& paint, decode::Framebuffer* fb, const viewer::ViewScale& s,
                          const viewer::DrawnCursor& cursor, const AnnotationLayer* layer)
{
    HPALETTE previous = nullptr;
    const bool palette = SelectPaletteInto(dc, false, &previous);
    if (PrepareFrame(fb, layer))
        PaintFrame(dc, paint, s, cursor);
    else
        FillBlack(dc, paint.left, paint.top, paint.right, paint.bottom);
    if (palette)
        SelectPalette(dc, previous, TRUE);
}

bool ViewerPainter::PrepareFrame(decode::Framebuffer* fb, const AnnotationLayer* layer)
{
    m_hasFrame = false;
    if (!fb)
        return false;
    {
        // The size is read under the lock, so a resize cannot come between.
        const decode::Framebuffer::View view = fb->view();
        const int w = fb->width(), h = fb->height();
        if (w <= 0 || h <= 0)
            return false;
        if (w != m_width || h != m_height || !m_frame) {
            m_frame.Reset(NewTopDownBitmap(w, h, &m_bits));
            m_width = m_frame ? w : 0;
            m_height = m_frame ? h : 0;
            if (!m_frame)
                return false;
        }
        GdiFlush();
        for (int y = 0; y < h; ++y)
            std::memcpy(m_bits + static_cast<size_t>(y) * w, view.pixels() + static_cast<size_t>(y) * view.stride(),
                        static_cast<size_t>(w) * 4);
    }
    if (layer)
        ComposeLayer(*layer);
    m_hasFrame = true;
    return true;
}

void ViewerPainter::ComposeLayer(const AnnotationLayer& layer)
{
    if (layer.width <= 0 || layer.height <= 0 ||
        layer.pixels.size() < static_cast<size_t>(layer.width) * static_cast<size_t>(layer.height))
        return;
    uint32_t* bits = nullptr;
    GdiObject<HBITMAP> source(NewTopDownBitmap(layer.width, layer.height, &bits));
    if (!source)
        return;
    std::memcpy(bits, layer.pixels.data(), static_cast<size_t>(layer.width) * layer.height * 4);
    MemoryDc src, dst;
    if (!src || !dst)
        return;
    src.Select(source.get());
    dst.Select(m_frame.get());
    // The layer's top-left corner is the picture's; what lies beyond either is left out.
    const int w = std::min(layer.width, m_width), h = std::min(layer.height, m_height);
    const BLENDFUNCTION over{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    AlphaBlend(dst.get(), 0, 0, w, h, src.get(), 0, 0, w, h, over);
    GdiFlush();
}

void ViewerPainter::PaintFrame(HDC dc, const RECT& paint, const viewer::ViewScale& s,
                               const viewer::DrawnCursor& cursor)
{
    const int fbW = m_width, fbH = m_height;
    const bool scaled = s.scaling() && s.numerator() > 0 && s.numerator() != s.denominator();
    const int sw = scaled ? s.scaledWidth() : fbW;
    const int sh = scaled ? s.scaledHeight() : fbH;
    const int showW = std::max(0, sw - s.hpos());
    const int showH = std::max(0, sh - s.vpos());

    const int saved = SaveDC(dc);
    IntersectClipRect(dc, paint.left, paint.top, std::min<int>(paint.right, showW), std::min<int>(paint.bottom, showH));
    if (!scaled) {
        const BITMAPINFO whole = TopDownBitmapInfo(fbW, fbH);
        SetDIBitsToDevice(dc, -s.hpos(), -s.vpos(), static_cast<DWORD>(fbW), static_cast<DWORD>(fbH), 0, 0, 0,
                          static_cast<UINT>(fbH), m_bits, &whole, DIB_RGB_COLORS);
    } else {
        // Only the painted part is scaled, from the picture's own coordinates,
        // so strips painted after a scroll meet without a seam.
        const int w = std::min<int>(paint.right, showW) - paint.left;
        const int h = std::min<int>(paint.bottom, showH) - paint.top;
        if (w > 0 && h > 0) {
            viewer::BoxScale(m_bits, fbW, fbH, sw, sh, paint.left + s.hpos(), paint.top + s.vpos(), w, h, m_scaled);
            const BITMAPINFO part = TopDownBitmapInfo(w, h);
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

HBITMAP ViewerPainter::CopyFrame(const viewer::DrawnCursor& cursor) const
{
    if (!m_hasFrame)
        return nullptr;
    uint32_t* bits = nullptr;
    GdiObject<HBITMAP> copy(NewTopDownBitmap(m_width, m_height, &bits));
    if (!copy)
        return nullptr;
    GdiFlush();
    std::memcpy(bits, m_bits, static_cast<size_t>(m_width) * m_height * 4);
    {
        MemoryDc dc;
        if (!dc)
            return nullptr;
        dc.Select(copy.get());
        DrawCursorOverlay(dc.get(), cursor, 1.0, 1.0, 0, 0);
    }
    GdiFlush();
    return copy.Release();
}
