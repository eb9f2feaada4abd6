// The program's own windows in the shared picture: the part of each that is
// visible (less what lies above it) is covered by a hatch, so viewers see
// where a window of the sharing program is without seeing its content.
// Platform-neutral: the Win32 side (OwnWindowMask_win.cpp) lists the windows.
#pragma once

#include "rfb/PixelFormat.h"
#include "rfb/Region.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// A window above an own window in Z order.
struct WindowAbove {
    rfb::Rect rect;
    bool visible = true;
    bool layered = false;
    int alpha = 255;  // layered windows only
};

// The part of an own window's region that shows: less every visible window
// above it that is opaque. A layered window covers only when layeredCovers
// (the program's probe flag) is set and its alpha is 20 or more.
rfb::Region VisibleOwnPart(const rfb::Region& window, const std::vector<WindowAbove>& above, bool layeredCovers);

// The hatch's colours: grey lines of a diagonal cross on black.
constexpr uint32_t kHatchLineRgb = 0x808080;
constexpr uint32_t kHatchBackRgb = 0x000000;
// True where the diagonal cross draws a line; a pattern of 8 x 8 pixels tied
// to screen coordinates, so a hatch grabbed twice reads the same.
inline bool HatchLineAt(int x, int y)
{
    return ((x - y) & 7) == 0 || ((x + y) & 7) == 0;
}

// Fills region (bitmap coordinates, clipped to the frame) in a true-colour
// frame of 8, 16 or 32 bits per pixel, rows stride bytes apart.
void HatchRegion(uint8_t* frame, size_t stride, int width, int height, const rfb::PixelFormat& format,
                 const rfb::Region& region);
