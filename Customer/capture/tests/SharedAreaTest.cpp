// The shared area's choices, a shared window's life, moved windows as
// copies, the own-window hatch, clipboard text and the companion program's
// change records: the platform-neutral rules, case by case.
#include "Customer/capture/ChangeRecords.h"
#include "rfb/ClipboardText.h"
#include "Customer/capture/OwnWindowHatch.h"
#include "Customer/capture/SharedArea.h"
#include "rfb/tests/TestFormats.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

PointTarget Nothing()
{
    return PointTarget{};
}

PointTarget Desktop(bool primary)
{
    PointTarget t;
    t.kind = PointTarget::Kind::Desktop;
    t.primaryDisplay = primary;
    return t;
}

PointTarget Window(uintptr_t top)
{
    PointTarget t;
    t.kind = PointTarget::Kind::Window;
    t.topLevel = top;
    return t;
}

// Each row is a sequence of SetSW calls from the start state; the last call's
// answer and the state after it.
struct SelectionCase {
    const char* name;
    std::vector<std::pair<int, int>> calls;
    PointTarget under;  // what lies under a point call
    int answer;
    uint8_t selection;
    bool onlyFirst;
    uintptr_t window;
};

TEST(DisplaySelection, ViewerChoices)
{
    const SelectionCase cases[] = {
        {"(0,0) selects the second display", {{0, 0}}, Nothing(), 0, kDisplaySecond, false, 0},
        {"(0,0) again goes back to the first", {{0, 0}, {0, 0}}, Nothing(), 0, kDisplayFirst, true, 0},
        {"a display code with all displays selected is refused", {{6, 6}, {0, 0}}, Nothing(), 1, kDisplayAll, false, 0},
        {"codes -4..5 all toggle", {{-4, 5}}, Nothing(), 0, kDisplaySecond, false, 0},
        {"(6,6) from the first selects all", {{6, 6}}, Nothing(), 0, kDisplayAll, false, 0},
        {"(6,6) from the second selects all", {{0, 0}, {6, 6}}, Nothing(), 0, kDisplayAll, false, 0},
        {"(6,6) from all goes back to the first", {{6, 6}, {6, 6}}, Nothing(), 0, kDisplayFirst, true, 0},
        {"a point on a window shares its top-level window", {{300, 200}}, Window(0x4242), 0, kDisplayFirst, true, 0x4242},
        {"a point on nothing shares no window", {{300, 200}}, Nothing(), 0, kDisplayFirst, true, 0},
        {"a point on the desktop of the second display", {{2000, 10}}, Desktop(false), 0, kDisplaySecond, false, 0},
        {"a point on the desktop of the primary display", {{0, 0}, {300, 10}}, Desktop(true), 0, kDisplayFirst, true, 0},
        {"a display code ends window sharing", {{300, 200}, {0, 0}}, Window(0x77), 0, kDisplaySecond, false, 0},
        {"(7,6) is a point, not a code", {{7, 6}}, Window(0x99), 0, kDisplayFirst, true, 0x99},
    };
    for (const SelectionCase& c : cases) {
        DisplaySelection s;
        int answer = -1;
        int resolved = 0;
        for (const auto& xy : c.calls)
            answer = s.SetSW(xy.first, xy.second, [&] {
                ++resolved;
                return c.under;
            });
        EXPECT_EQ(answer, c.answer) << c.name;
        EXPECT_EQ(s.Requested(), c.selection) << c.name;
        EXPECT_EQ(s.OnlyFirstDisplay(), c.onlyFirst) << c.name;
        EXPECT_EQ(s.SharedWindow(), c.window) << c.name;
        EXPECT_EQ(s.SingleWindow(), c.window != 0) << c.name;
    }
}

WindowState Shown(const rfb::Rect& r)
{
    WindowState w;
    w.exists = w.visible = w.haveRect = true;
    w.rect = r;
    return w;
}

