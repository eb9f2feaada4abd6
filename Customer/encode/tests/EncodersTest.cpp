// Each encoder's output is decoded by the independent test decoder and must
// rebuild the source frame pixel for pixel, for every viewer format the
// translation serves.
#include "rfb/RfbProto.h"
#include "Customer/tests/RfbTestDecoder.h"
#include "Customer/tests/TestFrames.h"
#include "Customer/tests/ViewerPixels.h"
#include "Customer/encode/vncEncodeHexT.h"
#include "Customer/encode/vncEncodeZRLE.h"
#include "Customer/encode/vncEncoder.h"
#include "rfb/Exception.h"
#include "rfb/MemOutStream.h"
#include "rfb/tests/TestFormats.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using testformats::Make;
using testframes::Expected;
using testframes::Frame;
using testframes::ToTest;
using testframes::View;

namespace {

struct ViewerFormat {
    const char* name;
    rfb::PixelFormat pf;
};

const ViewerFormat kViewerFormats[] = {
    {"32le888", Make(32, 24, false, true, 255, 255, 255, 16, 8, 0)},
    {"32be888", Make(32, 24, true, true, 255, 255, 255, 16, 8, 0)},
    {"32le888high", Make(32, 24, false, true, 255, 255, 255, 24, 16, 8)},
    {"32be888high", Make(32, 24, true, true, 255, 255, 255, 24, 16, 8)},
    {"32le_bgr", Make(32, 24, false, true, 255, 255, 255, 0, 8, 16)},
    {"32le101010", Make(32, 32, false, true, 1023, 1023, 1023, 20, 10, 0)},
    // Channels that fit both the low and the high three bytes.
    {"32be555mid", Make(32, 15, true, true, 31, 31, 31, 18, 13, 8)},
    {"32le555mid", Make(32, 15, false, true, 31, 31, 31, 18, 13, 8)},
    {"32le888depth32", Make(32, 32, false, true, 255, 255, 255, 16, 8, 0)},
    {"16le565", Make(16, 16, false, true, 31, 63, 31, 11, 5, 0)},
    {"16be565", Make(16, 16, true, true, 31, 63, 31, 11, 5, 0)},
    {"16le555", Make(16, 15, false, true, 31, 31, 31, 10, 5, 0)},
    {"8bgr233", Make(8, 8, false, true, 7, 7, 3, 0, 3, 6)},
    {"8rgb332", Make(8, 8, false, true, 7, 7, 3, 5, 2, 0)},
    {"8colourmap", Make(8, 8, false, false, 0, 0, 0, 0, 0, 0)},
};

std::unique_ptr<vncEncoder> MakeEncoder(int encoding)
{
    switch (encoding) {
    case rfbproto::kEncHextile:
        return std::make_unique<vncEncodeHexT>();
    case rfbproto::kEncZRLE:
        return std::make_unique<vncEncodeZRLE>();
    default:
        return std::make_unique<vncEncoder>();
    }
}

void ExpectRebuilt(const Frame& src, const rfb::PixelFormat& viewer, int encoding, const std::vector<rfb::Rect>& rects)
{
    auto enc = MakeEncoder(encoding);
    enc->SetLocalFormat(src.format, src.width, src.height);
    enc->SetRemoteFormat(viewer);
    ASSERT_TRUE(enc->SetTranslateFunction());
    rdr::MemOutStream out;
    for (const rfb::Rect& r : rects) {
        const size_t before = out.length();
        const size_t n = enc->EncodeRect(View(src), out, r);
        EXPECT_EQ(out.length() - before, n);
    }
    testrfb::Decoder dec(ToTest(viewer), src.width, src.height);
    testrfb::MemorySource in(out.data(), out.length());
    for (const rfb::Rect& r : rects) {
        const testrfb::RectInfo info = dec.readRect(in);
        EXPECT_EQ(info.x, r.left);
        EXPECT_EQ(info.y, r.top);
        EXPECT_EQ(info.w, r.width());
        EXPECT_EQ(info.h, r.height());
        EXPECT_EQ(info.encoding, encoding);
    }
    EXPECT_EQ(in.remaining(), 0u);
    int mismatches = 0;
    for (const rfb::Rect& r : rects)
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                if (dec.pixel(x, y) != Expected(src.pixel(x, y), src.format, viewer) && ++mismatches < 5)
                    ADD_FAILURE() << "pixel " << x << "," << y << " is " << dec.pixel(x, y) << " want "
                                  << Expected(src.pixel(x, y), src.format, viewer);
    EXPECT_EQ(mismatches, 0);
}

struct Case {
    int encoding;
    bool host16;
    const ViewerFormat* viewer;
};

class EncoderRoundTrip : public ::testing::TestWithParam<Case> {};

TEST_P(EncoderRoundTrip, DesktopAndPhotoFramesAreRebuiltExactly)
{
    const Case& c = GetParam();
    const rfb::PixelFormat host = c.host16 ? testframes::Host16() : testframes::Host32();
    const std::vector<rfb::Rect> rects = {
        rfb::Rect(0, 0, 203, 141),  rfb::Rect(17, 5, 37, 25),  rfb::Rect(64, 64, 65, 65),
        rfb::Rect(150, 90, 203, 141), rfb::Rect(3, 100, 131, 101), rfb::Rect(200, 0, 201, 141),
    };
    ExpectRebuilt(testframes::Desktop(host, 203, 141, 3), c.viewer->pf, c.encoding, rects);
    ExpectRebuilt(testframes::Photo(host, 203, 141, 5), c.viewer->pf, c.encoding, rects);
}

std::vector<Case> AllCases()
{
    std::vector<Case> cases;
    for (int enc : {rfbproto::kEncRaw, rfbproto::kEncHextile, rfbproto::kEncZRLE})
        for (bool host16 : {false, true})
            for (const ViewerFormat& v : kViewerFormats)
                cases.push_back(Case{enc, host16, &v});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(AllFormats, EncoderRoundTrip, ::testing::ValuesIn(AllCases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             const char* e = info.param.encoding == 0 ? "Raw" : info.param.encoding == 5 ? "Hextile" : "ZRLE";
                             return std::string(e) + (info.param.host16 ? "_host16_" : "_host32_") +
                                    info.param.viewer->name;
                         });

// Noise tiles are the worst case of Hextile: each goes raw, one
// sub-encoding byte per tile plus its pixels.
TEST(Hextile, NoiseTilesGoRaw)
{
    Frame f = testframes::MakeFrame(testframes::Host32(), 64, 64);
    uint32_t s = 12345;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            s = s * 1103515245 + 12345;
            f.setPixel(x, y, s >> 8 & 0xFFFFFF);
        }
    vncEncodeHexT enc;
    enc.SetLocalFormat(f.format, 64, 64);
    enc.SetRemoteFormat(testframes::Host32());
    ASSERT_TRUE(enc.SetTranslateFunction());
    rdr::MemOutStream out;
    EXPECT_EQ(enc.EncodeRect(View(f), out, rfb::Rect(0, 0, 64, 64)), 12u + 16u * (1u + 256u * 4u));
}

// A 4 x 2 tile at 8 bits per pixel with three lone foreground pixels: its
// sub-rectangles (6 bytes) are below the 8 raw pixel bytes, but with the
// sub-encoding, colours and count the tile would take 10 bytes, more than raw.
TEST(Hextile, TileCountsItsWholeEncodingAgainstRaw)
{
    Frame f = testframes::MakeFrame(testframes::Host32(), 4, 2);
    for (auto xy : {std::pair<int, int>{0, 0}, {2, 0}, {1, 1}})
        f.setPixel(xy.first, xy.second, 0xFFFFFF);
    vncEncodeHexT enc;
    enc.SetLocalFormat(f.format, 4, 2);
    enc.SetRemoteFormat(Make(8, 8, false, true, 7, 7, 3, 0, 3, 6));
    ASSERT_TRUE(enc.SetTranslateFunction());
    rdr::MemOutStream out;
    const size_t n = enc.EncodeRect(View(f), out, rfb::Rect(0, 0, 4, 2));
    EXPECT_EQ(n, 12u + 1u + 8u);
    EXPECT_EQ(out.data()[12], rfbproto::kHextileRaw);
}

TEST(Hextile, TwentyByTwentyIsFourTiles)
{
    Frame f = testframes::Photo(testframes::Host16(), 20, 20);
    vncEncodeHexT enc;
    enc.SetLocalFormat(f.format, 20, 20);
    enc.SetRemoteFormat(testframes::Host16());
    ASSERT_TRUE(enc.SetTranslateFunction());
    rdr::MemOutStream out;
    enc.EncodeRect(View(f), out, rfb::Rect(0, 0, 20, 20));
    // Photo tiles go raw: 4 sub-encoding bytes plus every pixel.
    EXPECT_EQ(out.length(), 12u + 4u + 20u * 20u * 2u);
}

TEST(Zrle, SolidTileAndSharedStream)
{
    Frame f = testframes::MakeFrame(testframes::Host32(), 128, 64);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 128; ++x)
            f.setPixel(x, y, x < 64 ? 0x123456 : static_cast<uint32_t>(x * 77 + y * 131) & 0xFFFFFF);
    vncEncodeZRLE enc;
    enc.SetLocalFormat(f.format, 128, 64);
    enc.SetRemoteFormat(testframes::Host32());
    ASSERT_TRUE(enc.SetTranslateFunction());
    rdr::MemOutStream out;
    const size_t first = enc.EncodeRect(View(f), out, rfb::Rect(64, 0, 128, 64));
    const size_t second = enc.EncodeRect(View(f), out, rfb::Rect(64, 0, 128, 64));
    EXPECT_LT(second, first);
    const size_t solid = enc.EncodeRect(View(f), out, rfb::Rect(0, 0, 64, 64));
    testrfb::Decoder dec(ToTest(testframes::Host32()), 128, 64);
    testrfb::MemorySource in(out.data(), out.length());
    for (int i = 0; i < 3; ++i)
        dec.readRect(in);
    EXPECT_EQ(dec.pixel(10, 10), 0x123456u);
    EXPECT_EQ(dec.pixel(100, 30), static_cast<uint32_t>(100 * 77 + 30 * 131) & 0xFFFFFF);
    EXPECT_LT(solid, 40u);
}

