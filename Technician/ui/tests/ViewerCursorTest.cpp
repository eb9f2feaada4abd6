// The presenter's drawn cursor under Wine on Xvfb: drawn over the picture at
// paint time with its mask and hot spot, never in the framebuffer, only once
// the viewer has a position for it (a PointerPos after message 77), and gone
// after a 0 x 0 shape.
#include "Technician/ui/tests/ViewerFixture.h"

#include <gtest/gtest.h>

namespace viewertest {
namespace {

constexpr int kW = 64;
constexpr int kH = 48;
constexpr uint32_t kGreen = 0x00C000;
constexpr uint32_t kRed = 0xFF0000;

// A 6 x 5 shape, hot spot (2, 1); a mask row's bits from the left.
constexpr int kCurW = 6, kCurH = 5, kHotX = 2, kHotY = 1;
const uint8_t kMask[kCurH] = {0xF0, 0xC0, 0xA0, 0x90, 0x88};

bool MaskSet(int x, int y)
{
    return (kMask[y] >> (7 - x)) & 1;
}

int RedPixels(const Picture& shot)
{
    int n = 0;
    for (uint32_t p : shot.pixels)
        n += (p & 0xFFFFFF) == kRed;
    return n;
}

TEST(ViewerCursor, DrawnOverThePictureOnlyWithAPosition)
{
    const std::vector<uint32_t> picture(static_cast<size_t>(kW) * kH, kGreen);
    ScriptedHost host(kW, kH);
    Viewer v;
    v.gui.Options().colourDepth = 0;
    v.gui.Options().display.fitToWindow = false;
    ClientConnection* conn = v.Connect(host.viewerSocket());
    ASSERT_NE(conn, nullptr);
    HWND w = v.gui.m_hwndViewer;
    host.sendPicture(picture);
    ASSERT_TRUE(PumpUntil([&] { return FramebufferIs(*conn, picture); }, 5000));

    // The shape alone: no position yet, so nothing is drawn.
    Script shape;
    shape.update(1).rect(kHotX, kHotY, kCurW, kCurH, -239);
    for (int i = 0; i < kCurW * kCurH; ++i)
        shape.u8(0).u8(0).u8(0xFF).u8(0);  // red, little-endian 32-bit
    for (uint8_t row : kMask)
        shape.u8(row);
    host.send(shape);
    ASSERT_TRUE(PumpUntil([&] { return conn->Cursor().hasShape; }, 3000));
    PumpUntil([] { return false; }, 100);
    Picture shot = Capture(w);
    SavePng(shot, "cursor_without_position");
    EXPECT_EQ(RedPixels(shot), 0);

    // The presenter's desktop is lost: PointerPos now places the cursor.
    Script moved;
    moved.u8(77).update(1).rect(20, 10, 0, 0, -232);
    host.send(moved);
    ASSERT_TRUE(PumpUntil([&] { return conn->Cursor().visible(); }, 3000));
    const bool drawn = PumpUntil(
        [&] {
            shot = Capture(w);
            return RedPixels(shot) > 0;
        },
        2000);
    SavePng(shot, "drawn_cursor");
    ASSERT_TRUE(drawn);
    int maskBits = 0;
    for (int y = 0; y < kCurH; ++y)
        for (int x = 0; x < kCurW; ++x) {
            maskBits += MaskSet(x, y);
            EXPECT_EQ(shot.at(20 - kHotX + x, 10 - kHotY + y), MaskSet(x, y) ? kRed : kGreen) << x << "," << y;
        }
    EXPECT_EQ(RedPixels(shot), maskBits) << "only the mask's pixels";
    EXPECT_TRUE(FramebufferIs(*conn, picture)) << "never in the framebuffer";

    // At 200 % each cursor pixel covers 2 x 2 window pixels.
    ASSERT_EQ(SendMessageW(w, WM_VIEWER_SET_SCALE, 200, 100), 1);
    PumpUntil([] { return false; }, 150);
    shot = Capture(w);
    SavePng(shot, "drawn_cursor_200");
    EXPECT_EQ(RedPixels(shot), 4 * maskBits);
    EXPECT_EQ(shot.at(2 * (20 - kHotX) + 1, 2 * (10 - kHotY) + 1), kRed);
    ASSERT_EQ(SendMessageW(w, WM_VIEWER_SET_SCALE, 100, 100), 1);

    // A 0 x 0 shape removes it.
    Script none;
    none.update(1).rect(0, 0, 0, 0, -239);
    host.send(none);
    ASSERT_TRUE(PumpUntil([&] { return !conn->Cursor().visible(); }, 3000));
    const bool gone = PumpUntil(
        [&] {
            shot = Capture(w);
            return RedPixels(shot) == 0;
        },
        2000);
    SavePng(shot, "cursor_removed");
    EXPECT_TRUE(gone);
    EXPECT_EQ(shot.at(20, 10), kGreen);
}

} // namespace
} // namespace viewertest
