// Frame buffers: the block compare, the cache, copies, scaling and grey.
#include "Customer/tests/MemoryScreen.h"
#include "Customer/capture/vncClientBuffer.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Fixture {
    MemoryScreen screen;
    vncClientBuffer buf;
    Fixture(const rfb::PixelFormat& pf, int w, int h) : screen(pf, w, h)
    {
        buf.SetSource(&screen);
        EXPECT_TRUE(buf.CheckBuffer());
    }
    rfb::Region Check(const rfb::Rect& r, rfb::Region* cachedOut = nullptr)
    {
        rfb::Region changed, cached;
        buf.GrabRect(false, r);
        buf.CheckRect(r, changed, cached);
        if (cachedOut)
            *cachedOut = cached;
        return changed;
    }
    rfb::Rect Full() const { return rfb::Rect(0, 0, screen.Info().width, screen.Info().height); }
};

TEST(ClientBuffer, RowsAreDwordAligned)
{
    EXPECT_EQ(DibStride(13, 8), 16u);
    EXPECT_EQ(DibStride(7, 16), 16u);
    EXPECT_EQ(DibStride(5, 32), 20u);
    Fixture f(testframes::Palette8(), 13, 5);
    EXPECT_EQ(f.buf.BytesPerRow(), 16u);
}

// A black screen equals the zeroed back buffer, yet the first compare must
// report all of it, or a viewer never sees black areas.
TEST(ClientBuffer, FirstCompareReportsEverythingEvenBlack)
{
    Fixture f(testframes::Host32(), 100, 70);
    EXPECT_TRUE(f.Check(f.Full()).equals(rfb::Region(f.Full())));
    EXPECT_TRUE(f.Check(f.Full()).is_empty());
}

TEST(ClientBuffer, NarrowRectsReportFromTheDifferingLine)
{
    Fixture f(testframes::Host32(), 64, 64);
    f.Check(f.Full());
    f.screen.frame().setPixel(3, 5, 0xFFFFFF);
    EXPECT_TRUE(f.Check(rfb::Rect(0, 0, 10, 10)).equals(rfb::Region(rfb::Rect(0, 5, 8, 8))));
    f.screen.frame().setPixel(3, 5, 0x0000FF);
    EXPECT_TRUE(f.Check(rfb::Rect(0, 0, 20, 20)).equals(rfb::Region(rfb::Rect(0, 0, 16, 16))));
}

TEST(ClientBuffer, SampledCompareFindsEveryPixelWithinStepCalls)
{
    struct Case {
        int width, step, x;
    } cases[] = {{64, 4, 0}, {13, 8, 12}, {3, 8, 2}, {64, 8, 63}, {20, 2, 19}};
    for (const Case& c : cases) {
        Fixture f(testframes::Host32(), c.width, 8);
        f.buf.SetCompareStep(c.step);
        f.Check(f.Full());
        f.screen.frame().setPixel(c.x, 0, 0xABCDEF);
        bool found = false;
        for (int call = 0; call < c.step && !found; ++call)
            found = !f.Check(f.Full()).is_empty();
        EXPECT_TRUE(found) << "width " << c.width << " step " << c.step << " x " << c.x;
    }
}

TEST(ClientBuffer, MarkStaleReportsUnchangedPixels)
{
    Fixture f(testframes::Host32(), 64, 64);
    f.Check(f.Full());
    f.buf.MarkStale(rfb::Rect(10, 10, 20, 20));
    EXPECT_FALSE(f.Check(f.Full()).is_empty());
    EXPECT_TRUE(f.Check(f.Full()).is_empty());
}

TEST(ClientBuffer, ContentOfTwoFramesAgoIsCached)
{
    Fixture f(testframes::Host32(), 64, 64);
    f.buf.SetCacheEnabled(true);
    ASSERT_TRUE(f.buf.AllocCacheBuffer());
    const testframes::Frame a = testframes::Desktop(testframes::Host32(), 64, 64, 1);
    const testframes::Frame b = testframes::Photo(testframes::Host32(), 64, 64, 2);
    rfb::Region cached;
    f.screen.Paint(a);
    f.Check(f.Full(), &cached);
    f.screen.Paint(b);
    EXPECT_FALSE(f.Check(f.Full(), &cached).is_empty());
    EXPECT_TRUE(cached.is_empty());
    f.screen.Paint(a);
    EXPECT_TRUE(f.Check(f.Full(), &cached).is_empty());
    EXPECT_TRUE(cached.equals(rfb::Region(f.Full())));

    f.buf.SetEncoding9(true);
    f.screen.Paint(b);
    f.Check(f.Full(), &cached);
    f.screen.Paint(a);
    EXPECT_FALSE(f.Check(f.Full(), &cached).is_empty());
    EXPECT_TRUE(cached.is_empty());
}