TEST(Zrle, CompactPixelRule)
{
    EXPECT_EQ(ZrleCompactPixelRule(Make(32, 24, false, true, 255, 255, 255, 16, 8, 0)), ZrleCPixel::Low3);
    EXPECT_EQ(ZrleCompactPixelRule(Make(32, 24, true, true, 255, 255, 255, 16, 8, 0)), ZrleCPixel::High3);
    EXPECT_EQ(ZrleCompactPixelRule(Make(32, 24, false, true, 255, 255, 255, 24, 16, 8)), ZrleCPixel::High3);
    EXPECT_EQ(ZrleCompactPixelRule(Make(32, 24, true, true, 255, 255, 255, 24, 16, 8)), ZrleCPixel::Low3);
    EXPECT_EQ(ZrleCompactPixelRule(Make(32, 32, false, true, 1023, 1023, 1023, 20, 10, 0)), ZrleCPixel::Full);
}

TEST(Translation, UnsupportedViewerFormatsAreRefused)
{
    vncEncoder enc;
    enc.SetLocalFormat(testframes::Host32(), 10, 10);
    enc.SetRemoteFormat(Make(24, 24, false, true, 255, 255, 255, 16, 8, 0));
    EXPECT_FALSE(enc.SetTranslateFunction());
    enc.SetRemoteFormat(Make(16, 16, false, false, 0, 0, 0, 0, 0, 0));
    EXPECT_FALSE(enc.SetTranslateFunction());
    enc.SetRemoteFormat(Make(16, 16, false, true, 0, 63, 31, 11, 5, 0));
    EXPECT_FALSE(enc.SetTranslateFunction());
    enc.SetRemoteFormat(Make(16, 16, false, true, 255, 63, 31, 11, 5, 0));
    EXPECT_FALSE(enc.SetTranslateFunction());
}

