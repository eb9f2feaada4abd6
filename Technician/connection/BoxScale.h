// The picture at the view's scale for painting: an area-weighted box filter,
// each window pixel the mean of the framebuffer pixels it covers, weighted by
// how much of each it covers. Exact integer weights, so a window area comes
// out the same whichever part of the window is painted (no seams after a
// scroll) and on every platform.
#pragma once

#include <cstdint>
#include <vector>

namespace viewer {

// `src` is srcW x srcH pixels (0x00RRGGBB, rows of srcW). The picture scaled
// to scaledW x scaledH is cut at (x0, y0, w, h) in scaled coordinates into
// `out` (w x h, rows of w); what lies beyond the scaled picture is black.
void BoxScale(const uint32_t* src, int srcW, int srcH, int scaledW, int scaledH, int x0, int y0, int w, int h,
              std::vector<uint32_t>& out);

} // namespace viewer
