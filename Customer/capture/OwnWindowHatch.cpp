#include "Customer/capture/OwnWindowHatch.h"

#include <cstring>

namespace {

constexpr int kCoveringAlpha = 20;

uint32_t PixelOf(const rfb::PixelFormat& f, uint32_t rgb)
{
    const uint32_t r = rgb >> 16 & 255, g = rgb >> 8 & 255, b = rgb & 255;
    return (r * f.redMax / 255) << f.redShift | (g * f.greenMax / 255) << f.greenShift |
           (b * f.blueMax / 255) << f.blueShift;
}

} // namespace

rfb::Region VisibleOwnPart(const rfb::Region& window, const std::vector<WindowAbove>& above, bool layeredCovers)
{
    rfb::Region left = window;
    for (const WindowAbove& w : above) {
        if (!w.visible || w.rect.is_empty())
            continue;
        if (w.layered && !(layeredCovers && w.alpha >= kCoveringAlpha))
            continue;
        left.assign_subtract(rfb::Region(w.rect));
        if (left.is_empty())
            break;
    }
    return left;
}

void HatchRegion(uint8_t* frame, size_t stride, int width, int height, const rfb::PixelFormat& format,
                 const rfb::Region& region)
{
    const int bytes = format.bitsPerPixel / 8;
    if (!frame || !format.trueColour || (bytes != 1 && bytes != 2 && bytes != 4))
        return;
    const uint32_t line = PixelOf(format, kHatchLineRgb), back = PixelOf(format, kHatchBackRgb);
    std::vector<rfb::Rect> rects;
    region.intersect(rfb::Region(rfb::Rect(0, 0, width, height))).get_rects(&rects);
    for (const rfb::Rect& r : rects) {
        for (int y = r.top; y < r.bottom; ++y) {
            uint8_t* row = frame + static_cast<size_t>(y) * stride;
            for (int x = r.left; x < r.right; ++x) {
                const uint32_t v = HatchLineAt(x, y) ? line : back;
                // Little-endian frame memory: the low bytes of the value.
                std::memcpy(row + static_cast<size_t>(x) * bytes, &v, static_cast<size_t>(bytes));
            }
        }
    }
}