TEST(Translation, ColourMapViewerGetsTheBgr233PaletteAsRgb)
{
    vncEncoder enc;
    enc.SetLocalFormat(testframes::Host32(), 10, 10);
    enc.SetRemoteFormat(Make(8, 8, false, false, 0, 0, 0, 0, 0, 0));
    ASSERT_TRUE(enc.SetTranslateFunction());
    rfb::PaletteEntry pal[256];
    ASSERT_TRUE(enc.GetRemotePalette(pal));
    EXPECT_EQ(pal[7].red, 255);
    EXPECT_EQ(pal[7].green, 0);
    EXPECT_EQ(pal[0xC0].blue, 255);
    EXPECT_EQ(pal[0xC0].red, 0);
    enc.SetRemoteFormat(testframes::Host32());
    ASSERT_TRUE(enc.SetTranslateFunction());
    EXPECT_FALSE(enc.GetRemotePalette(pal));
}

TEST(Encoders, RectangleOutsideTheFrameThrows)
{
    Frame f = testframes::MakeFrame(testframes::Host32(), 16, 16);
    for (int e : {0, 5, 16}) {
        auto enc = MakeEncoder(e);
        enc->SetLocalFormat(f.format, 16, 16);
        enc->SetRemoteFormat(testframes::Host32());
        ASSERT_TRUE(enc->SetTranslateFunction());
        rdr::MemOutStream out;
        EXPECT_THROW(enc->EncodeRect(View(f), out, rfb::Rect(8, 8, 17, 12)), rdr::Exception);
        EXPECT_THROW(enc->EncodeRect(View(f), out, rfb::Rect(-1, 0, 4, 4)), rdr::Exception);
    }
}

