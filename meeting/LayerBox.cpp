#include "meeting/LayerBox.h"

#include <algorithm>

namespace {

// Past half the pen's width, anti-aliasing and GDI+'s half-pixel offset
// reach at most a pixel or two further; three keep the box on the safe side.
constexpr int kSmoothingMargin = 3;

} // namespace

LayerBox StrokeBox(int x1, int y1, int x2, int y2, int penWidth)
{
    const int reach = (std::max(penWidth, 1) + 1) / 2 + kSmoothingMargin;
    return {std::min(x1, x2) - reach, std::min(y1, y2) - reach, std::max(x1, x2) + reach + 1,
            std::max(y1, y2) + reach + 1};
}

LayerBox UnionBox(const LayerBox& a, const LayerBox& b)
{
    if (a.Empty())
        return b.Empty() ? LayerBox{} : b;
    if (b.Empty())
        return a;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

LayerBox ClipBox(const LayerBox& box, int width, int height)
{
    const LayerBox clipped = {std::max(box.left, 0), std::max(box.top, 0), std::min(box.right, width),
                              std::min(box.bottom, height)};
    return clipped.Empty() ? LayerBox{} : clipped;
}

LayerBox WholeLayer(int width, int height)
{
    return ClipBox({0, 0, width, height}, width, height);
}