// After a clear, areas whose content happens to look like any fill pattern
// (black, or uniform lines) are still never reported as cached.
TEST(ClientBuffer, ClearedCacheNeverMatches)
{
    Fixture f(testframes::Host32(), 64, 64);
    f.buf.SetCacheEnabled(true);
    ASSERT_TRUE(f.buf.AllocCacheBuffer());
    testframes::Frame blackish = testframes::MakeFrame(testframes::Host32(), 64, 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            blackish.setPixel(x, y, y * 0x01010101u & 0xFFFFFF);
    const testframes::Frame other = testframes::Photo(testframes::Host32(), 64, 64, 2);
    rfb::Region cached;
    f.screen.Paint(blackish);
    f.Check(f.Full(), &cached);
    f.screen.Paint(other);
    f.Check(f.Full(), &cached);
    f.buf.ClearCache();
    f.screen.Paint(blackish);
    EXPECT_FALSE(f.Check(f.Full(), &cached).is_empty());
    EXPECT_TRUE(cached.is_empty());
}

TEST(ClientBuffer, CopyRectMovesBackPixelsBothWays)
{
    Fixture f(testframes::Host32(), 64, 64);
    f.screen.Paint(testframes::Photo(testframes::Host32(), 64, 64, 3));
    f.Check(f.Full());
    const FrameView v = f.buf.BackView();
    auto px = [&](int x, int y) {
        uint32_t p;
        std::memcpy(&p, v.data + static_cast<size_t>(y) * v.stride + static_cast<size_t>(x) * 4, 4);
        return p;
    };
    const uint32_t before = px(10, 10);
    f.buf.CopyRect(rfb::Rect(10, 15, 40, 45), rfb::Point(0, 5));
    EXPECT_EQ(px(10, 15), before);
    const uint32_t src = px(20, 30);
    f.buf.CopyRect(rfb::Rect(20, 20, 50, 50), rfb::Point(0, -10));
    EXPECT_EQ(px(20, 20), src);
    // Copies that leave the buffer are ignored.
    f.buf.CopyRect(rfb::Rect(50, 50, 70, 70), rfb::Point(5, 5));
}

// Sizes that are not multiples of the scale: cells are whole, reads stay in
// the buffer (ASan checks), the averages are right.
TEST(ClientBuffer, ScalingKeepsToWholeCells)
{
    struct Case {
        int w, h, n;
    } cases[] = {{1366, 20, 3}, {50, 768, 9}, {7, 7, 2}};
    for (const Case& c : cases) {
        Fixture f(testframes::Host32(), c.w, c.h);
        ASSERT_TRUE(f.buf.SetScale(c.n));
        f.screen.Paint(testframes::Photo(testframes::Host32(), c.w, c.h, 4));
        const rfb::Region changed = f.Check(f.Full());
        EXPECT_TRUE(changed.get_bounding_rect().enclosed_by(f.Full()));
        const FrameView v = f.buf.BackView();
        EXPECT_EQ(v.width, c.w / c.n);
        EXPECT_EQ(v.height, c.h / c.n);
    }
}

TEST(ClientBuffer, GreyScaleLevels)
{
    Fixture f(testframes::Host32(), 4, 2);
    f.buf.SetGrey(true);
    ASSERT_TRUE(f.buf.SetScale(2));
    testframes::Frame fr = testframes::MakeFrame(testframes::Host32(), 4, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            fr.setPixel(x, y, 0xFFFFFF);
    f.screen.Paint(fr);
    f.Check(f.Full());
    const FrameView v = f.buf.BackView();
    uint32_t p0, p1;
    std::memcpy(&p0, v.data, 4);
    std::memcpy(&p1, v.data + 4, 4);
    EXPECT_EQ(p0, 0xF0F0F0u);
    EXPECT_EQ(p1, 0x101010u);

    Fixture g(testframes::Host32(), 2, 1);
    g.buf.SetGrey(true);
    testframes::Frame one = testframes::MakeFrame(testframes::Host32(), 2, 1);
    one.setPixel(0, 0, 0x808080);
    g.screen.Paint(one);
    g.Check(g.Full());
    std::memcpy(&p0, g.buf.MainView().data, 4);
    EXPECT_EQ(p0, 0x707070u);
}

TEST(ClientBuffer, GrabRegionCapturesBands)
{
    Fixture f(testframes::Host32(), 100, 100);
    rfb::Region region(rfb::Rect(0, 0, 10, 10));
    region.assign_union(rfb::Region(rfb::Rect(50, 5, 60, 20)));
    region.assign_union(rfb::Region(rfb::Rect(0, 50, 10, 60)));
    f.screen.captures = 0;
    f.buf.GrabRegion(region, rfb::Rect(0, 0, 100, 100));
    EXPECT_EQ(f.screen.captures, 2);
    f.screen.captures = 0;
    f.buf.GrabRegion(region, rfb::Rect(0, 40, 100, 100));
    EXPECT_EQ(f.screen.captures, 1);
}

} // namespace