TEST(Encoders, OriginIsSubtractedInHeaders)
{
    Frame f = testframes::Desktop(testframes::Host32(), 40, 40);
    vncEncoder enc;
    enc.SetLocalFormat(f.format, 40, 40);
    enc.SetRemoteFormat(testframes::Host32());
    ASSERT_TRUE(enc.SetTranslateFunction());
    enc.SetCaptureOrigin(10, 5);
    rdr::MemOutStream out;
    enc.EncodeRect(View(f), out, rfb::Rect(12, 9, 20, 20));
    const uint8_t* p = out.data();
    EXPECT_EQ(p[1], 2);
    EXPECT_EQ(p[3], 4);
}

CursorImage Arrow(const rfb::PixelFormat& pf)
{
    CursorImage c;
    c.hotX = 1;
    c.hotY = 2;
    c.width = 11;
    c.height = 3;
    c.mask.assign(c.MaskBytes(), 0);
    c.source.assign(c.MaskBytes(), 0);
    c.mask[0] = 0xFF;
    c.mask[1] = 0xE0;
    c.source[2] = 0x80;
    c.pixels.assign(static_cast<size_t>(11 * 3 * pf.bitsPerPixel / 8), 0x7F);
    return c;
}

TEST(CursorShape, XCursorRichCursorAndEmpty)
{
    const rfb::PixelFormat host = testframes::Host32();
    const rfb::PixelFormat viewer = Make(16, 16, false, true, 31, 63, 31, 11, 5, 0);
    vncEncoder enc;
    enc.SetLocalFormat(host, 100, 100);
    enc.SetRemoteFormat(viewer);
    ASSERT_TRUE(enc.SetTranslateFunction());
    rdr::MemOutStream out;
    EXPECT_FALSE(enc.SendCursorShape(out, Arrow(host)));
    EXPECT_FALSE(enc.SendEmptyCursorShape(out));
    EXPECT_EQ(out.length(), 0u);

    enc.EnableRichCursor(true);
    ASSERT_TRUE(enc.SendCursorShape(out, Arrow(host)));
    ASSERT_TRUE(enc.SendEmptyCursorShape(out));
    enc.EnableXCursor(true);
    ASSERT_TRUE(enc.SendCursorShape(out, Arrow(host)));
    ASSERT_TRUE(enc.SendEmptyCursorShape(out));
    CursorImage broken = Arrow(host);
    broken.mask.resize(2);
    EXPECT_FALSE(enc.SendCursorShape(out, broken));

    testrfb::Decoder dec(ToTest(viewer), 100, 100);
    testrfb::MemorySource in(out.data(), out.length());
    dec.readRect(in);
    EXPECT_EQ(dec.cursor.encoding, rfbproto::kEncRichCursor);
    EXPECT_EQ(dec.cursor.hotX, 1);
    EXPECT_EQ(dec.cursor.hotY, 2);
    EXPECT_EQ(dec.cursor.bitmap.size(), 11u * 3u * 2u);
    EXPECT_EQ(dec.cursor.mask[1], 0xE0);
    dec.readRect(in);
    EXPECT_EQ(dec.cursor.encoding, rfbproto::kEncRichCursor);
    EXPECT_EQ(dec.cursor.w, 0);
    dec.readRect(in);
    EXPECT_EQ(dec.cursor.encoding, rfbproto::kEncXCursor);
    EXPECT_EQ(dec.cursor.bitmap[2], 0x80);
    dec.readRect(in);
    EXPECT_EQ(dec.cursor.encoding, rfbproto::kEncXCursor);
    EXPECT_EQ(dec.cursor.w, 0);
    EXPECT_EQ(in.remaining(), 0u);
}

} // namespace
