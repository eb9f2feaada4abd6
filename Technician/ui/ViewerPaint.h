#pragma once
// Painting the viewer window: the framebuffer with the annotation layer
// composed over it, at the view's scale and scroll (an area-weighted box
// filter when scaled), black wherever the picture does not reach, then the
// drawn cursor over it. The picture is copied out under the framebuffer lock
// and drawn after releasing it, so the reader never waits on the display.
// On a palette display the 216-colour palette is selected and realised first.
#include "Technician/connection/CursorShape.h"
#include "Technician/connection/ViewScale.h"
#include "Technician/decode/Framebuffer.h"
#include "core/base/AnnotationLayer.h"
#include "core/base/GdiObject_win.h"

#include <windows.h>

#include <cstdint>
#include <vector>

class ViewerPainter {
public:
    // Paints `paint` (window coordinates); without a framebuffer it is black.
    // `layer` may be null.
    void Paint(HDC dc, const RECT& paint, decode::Framebuffer* fb, const viewer::ViewScale& scale,
               const viewer::DrawnCursor& cursor, const AnnotationLayer* layer);
    // The picture of the last paint at its own size, layer included, with the
    // drawn cursor over it: a new bitmap the caller owns. Null when that
    // paint had no picture or the bitmap could not be made.
    HBITMAP CopyFrame(const viewer::DrawnCursor& cursor) const;
    // On a palette display: selects the viewer's palette into `dc` and
    // realises it; *previous gets the palette it replaced. False (nothing
    // done) on a true-colour display.
    bool SelectPaletteInto(HDC dc, bool background, HPALETTE* previous);

private:
    // Copies the framebuffer into the frame surface and composes the layer
    // over it; false when there is no picture to paint.
    bool PrepareFrame(decode::Framebuffer* fb, const AnnotationLayer* layer);
    void ComposeLayer(const AnnotationLayer& layer);
    void PaintFrame(HDC dc, const RECT& paint, const viewer::ViewScale& s, const viewer::DrawnCursor& cursor);

    // The picture at its own size, 32-bit top-down, reused while the size stays.
    GdiObject<HBITMAP> m_frame;
    uint32_t* m_bits = nullptr;
    int m_width = 0;
    int m_height = 0;
    bool m_hasFrame = false;
    std::vector<uint32_t> m_scaled;
    GdiObject<HPALETTE> m_palette;
};

// Fills the rectangle (l, t, r, b) black; nothing when it is empty.
void FillBlack(HDC dc, int l, int t, int r, int b);
