#pragma once
// A box of a layer's pixels (columns left to right - 1, rows top to bottom -
// 1): where a drawing step may have changed a layer, so that only that part
// is copied between the layers or brought to the screen.
struct LayerBox {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    bool Empty() const { return right <= left || bottom <= top; }
    int Width() const { return Empty() ? 0 : right - left; }
    int Height() const { return Empty() ? 0 : bottom - top; }
};

// Every pixel an anti-aliased stroke with round caps and joins between the
// two points may touch, with a pen of `penWidth` (a width below 1 draws
// one pixel wide).
LayerBox StrokeBox(int x1, int y1, int x2, int y2, int penWidth);
// The smallest box holding both; an empty box adds nothing.
LayerBox UnionBox(const LayerBox& a, const LayerBox& b);
// The part of the box inside a layer of the size; empty when none is.
LayerBox ClipBox(const LayerBox& box, int width, int height);
// A whole layer of the size.
LayerBox WholeLayer(int width, int height);
