#pragma once
// Painting the viewer window: the framebuffer at the view's scale and scroll
// (an area-weighted box filter when scaled), black wherever the picture does not reach, then
// the drawn cursor over it. The picture is copied out under the framebuffer
// lock and drawn after releasing it, so the reader never waits on the display.
#include "Technician/connection/CursorShape.h"
#include "Technician/connection/ViewScale.h"
#include "Technician/decode/Framebuffer.h"

#include <windows.h>

#include <cstdint>
#include <vector>

class ViewerPainter {
public:
    // Paints `paint` (window coordinates); without a framebuffer it is black.
    void Paint(HDC dc, const RECT& paint, decode::Framebuffer* fb,
               const viewer::ViewScale& scale, const viewer::DrawnCursor& cursor);

private:
    std::vector<uint32_t> m_copy;
    std::vector<uint32_t> m_scaled;
};

// Fills the rectangle (l, t, r, b) black; nothing when it is empty.
void FillBlack(HDC dc, int l, int t, int r, int b);
