#pragma once
// The presenter's cursor drawn over the painted picture, never into the
// framebuffer: each pixel of the shape's mask at the cursor position less its
// hot spot, scaled and scrolled as the picture is.
#include "Technician/connection/CursorShape.h"

#include <windows.h>

// Draws a visible cursor into the window DC (nothing for one without a shape
// or position) at kx, ky window pixels per framebuffer pixel, scrolled by
// (hpos, vpos).
void DrawCursorOverlay(HDC dc, const viewer::DrawnCursor& cursor, double kx, double ky, int hpos, int vpos);
