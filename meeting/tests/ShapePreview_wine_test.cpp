// The preview of a stroke under Wine's GDI+: it puts back only the box where
// layer B differs from layer A, and presents only what changed. Each case
// runs the same steps on two pairs of layers, one as the canvas runs them
// and one that copies the whole layer before every step and presents the
// whole layer (the old way), and the pictures must match pixel for pixel.
#include "meeting/ShapePreview_win.h"

#include "core/base/GdiplusSession_win.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr uint32_t kWhite = 0xFFFFFFFF;

// Layers A and B with their preview, and what a window showing them holds.
struct Board {
    Board()
    {
        made = a.Create(kWidth, kHeight, kWhite) && b.Create(kWidth, kHeight, kWhite);
        preview.Reset();
        screen.assign(a.PixelCount(), 0);
    }

    // Brings the layer to the screen as the canvas presents it: only the
    // box the preview names, or the whole layer.
    void Present(const CanvasLayer& layer, bool whole)
    {
        const LayerBox box = whole ? WholeLayer(kWidth, kHeight) : preview.TakeUnpresented();
        if (whole)
            preview.TakeUnpresented();
        for (int y = box.top; y < box.bottom; ++y)
            for (int x = box.left; x < box.right; ++x)
                screen[static_cast<size_t>(y) * kWidth + x] = layer.Pixels()[static_cast<size_t>(y) * kWidth + x];
    }

    CanvasLayer a, b;
    ShapePreview preview{a, b};
    std::vector<uint32_t> screen;
    bool made = false;
};

// Where two pictures differ, for a failure's message; empty when alike.
std::string Difference(const uint32_t* x, const uint32_t* y)
{
    int count = 0, firstX = -1, firstY = -1;
    for (int i = 0; i < kWidth * kHeight; ++i)
        if (x[i] != y[i] && count++ == 0) {
            firstX = i % kWidth;
            firstY = i / kWidth;
        }
    return count ? std::to_string(count) + " pixels, the first at " + std::to_string(firstX) + "," +
                       std::to_string(firstY)
                 : std::string();
}

CTool Tool(int type, int width, int alpha, int32_t foreground, bool fill)
{
    CTool t;
    t.SetType(type);
    t.width = width;
    t.alpha = alpha;
    t.foreground = foreground;
    t.background = 0x3080C0;
    t.backgroundNone = fill ? 0 : 1;
    return t;
}

// A pen segment drawn straight onto layer A, as the pen tool does.
void PenLine(Board& board, const CTool& tool, POINT from, POINT to)
{
    if (const auto pen = MakeToolPen(tool)) {
        Gdiplus::Graphics g(board.a.Image());
        g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
        g.DrawLine(pen.get(), static_cast<int>(from.x), static_cast<int>(from.y), static_cast<int>(to.x),
                   static_cast<int>(to.y));
    }
    board.preview.Touched(StrokeBox(from.x, from.y, to.x, to.y, tool.width));
}

bool IsWhite(uint32_t p)
{
    return p == kWhite;
}

} // namespace

TEST(ShapePreview, ARectangleDraggedFromBigToSmallLeavesNoTrace)
{
    GdiplusSession gdiplus;
    Board board;
    ASSERT_TRUE(board.made);
    const CTool rectangle = Tool(kToolRectangle, 5, 255, 0, false);
    ASSERT_TRUE(board.preview.Step(rectangle, {20, 20}, {300, 220}));
    board.Present(board.b, false);
    ASSERT_FALSE(IsWhite(board.b.Pixels()[120 * kWidth + 300])) << "the big outline is drawn";
    ASSERT_TRUE(board.preview.Step(rectangle, {20, 20}, {60, 50}));
    board.Present(board.b, false);
    for (const POINT p : {POINT{300, 120}, POINT{160, 220}, POINT{302, 222}})
        EXPECT_TRUE(IsWhite(board.b.Pixels()[p.y * kWidth + p.x])) << p.x << "," << p.y << " in the preview";
    EXPECT_FALSE(IsWhite(board.b.Pixels()[35 * kWidth + 60])) << "the small outline is drawn";
    EXPECT_EQ(Difference(board.screen.data(), board.b.Pixels()), "") << "the screen shows the preview";
    board.preview.Commit();
    EXPECT_EQ(Difference(board.a.Pixels(), board.b.Pixels()), "") << "the commit takes the small rectangle";
    EXPECT_TRUE(IsWhite(board.a.Pixels()[120 * kWidth + 300]));
    board.Present(board.a, false);
    EXPECT_EQ(Difference(board.screen.data(), board.a.Pixels()), "");
}

