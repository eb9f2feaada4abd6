#pragma once
// The preview of a stroke: layer B shows layer A with the highlighter's
// stroke, the line, the rectangle or the ellipse being dragged drawn over it.
// B equals A everywhere but in one box (what the last preview drew and what
// was drawn on either layer since), so a step puts back only that box from A
// before drawing the new shape, and committing the stroke copies only that
// box back: the picture is the one a copy of the whole layer would give, at
// the cost of the shape's own size. Every drawing on either layer is told
// here. The caller serialises the calls with its other uses of the layers.
#include "meeting/CanvasLayer_win.h"
#include "meeting/CanvasMessages.h"
#include "meeting/LayerBox.h"

#include <windows.h>

#include <memory>

namespace Gdiplus {
class GraphicsPath;
class Pen;
class Color;
} // namespace Gdiplus

// ARGB(alpha, colour) of a tool, colour 0x00BBGGRR.
Gdiplus::Color ToolArgb(int alpha, int32_t colour);
// The tool's pen: its width and colour, round caps and joins; null when its
// foreground is none.
std::unique_ptr<Gdiplus::Pen> MakeToolPen(const CTool& tool);

class ShapePreview {
public:
    ShapePreview(CanvasLayer& committed, CanvasLayer& preview);
    ~ShapePreview();
    ShapePreview(const ShapePreview&) = delete;
    ShapePreview& operator=(const ShapePreview&) = delete;

    // Both layers were just made or filled alike.
    void Reset();
    // A layer was drawn on within the box, or anywhere.
    void Touched(const LayerBox& box);
    void TouchedAll();

    // One preview step of tools 3-6 on layer B from `from` to `to`: the
    // highlighter adds the segment to its stroke and draws the whole stroke
    // (so it does not darken where it crosses itself), the line, rectangle
    // and ellipse draw themselves anew. False while the layers are not made.
    bool Step(const CTool& tool, POINT from, POINT to);
    // Layer B made equal to layer A again, for a preview drawn by the
    // caller (then told with Touched); null while the layers are not made.
    CanvasLayer* Restore();
    // Layer A made equal to layer B: the stroke's commit.
    void Commit();
    // The highlighter's stroke is over.
    void EndStroke();

    // Where the screen may differ from either layer since the last call:
    // what presenting must bring to the screen again.
    LayerBox TakeUnpresented();

private:
    void DrawShape(const CTool& tool, POINT from, POINT to);

    CanvasLayer& m_a;
    CanvasLayer& m_b;
    // B may differ from A only here.
    LayerBox m_differ;
    // What changed on either layer since the last presenting.
    LayerBox m_unpresented;
    std::unique_ptr<Gdiplus::GraphicsPath> m_path;
    LayerBox m_pathBox;
};