TEST(SharedWindowTracker, WhenAWindowStopsBeingShared)
{
    const rfb::Rect screen(0, 0, 1024, 768);
    const rfb::Rect taskbar(0, 738, 1024, 768);
    WindowState gone;
    WindowState iconic = Shown(rfb::Rect(10, 10, 400, 300));
    iconic.iconic = true;
    WindowState hidden = Shown(rfb::Rect(10, 10, 400, 300));
    hidden.visible = false;
    WindowState noRect = Shown(rfb::Rect(10, 10, 400, 300));
    noRect.haveRect = false;
    struct Case {
        const char* name;
        WindowState w;
        bool keep;
        rfb::Rect rect;
    } cases[] = {
        {"a window inside the screen", Shown(rfb::Rect(100, 50, 500, 350)), true, rfb::Rect(100, 50, 500, 350)},
        {"closed", gone, false, screen},
        {"minimised", iconic, false, screen},
        {"hidden", hidden, false, screen},
        {"no rectangle", noRect, false, screen},
        {"the whole screen (maximised)", Shown(screen), false, screen},
        {"maximised with borders past the edges", Shown(rfb::Rect(-8, -8, 1032, 776)), false, screen},
        {"127 pixels wide", Shown(rfb::Rect(100, 100, 227, 400)), false, screen},
        {"128 pixels wide", Shown(rfb::Rect(100, 100, 228, 400)), true, rfb::Rect(100, 100, 228, 400)},
        {"63 pixels high", Shown(rfb::Rect(100, 100, 400, 163)), false, screen},
        {"partly off the right edge", Shown(rfb::Rect(900, 100, 1200, 400)), false, screen},
        {"partly above the top", Shown(rfb::Rect(100, -5, 400, 300)), false, screen},
        {"the taskbar itself", Shown(rfb::Rect(0, 638, 1024, 768)), true, rfb::Rect(0, 638, 1024, 768)},
    };
    for (const Case& c : cases) {
        SharedWindowTracker t;
        const SharedWindowCheck r = t.Check(c.w, screen, taskbar);
        EXPECT_EQ(r.keep, c.keep) << c.name;
        EXPECT_EQ(r.rect, c.rect) << c.name;
    }
}

TEST(SharedWindowTracker, SizeChangesAreReportedOnce)
{
    const rfb::Rect screen(0, 0, 1024, 768);
    SharedWindowTracker t;
    EXPECT_TRUE(t.Check(Shown(rfb::Rect(10, 10, 410, 310)), screen, rfb::Rect()).sizeChanged);
    EXPECT_FALSE(t.Check(Shown(rfb::Rect(10, 10, 410, 310)), screen, rfb::Rect()).sizeChanged);
    EXPECT_FALSE(t.Check(Shown(rfb::Rect(50, 60, 450, 360)), screen, rfb::Rect()).sizeChanged) << "a move only";
    EXPECT_TRUE(t.Check(Shown(rfb::Rect(50, 60, 460, 360)), screen, rfb::Rect()).sizeChanged);
    // After an end, sharing the same size again is a new size for the viewer.
    t.Check(WindowState(), screen, rfb::Rect());
    EXPECT_TRUE(t.Check(Shown(rfb::Rect(50, 60, 460, 360)), screen, rfb::Rect()).sizeChanged);
}

TEST(OwnWindowHatch, VisiblePartLessWindowsAbove)
{
    const rfb::Region own(rfb::Rect(100, 100, 300, 300));
    WindowAbove opaque{rfb::Rect(200, 0, 400, 200)};
    WindowAbove hidden{rfb::Rect(100, 100, 300, 300), false};
    WindowAbove layeredSolid{rfb::Rect(100, 250, 300, 300), true, true, 255};
    WindowAbove layeredFaint{rfb::Rect(100, 250, 300, 300), true, true, 19};
    struct Case {
        const char* name;
        std::vector<WindowAbove> above;
        bool layeredCovers;
        uint64_t area;
    } cases[] = {
        {"nothing above", {}, false, 200u * 200u},
        {"an opaque window over a quarter", {opaque}, false, 200u * 200u - 100u * 100u},
        {"a hidden window covers nothing", {hidden}, false, 200u * 200u},
        {"layered windows do not cover without the probe", {layeredSolid}, false, 200u * 200u},
        {"a layered window of alpha 255 covers with it", {layeredSolid}, true, 200u * 150u},
        {"alpha below 20 never covers", {layeredFaint}, true, 200u * 200u},
        {"both", {opaque, layeredSolid}, true, 200u * 150u - 100u * 100u},
    };
    for (const Case& c : cases) {
        const rfb::Region left = VisibleOwnPart(own, c.above, c.layeredCovers);
        std::vector<rfb::Rect> rects;
        left.get_rects(&rects);
        uint64_t area = 0;
        for (const rfb::Rect& r : rects)
            area += r.area();
        EXPECT_EQ(area, c.area) << c.name;
    }
}

