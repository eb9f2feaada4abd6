#pragma once
// The canvas's small rules that do not need a window: the toolbar's value
// limits, the scroll range, the box of a dragged shape and the passes over a
// layer's pixels (each pixel 0xAARRGGBB, premultiplied, as a 32-bit DIB
// holds it in memory).
#include <cstddef>
#include <cstdint>

// The colour the annotation eraser marks its pixels with before they are
// made fully transparent; a user's choice of it is stored as black.
constexpr int32_t kEraserMark = 0x010101;

// Width edit: 0 becomes 1, more than 100 becomes 100.
int ClampToolWidth(int width);
// Typed font size: below 8 becomes 8, above 96 becomes 96.
int ClampFontSize(int size);
// Alpha from the colour dialog's "(1~100)" edit: percent x 255 / 100,
// rounded, held to 1-255.
int AlphaFromPercent(int percent);
// A colour the user chose: the eraser's mark is stored as black.
int32_t StoredColour(int32_t colour);

// A scroll position held within 0 to the canvas size less the page.
int ClampScroll(int position, int canvasSize, int page);

struct CanvasBox {
    int left, top, right, bottom;
};
// The box a rectangle or ellipse dragged between two points covers.
CanvasBox BoxBetween(int x1, int y1, int x2, int y2);

// Every pixel whose colour is the eraser's mark becomes 0 (transparent).
void ClearEraserMarks(uint32_t* pixels, size_t count);
