// The presenter's cursor shape as read from an XCursor or RichCursor
// pseudo-rectangle, and the drawn cursor's state. The drawn cursor is never
// written into the framebuffer: painting draws it over the picture.
#pragma once

#include "Technician/decode/PixelColours.h"
#include "rfb/InStream.h"

#include <cstdint>
#include <vector>

namespace viewer {

// Larger shapes are read in bounded pieces and discarded.
constexpr int kMaxCursorSide = 256;

struct CursorShape {
    int width = 0;
    int height = 0;
    int hotX = 0;
    int hotY = 0;
    // 0x00RRGGBB per pixel, row after row.
    std::vector<uint32_t> colours;
    // One byte per pixel: 1 where the shape is drawn.
    std::vector<uint8_t> mask;

    bool empty() const { return width == 0 || height == 0; }
    bool drawnAt(int x, int y) const { return mask[static_cast<size_t>(y) * width + x] != 0; }
};

// Reads the shape data that follows an XCursor (rich false) or RichCursor
// header of w x h with hot spot (hotX, hotY): exactly the bytes the shape
// holds. Returns false (bytes consumed, nothing kept) when the shape is too
// large to keep; an empty shape reads nothing and is returned empty.
bool ReadCursorShape(rdr::InStream& in, bool rich, int w, int h, int hotX, int hotY,
                     const decode::PixelColours& colours, CursorShape& out);

// Bytes of the shape data after the header.
size_t CursorDataSize(bool rich, int w, int h, size_t bytesPerPixel);

struct DrawnCursor {
    CursorShape shape;
    bool hasShape = false;
    // Set once this viewer knows where the presenter's pointer is.
    bool hasPosition = false;
    int x = 0;
    int y = 0;
    bool visible() const { return hasShape && hasPosition && !shape.empty(); }
};

} // namespace viewer