TEST(OwnWindowHatch, FillsExactlyTheRegionInTheFramesFormat)
{
    const rfb::PixelFormat f = testformats::TrueColour(32, 255, 255, 255, 16, 8, 0);
    const int w = 40, h = 30;
    const size_t stride = w * 4 + 8;  // wider than the row
    std::vector<uint8_t> frame(stride * h, 0xAB);
    rfb::Region region(rfb::Rect(5, 5, 20, 12));
    region.assign_union(rfb::Region(rfb::Rect(30, 20, 60, 40)));  // past the frame: clipped
    HatchRegion(frame.data(), stride, w, h, f, region);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint32_t v;
            std::memcpy(&v, &frame[y * stride + x * 4], 4);
            const bool inside = (x >= 5 && x < 20 && y >= 5 && y < 12) || (x >= 30 && y >= 20);
            if (!inside)
                ASSERT_EQ(v, 0xABABABABu) << x << "," << y;
            else
                ASSERT_EQ(v, HatchLineAt(x, y) ? 0x808080u : 0u) << x << "," << y;
        }
        ASSERT_EQ(frame[y * stride + w * 4], 0xAB) << "row padding untouched";
    }
    // 16-bit 5-6-5: grey 0x80 of 255 is (15, 31, 15) in its channels.
    const rfb::PixelFormat f16 = testformats::TrueColour(16, 31, 63, 31, 11, 5, 0);
    std::vector<uint8_t> small(8 * 2 * 2, 0xFF);
    HatchRegion(small.data(), 16, 8, 2, f16, rfb::Region(rfb::Rect(0, 0, 8, 2)));
    uint16_t p0;
    std::memcpy(&p0, small.data(), 2);
    EXPECT_EQ(p0, (15u << 11) | (31u << 5) | 15u);
}

TEST(ClipboardText, HostToViewer)
{
    struct Case {
        const char* name;
        std::string bytes;
        std::string text;
    } cases[] = {
        {"line ends lose their carriage returns", std::string("a\r\nb\0", 5), "a\nb"},
        {"stops at the first zero", std::string("ab\0cd", 5), "ab"},
        {"no terminator: bounded by the block's size", "abc", "abc"},
        {"empty block", "", ""},
    };
    for (const Case& c : cases) {
        std::string out = "unchanged";
        ASSERT_TRUE(HostClipToViewer(c.bytes.data(), c.bytes.size(), out)) << c.name;
        EXPECT_EQ(out, c.text) << c.name;
    }
    std::string big(kMaxHostClipText + 1, 'x');
    std::string out = "unchanged";
    EXPECT_FALSE(HostClipToViewer(big.data(), big.size(), out));
    EXPECT_EQ(out, "unchanged");
    big[kMaxHostClipText] = '\0';  // exactly the limit before the zero
    EXPECT_TRUE(HostClipToViewer(big.data(), big.size(), out));
    EXPECT_EQ(out.size(), kMaxHostClipText);
}

TEST(ClipboardText, ViewerToHost)
{
    EXPECT_EQ(ViewerClipToHost("a\nb"), "a\r\nb");
    EXPECT_EQ(ViewerClipToHost("\n\n"), "\r\n\r\n");
    EXPECT_EQ(ViewerClipToHost("a\r\nb"), "a\r\nb") << "no second carriage return";
    EXPECT_EQ(ViewerClipToHost(""), "");
}

TEST(ChangeRecords, Parsing)
{
    struct Case {
        const char* name;
        std::string data;
        std::vector<rfb::Rect> rects;
    } cases[] = {
        {"one record", "0010 0020 0110 0120 ", {{10, 20, 110, 120}}},
        {"the fifth character of a field is not read", "0010x0020y0110z0120!", {{10, 20, 110, 120}}},
        {"two records", "0001 0002 0003 0004 0100 0100 0200 0300 ", {{1, 2, 3, 4}, {100, 100, 200, 300}}},
        {"a trailing partial record is dropped", "0010 0020 0110 0120 0001 00", {{10, 20, 110, 120}}},
        {"shorter than one record", "0010 0020 0110 012", {}},
        {"a non-digit drops its record only", "0010 00a0 0110 0120 0001 0002 0003 0004 ", {{1, 2, 3, 4}}},
        {"a sign is not a digit", "-010 0020 0110 0120 ", {}},
        {"a space inside a number", " 10  0020 0110 0120 ", {}},
        {"an empty rectangle is dropped", "0100 0020 0100 0120 ", {}},
        {"zero bytes inside", std::string("0010\0" "0020 0110 0120 ", 20), {{10, 20, 110, 120}}},
    };
    for (const Case& c : cases) {
        const std::vector<rfb::Rect> got = ParseChangeRecords(c.data.data(), c.data.size());
        ASSERT_EQ(got.size(), c.rects.size()) << c.name;
        for (size_t i = 0; i < got.size(); ++i)
            EXPECT_EQ(got[i], c.rects[i]) << c.name;
    }
    EXPECT_TRUE(ParseChangeRecords(nullptr, 40).empty());
}

TEST(ChangeRecords, ManyRecords)
{
    const size_t n = 100000;
    std::string data;
    data.reserve(n * kChangeRecordSize);
    for (size_t i = 0; i < n; ++i)
        data += "0000 0000 9999 9999 ";
    const std::vector<rfb::Rect> got = ParseChangeRecords(data.data(), data.size());
    ASSERT_EQ(got.size(), n);
    EXPECT_EQ(got.back(), rfb::Rect(0, 0, 9999, 9999));
}

} // namespace
