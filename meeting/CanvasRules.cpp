#include "meeting/CanvasRules.h"

#include <algorithm>

int ClampToolWidth(int width)
{
    return std::clamp(width, 1, 100);
}

int ClampFontSize(int size)
{
    return std::clamp(size, 8, 96);
}

int AlphaFromPercent(int percent)
{
    const long long alpha = (static_cast<long long>(percent) * 255 + 50) / 100;
    return static_cast<int>(std::clamp<long long>(alpha, 1, 255));
}

int32_t StoredColour(int32_t colour)
{
    return colour == kEraserMark ? 0 : colour;
}

int ClampScroll(int position, int canvasSize, int page)
{
    const int last = std::max(0, canvasSize - page);
    return std::clamp(position, 0, last);
}

CanvasBox BoxBetween(int x1, int y1, int x2, int y2)
{
    return {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

void ClearEraserMarks(uint32_t* pixels, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if ((pixels[i] & 0x00FFFFFFu) == static_cast<uint32_t>(kEraserMark))
            pixels[i] = 0;
    }
}
