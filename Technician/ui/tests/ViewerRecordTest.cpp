// What painting adds to the picture under Wine on Xvfb: the annotation layer
// composed over it, the frame copies handed to the recorder (each a new
// bitmap its receiver deletes, equal to the painted picture with the drawn
// cursor and the layer), and the 216-colour palette on a palette display.
#include "Technician/ui/tests/ViewerFixture.h"
#include "core/base/GdiObject_win.h"
#include "core/base/ThreadMessages.h"
#include "tests/support/WindowTest_win.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace viewertest {
namespace {

constexpr int kW = 64;
constexpr int kH = 48;
constexpr uint32_t kGreen = 0x00C000;
constexpr uint32_t kRed = 0xFF0000;

// A red 3 x 3 cursor, hot spot (1, 1), placed at (20, 10).
void ShowCursorAt20x10(ScriptedHost& host, ClientConnection& conn)
{
    Script s;
    s.update(1).rect(1, 1, 3, 3, -239);
    for (int i = 0; i < 9; ++i)
        s.u8(0).u8(0).u8(0xFF).u8(0);
    for (int row = 0; row < 3; ++row)
        s.u8(0xE0);
    s.u8(77).update(1).rect(20, 10, 0, 0, -232);
    host.send(s);
    PumpUntil([&] { return conn.Cursor().visible(); }, 3000);
}

// Rows 30-33: blue at half alpha (premultiplied); rows 36-39, columns 0-31:
// opaque yellow; the rest transparent.
std::shared_ptr<const AnnotationLayer> StrokeLayer()
{
    auto layer = std::make_shared<AnnotationLayer>();
    layer->width = kW;
    layer->height = kH;
    layer->pixels.assign(static_cast<size_t>(kW) * kH, 0);
    for (int y = 30; y < 34; ++y)
        for (int x = 0; x < kW; ++x)
            layer->pixels[static_cast<size_t>(y) * kW + x] = 0x80000080;
    for (int y = 36; y < 40; ++y)
        for (int x = 0; x < 32; ++x)
            layer->pixels[static_cast<size_t>(y) * kW + x] = 0xFFFFFF00;
    return layer;
}

// The frames the viewer posted to this (the main) thread since the last call.
std::vector<HBITMAP> TakeFrames()
{
    std::vector<HBITMAP> frames;
    MSG m;
    while (PeekMessageW(&m, reinterpret_cast<HWND>(-1), PLM_RECORD_FRAME, PLM_RECORD_FRAME, PM_REMOVE))
        frames.push_back(reinterpret_cast<HBITMAP>(m.wParam));
    return frames;
}

void Repaint(HWND w)
{
    InvalidateRect(w, nullptr, FALSE);
    UpdateWindow(w);
}

bool Near(uint32_t got, uint32_t want, int slack)
{
    for (int shift : {0, 8, 16})
        if (std::abs(static_cast<int>(got >> shift & 0xFF) - static_cast<int>(want >> shift & 0xFF)) > slack)
            return false;
    return true;
}

struct Session {
    explicit Session(RecordingMeeting& meeting) : v(420, 300, &meeting)
    {
        v.gui.Options().colourDepth = 0;
        v.gui.Options().display.fitToWindow = false;
        conn = v.Connect(host.viewerSocket());
        if (!conn)
            return;
        host.sendPicture(picture);
        PumpUntil([&] { return FramebufferIs(*conn, picture); }, 5000);
    }
    bool ready() { return conn && FramebufferIs(*conn, picture); }

