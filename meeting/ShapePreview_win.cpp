#include "meeting/ShapePreview_win.h"

#include "meeting/CanvasRules.h"

#include <algorithm>
#include <objidl.h>
#include <gdiplus.h>

Gdiplus::Color ToolArgb(int alpha, int32_t colour)
{
    return Gdiplus::Color(static_cast<BYTE>(std::clamp(alpha, 0, 255)), GetRValue(colour), GetGValue(colour),
                          GetBValue(colour));
}

std::unique_ptr<Gdiplus::Pen> MakeToolPen(const CTool& tool)
{
    if (tool.foregroundNone)
        return nullptr;
    auto pen = std::make_unique<Gdiplus::Pen>(ToolArgb(tool.alpha, tool.foreground),
                                              static_cast<Gdiplus::REAL>(tool.width));
    pen->SetStartCap(Gdiplus::LineCapRound);
    pen->SetEndCap(Gdiplus::LineCapRound);
    pen->SetLineJoin(Gdiplus::LineJoinRound);
    return pen;
}

ShapePreview::ShapePreview(CanvasLayer& committed, CanvasLayer& preview) : m_a(committed), m_b(preview) {}

ShapePreview::~ShapePreview() = default;

void ShapePreview::Reset()
{
    m_differ = {};
    m_unpresented = WholeLayer(m_a.Width(), m_a.Height());
    EndStroke();
}

void ShapePreview::Touched(const LayerBox& box)
{
    const LayerBox b = ClipBox(box, m_a.Width(), m_a.Height());
    m_differ = UnionBox(m_differ, b);
    m_unpresented = UnionBox(m_unpresented, b);
}

void ShapePreview::TouchedAll()
{
    Touched(WholeLayer(m_a.Width(), m_a.Height()));
}

CanvasLayer* ShapePreview::Restore()
{
    if (!m_a.Ready() || !m_b.Ready())
        return nullptr;
    m_b.CopyFrom(m_a, m_differ);
    m_unpresented = UnionBox(m_unpresented, m_differ);
    m_differ = {};
    return &m_b;
}

void ShapePreview::Commit()
{
    m_a.CopyFrom(m_b, m_differ);
    m_unpresented = UnionBox(m_unpresented, m_differ);
    m_differ = {};
}

void ShapePreview::EndStroke()
{
    m_path.reset();
    m_pathBox = {};
}

LayerBox ShapePreview::TakeUnpresented()
{
    // Layer B differs from A in m_differ, so whichever the screen showed
    // last, that box may differ from the one presented now.
    const LayerBox box = UnionBox(m_unpresented, m_differ);
    m_unpresented = {};
    return box;
}

bool ShapePreview::Step(const CTool& tool, POINT from, POINT to)
{
    if (!Restore())
        return false;
    DrawShape(tool, from, to);
    return true;
}

void ShapePreview::DrawShape(const CTool& tool, POINT from, POINT to)
{
    const int x1 = static_cast<int>(from.x), y1 = static_cast<int>(from.y);
    const int x2 = static_cast<int>(to.x), y2 = static_cast<int>(to.y);
    const std::unique_ptr<Gdiplus::Pen> pen = MakeToolPen(tool);
    Gdiplus::Graphics g(m_b.Image());
    g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    if (tool.type == kToolHighlighter) {
        if (!m_path)
            m_path = std::make_unique<Gdiplus::GraphicsPath>();
        m_path->AddLine(x1, y1, x2, y2);
        m_pathBox = UnionBox(m_pathBox, StrokeBox(x1, y1, x2, y2, tool.width));
        if (pen) {
            g.DrawPath(pen.get(), m_path.get());
            Touched(m_pathBox);
        }
    } else if (tool.type == kToolLine) {
        if (pen) {
            g.DrawLine(pen.get(), x1, y1, x2, y2);
            Touched(StrokeBox(x1, y1, x2, y2, tool.width));
        }
    } else if (tool.type == kToolRectangle || tool.type == kToolEllipse) {
        const CanvasBox b = BoxBetween(x1, y1, x2, y2);
        const Gdiplus::Rect box(b.left, b.top, b.right - b.left, b.bottom - b.top);
        if (!tool.backgroundNone) {
            Gdiplus::SolidBrush brush(ToolArgb(tool.alpha, tool.background));
            if (tool.type == kToolRectangle)
                g.FillRectangle(&brush, box);
            else
                g.FillEllipse(&brush, box);
        }
        if (pen) {
            if (tool.type == kToolRectangle)
                g.DrawRectangle(pen.get(), box);
            else
                g.DrawEllipse(pen.get(), box);
        }
        if (pen || !tool.backgroundNone)
            Touched(StrokeBox(b.left, b.top, b.right, b.bottom, pen ? tool.width : 1));
    }
}
