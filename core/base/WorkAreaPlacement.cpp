#include "core/base/WorkAreaPlacement.h"

#include <algorithm>

PlacementRect CenteredInWorkArea(const PlacementRect& work, int width, int height)
{
    int workW = work.right - work.left;
    int workH = work.bottom - work.top;
    int w = std::min(width, workW);
    int h = std::min(height, workH);
    int left = work.left + (workW - w) / 2;
    int top = work.top + (workH - h) / 2;
    return {left, top, left + w, top + h};
}
