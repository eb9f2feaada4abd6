#include "Technician/ui/CursorOverlay.h"

#include <algorithm>
#include <cmath>

namespace {

// The window column (or row) where framebuffer column v starts.
int WindowStart(int v, double k, int scroll)
{
    return static_cast<int>(std::floor(v * k)) - scroll;
}

} // namespace

void DrawCursorOverlay(HDC dc, const viewer::DrawnCursor& c, double kx, double ky, int hpos, int vpos)
{
    if (!c.visible())
        return;
    const int left = c.x - c.shape.hotX;
    const int top = c.y - c.shape.hotY;
    for (int y = 0; y < c.shape.height; ++y) {
        const int y0 = WindowStart(top + y, ky, vpos);
        const int y1 = std::max(y0 + 1, WindowStart(top + y + 1, ky, vpos));
        for (int x = 0; x < c.shape.width; ++x) {
            if (!c.shape.drawnAt(x, y))
                continue;
            const uint32_t col = c.shape.colours[static_cast<size_t>(y) * c.shape.width + x];
            // Palette-relative: a palette display takes the nearest entry of the
            // viewer's palette.
            const COLORREF ref = PALETTERGB(col >> 16 & 0xFF, col >> 8 & 0xFF, col & 0xFF);
            const int x0 = WindowStart(left + x, kx, hpos);
            const int x1 = std::max(x0 + 1, WindowStart(left + x + 1, kx, hpos));
            for (int wy = y0; wy < y1; ++wy)
                for (int wx = x0; wx < x1; ++wx)
                    SetPixelV(dc, wx, wy, ref);
        }
    }
}