// Strokes of every preview tool, of widths up to 100, partly off the layer,
// with and without fills and pens, mixed with pen segments and clears of
// layer A, commits, abandoned strokes and whole repaints of A: the layers
// and the screen match the old way's after every step.
TEST(ShapePreview, EveryStepGivesThePictureOfAWholeCopy)
{
    GdiplusSession gdiplus;
    Board boxed, whole;
    ASSERT_TRUE(boxed.made && whole.made);
    std::mt19937 random(20240611);
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    auto point = [&] { return POINT{pick(-60, kWidth + 60), pick(-60, kHeight + 60)}; };
    const int widths[] = {0, 1, 2, 5, 15, 40, 100};
    const int types[] = {kToolHighlighter, kToolLine, kToolRectangle, kToolEllipse};
    for (int stroke = 0; stroke < 120; ++stroke) {
        const std::string where = "stroke " + std::to_string(stroke);
        const int action = pick(0, 9);
        if (action == 0) {
            // A pen segment on layer A, shown at once.
            const CTool pen = Tool(kToolPen, widths[pick(0, 6)], pick(1, 255), pick(0, 0xFFFFFF), false);
            const POINT from = point(), to = point();
            PenLine(boxed, pen, from, to);
            PenLine(whole, pen, from, to);
            boxed.Present(boxed.a, false);
            whole.Present(whole.a, true);
        } else if (action == 1) {
            // "Clear All Contents".
            boxed.a.Fill(kWhite);
            boxed.preview.TouchedAll();
            whole.a.Fill(kWhite);
            whole.preview.TouchedAll();
            boxed.Present(boxed.a, false);
            whole.Present(whole.a, true);
        } else {
            CTool tool = Tool(types[pick(0, 3)], widths[pick(0, 6)], pick(1, 255), pick(0, 0xFFFFFF), pick(0, 1));
            tool.foregroundNone = pick(0, 5) == 0;
            POINT from = point();
            const int steps = pick(1, 6);
            for (int s = 0; s < steps; ++s) {
                const POINT to = point();
                whole.preview.TouchedAll();
                ASSERT_TRUE(boxed.preview.Step(tool, from, to));
                ASSERT_TRUE(whole.preview.Step(tool, from, to));
                if (tool.type == kToolHighlighter)
                    from = to;
                boxed.Present(boxed.b, false);
                whole.Present(whole.b, true);
                ASSERT_EQ(Difference(boxed.b.Pixels(), whole.b.Pixels()), "") << where << ", step " << s;
                ASSERT_EQ(Difference(boxed.screen.data(), whole.screen.data()), "") << where << ", step " << s;
            }
            // Most strokes are committed; some end with a tool change.
            if (action != 2) {
                boxed.preview.Commit();
                whole.preview.Commit();
            }
            boxed.preview.EndStroke();
            whole.preview.EndStroke();
            // A window painted whole shows layer A while the screen held B.
            const bool repaint = action == 3;
            boxed.Present(boxed.a, repaint);
            whole.Present(whole.a, true);
        }
        ASSERT_EQ(Difference(boxed.a.Pixels(), whole.a.Pixels()), "") << where << ": layer A";
        ASSERT_EQ(Difference(boxed.screen.data(), whole.screen.data()), "") << where << ": the screen";
    }
}
