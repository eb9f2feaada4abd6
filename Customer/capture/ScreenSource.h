// What the frame buffers need of the screen: its size and pixel format, and
// a way to copy a rectangle of it into memory. The desktop's GDI capture is
// one (GdiScreen_win.cpp); tests use a frame in memory.
#pragma once

#include "rfb/PixelFormat.h"
#include "rfb/Rect.h"

#include <cstddef>
#include <cstdint>

struct ScreenInfo {
    int width = 0;
    int height = 0;
    rfb::PixelFormat format;
    // Where the captured area's top-left corner lies on the virtual screen.
    int originX = 0;
    int originY = 0;
};

// Bytes per row of a bottom-up or top-down DIB: rows are DWORD-aligned.
inline size_t DibStride(int width, int bitsPerPixel)
{
    return (static_cast<size_t>(width) * static_cast<size_t>(bitsPerPixel) + 31) / 32 * 4;
}

class ScreenSource {
public:
    virtual ~ScreenSource() = default;
    virtual ScreenInfo Info() const = 0;
    // The source's own pixel memory when it keeps the whole screen there (a DIB
    // section, DibStride rows, top-down); null when it copies into the caller's.
    virtual uint8_t* Bits() = 0;
    // Brings r of the screen into dest (the whole screen's buffer, rows stride
    // bytes apart); dest is Bits() when the source has its own memory.
    virtual bool CaptureRect(const rfb::Rect& r, uint8_t* dest, size_t stride) = 0;
};