    std::vector<uint32_t> picture = std::vector<uint32_t>(static_cast<size_t>(kW) * kH, kGreen);
    ScriptedHost host{kW, kH};
    Viewer v;
    ClientConnection* conn = nullptr;
};

TEST(ViewerAnnotation, LayerComposedOverThePictureNeverIntoIt)
{
    RecordingMeeting meeting;
    meeting.layer = StrokeLayer();
    Session s(meeting);
    ASSERT_TRUE(s.ready());
    HWND w = s.v.gui.m_hwndViewer;
    Repaint(w);
    Picture shot = Capture(w);
    SavePng(shot, "annotation_layer");
    // Transparent: the picture; half-alpha blue: blue plus half the green;
    // opaque yellow: the stroke alone.
    EXPECT_EQ(shot.at(5, 5), kGreen);
    EXPECT_TRUE(Near(shot.at(10, 31), 0x006080, 2)) << std::hex << shot.at(10, 31);
    EXPECT_EQ(shot.at(10, 37), 0xFFFF00u);
    EXPECT_EQ(shot.at(40, 37), kGreen);
    EXPECT_TRUE(FramebufferIs(*s.conn, s.picture));

    // Scaled with the picture: at 200 % the stroke covers twice the rows.
    ASSERT_EQ(SendMessageW(w, WM_VIEWER_SET_SCALE, 200, 100), 1);
    PumpUntil([] { return false; }, 150);
    shot = Capture(w);
    SavePng(shot, "annotation_layer_200");
    EXPECT_EQ(shot.at(20, 2 * 36 + 1), 0xFFFF00u);
    EXPECT_EQ(shot.at(20, 2 * 40 + 1), kGreen);
    EXPECT_EQ(shot.at(70, 2 * 37), kGreen);

    // A true-colour display has no palette to realise.
    EXPECT_EQ(SendMessageW(w, WM_QUERYNEWPALETTE, 0, 0), FALSE);

    // Without a layer the picture is plain again.
    meeting.layer.reset();
    Repaint(w);
    EXPECT_EQ(Capture(w).at(20, 2 * 37), kGreen);
    EXPECT_TRUE(TakeFrames().empty()) << "nothing for the recorder while it does not record";
}

TEST(ViewerRecording, EachPaintPostsACopyOfThePaintedPictureWithCursorAndLayer)
{
    RecordingMeeting meeting;
    meeting.layer = StrokeLayer();
    Session s(meeting);
    ASSERT_TRUE(s.ready());
    ShowCursorAt20x10(s.host, *s.conn);
    HWND w = s.v.gui.m_hwndViewer;
    PumpUntil([] { return false; }, 100);
    ASSERT_TRUE(TakeFrames().empty());

    meeting.recording = true;
    Repaint(w);
    const Picture shot = Capture(w);
    SavePng(shot, "recorded_paint");
    std::vector<HBITMAP> frames = TakeFrames();
    ASSERT_EQ(frames.size(), 1u);
    GdiObject<HBITMAP> frame(frames[0]);
    const Picture copy = Read(frame.get());
    SavePng(copy, "recorded_copy");
    ASSERT_EQ(copy.width, kW);
    ASSERT_EQ(copy.height, kH);
    int differ = 0;
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            differ += copy.at(x, y) != shot.at(x, y);
    EXPECT_EQ(differ, 0);
    EXPECT_EQ(copy.at(20, 10), kRed) << "the drawn cursor";
    EXPECT_EQ(copy.at(10, 37), 0xFFFF00u) << "the layer";
    EXPECT_TRUE(FramebufferIs(*s.conn, s.picture));

    // The copy is the receiver's: the next paint makes a new one and leaves
    // the first as it was.
    Repaint(w);
    frames = TakeFrames();
    ASSERT_EQ(frames.size(), 1u);
    GdiObject<HBITMAP> second(frames[0]);
    EXPECT_NE(second.get(), frame.get());
    EXPECT_EQ(Read(frame.get()).pixels, copy.pixels);

    // Not recording: nothing posted.
    meeting.recording = false;
    Repaint(w);
    EXPECT_TRUE(TakeFrames().empty());
}

TEST(ViewerRecording, AThousandRecordedPaintsLeaveTheGdiObjectCountSteady)
{
    RecordingMeeting meeting;
    meeting.recording = true;
    meeting.layer = StrokeLayer();
    Session s(meeting);
    ASSERT_TRUE(s.ready());
    ShowCursorAt20x10(s.host, *s.conn);
    HWND w = s.v.gui.m_hwndViewer;
    // Warm up: the surfaces painting keeps are made by the first paints.
    for (int i = 0; i < 5; ++i) {
        Repaint(w);
        for (HBITMAP f : TakeFrames())
            DeleteGdiObject(f);
    }
    const unsigned before = wintest::GdiObjectCount();
    int posted = 0;
    for (int i = 0; i < 1000; ++i) {
        Repaint(w);
        for (HBITMAP f : TakeFrames()) {
            posted += GetObjectType(f) == OBJ_BITMAP;
            DeleteGdiObject(f);
        }
    }
    const unsigned after = wintest::GdiObjectCount();
    EXPECT_EQ(posted, 1000);
    EXPECT_GT(before, 0u);
    EXPECT_LE(after, before + 2) << before << " -> " << after;
}

// A paint inside a modal loop (here the frame's keyboard move) posts no copy:
// the loop would drop it and the bitmap would never be deleted.
struct InsideMoveLoop {
    static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD)
    {
        KillTimer(nullptr, id);
        Repaint(viewer);
        MSG m;
        posted = PeekMessageW(&m, reinterpret_cast<HWND>(-1), PLM_RECORD_FRAME, PLM_RECORD_FRAME, PM_NOREMOVE) != 0;
        painted = true;
        PostMessageW(frame, WM_KEYDOWN, VK_ESCAPE, 0);
    }
    static HWND viewer, frame;
    static bool painted, posted;
};
HWND InsideMoveLoop::viewer, InsideMoveLoop::frame;
bool InsideMoveLoop::painted, InsideMoveLoop::posted;

TEST(ViewerRecording, NoCopyFromAPaintInsideAModalLoop)
{
    RecordingMeeting meeting;
    meeting.recording = true;
    Session s(meeting);
    ASSERT_TRUE(s.ready());
    PumpUntil([] { return false; }, 100);
    for (HBITMAP f : TakeFrames())
        DeleteGdiObject(f);
    InsideMoveLoop::viewer = s.v.gui.m_hwndViewer;
    InsideMoveLoop::frame = s.v.gui.m_hwndFrame;
    SetForegroundWindow(InsideMoveLoop::frame);
    SetTimer(nullptr, 0, 50, InsideMoveLoop::Tick);
    SendMessageW(InsideMoveLoop::frame, WM_SYSCOMMAND, SC_MOVE, 0);
    ASSERT_TRUE(InsideMoveLoop::painted) << "the move loop ran the timer";
    EXPECT_FALSE(InsideMoveLoop::posted);

    // Out of the loop, painting posts again.
    Repaint(InsideMoveLoop::viewer);
    std::vector<HBITMAP> frames = TakeFrames();
    EXPECT_EQ(frames.size(), 1u);
    for (HBITMAP f : frames)
        DeleteGdiObject(f);
}

// Runs only where the screen is palette-based (the 8-bit display run).
TEST(ViewerPalette, PaintingRealisesTheCubePaletteAndThePictureShows)
{
    HDC screen = GetDC(nullptr);
    const bool paletteDisplay = (GetDeviceCaps(screen, RASTERCAPS) & RC_PALETTE) != 0;
    ReleaseDC(nullptr, screen);
    if (!paletteDisplay)
        GTEST_SKIP() << "a true-colour display";

    // Four quarters in colours of the cube that the system's static colours lack.
    const uint32_t quarter[4] = {0x3366CC, 0x99CC33, 0xCC3399, 0x663300};
    // How many of the quarters' colours the system palette holds.
    auto inSystemPalette = [&quarter] {
        HDC dc = GetDC(nullptr);
        PALETTEENTRY entries[256] = {};
        const UINT n = GetSystemPaletteEntries(dc, 0, 256, entries);
        ReleaseDC(nullptr, dc);
        int found = 0;
        for (uint32_t c : quarter)
            for (UINT i = 0; i < n; ++i)
                if (RGB(c >> 16, c >> 8 & 0xFF, c & 0xFF) == RGB(entries[i].peRed, entries[i].peGreen, entries[i].peBlue)) {
                    ++found;
                    break;
                }
        return found;
    };
    // Before the viewer's first paint.
    const int before = inSystemPalette();
    RecordingMeeting meeting;
    Session s(meeting);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            s.picture[static_cast<size_t>(y) * kW + x] = quarter[(y >= kH / 2) * 2 + (x >= kW / 2)];
    ASSERT_NE(s.conn, nullptr);
    s.host.sendPicture(s.picture);
    ASSERT_TRUE(PumpUntil([&] { return FramebufferIs(*s.conn, s.picture); }, 5000));
    HWND w = s.v.gui.m_hwndViewer;

    Repaint(w);
    EXPECT_EQ(SendMessageW(w, WM_QUERYNEWPALETTE, 0, 0), TRUE);
    PumpUntil([] { return false; }, 100);
    // Painting realised the viewer's palette: the system palette now holds
    // the cube's entries.
    EXPECT_LT(before, 4);
    EXPECT_EQ(inSystemPalette(), 4);

    // The picture shows. Wine's 8-bit X driver reads the screen back through
    // its own colour cells, so each quarter comes back as a near colour, not
    // the exact entry.
    const Picture shot = Capture(w);
    SavePng(shot, "palette_display");
    const POINT at[4] = {{10, 10}, {50, 10}, {10, 40}, {50, 40}};
    for (int q = 0; q < 4; ++q) {
        const uint32_t got = shot.at(at[q].x, at[q].y);
        EXPECT_TRUE(Near(got, quarter[q], 32)) << q << ": " << std::hex << got << " for " << quarter[q];
        for (int other = 0; other < q; ++other)
            EXPECT_NE(got, shot.at(at[other].x, at[other].y));
    }
    EXPECT_EQ(shot.at(100, 10), 0u) << "black beyond the picture";
}

} // namespace
} // namespace viewertest
