// Colours, Raw, RRE, CoRRE, Hextile, CopyRect and the cache encodings: the
// cases the protocol leaves to the viewer, written out byte by byte.
#include "Customer/session/HostMessages.h"
#include "Technician/decode/DecodeError.h"
#include "Technician/decode/PixelColours.h"
#include "Technician/decode/tests/DecodeHarness.h"
#include "Technician/decode/tests/TestEncoders.h"
#include "rfb/MemOutStream.h"
#include "rfb/tests/TestFormats.h"

namespace testdecode {
namespace {

const rfb::PixelFormat& Bgr233()
{
    return FormatNamed("bgr233").pf;
}

TEST(Colours, EachChannelScalesToFullRange)
{
    struct ColourCase {
        const char* format;
        uint32_t wire;
        uint32_t colour;
    };
    const ColourCase cases[] = {
        {"rgb565", 0xFFFF, 0xFFFFFF},      {"rgb565", 0x0000, 0x000000},   {"rgb565", 0xF800, 0xFF0000},
        {"rgb565be", 0x00F8, 0xFF0000},    {"viewer16", 0x003F, 0xFF0000}, {"bgr233", 0xC0, 0x0000FF},
        {"bgr233", 0x07, 0xFF0000},        {"bgr233", 0x02, 0x480000},     {"host32", 0x00123456, 0x123456},
        {"rgb888be", 0x56341200, 0x123456}, {"rgb111", 0x04, 0xFF0000},    {"rgb101010", 0x3FF00000, 0xFF0000},
    };
    for (const ColourCase& c : cases) {
        const decode::PixelColours colours(FormatNamed(c.format).pf);
        EXPECT_EQ(colours.colour(c.wire), c.colour) << c.format << " 0x" << std::hex << c.wire;
    }
}

TEST(Colours, FormatsThatCannotBeDecodedAreRefusedWhenChosen)
{
    using testformats::Make;
    const rfb::PixelFormat refused[] = {
        Make(24, 24, false, true, 255, 255, 255, 16, 8, 0), // 3-byte pixels
        Make(8, 8, false, false, 0, 0, 0, 0, 0, 0),        // colour map
        Make(16, 16, false, true, 0, 63, 31, 11, 5, 0),    // a channel of maximum 0
        Make(16, 16, false, true, 31, 63, 31, 12, 5, 0),   // red past the pixel
    };
    for (const rfb::PixelFormat& pf : refused) {
        EXPECT_FALSE(decode::PixelColours::Supports(pf));
        decode::Framebuffer fb(4, 4);
        EXPECT_THROW(decode::DecodeSession(fb, pf), decode::DecodeError);
    }
}

TEST(Raw, EmptyRectangleReadsNothing)
{
    Viewer v(Bgr233(), 8, 8);
    Bytes b;
    PutHeader(b, 2, 2, 0, 5, enc::Raw);
    PutHeader(b, 2, 2, 5, 0, enc::Raw);
    EXPECT_EQ(v.decodeAll(b).size(), 2u);
    EXPECT_TRUE(v.changed.empty());
}

TEST(Rre, ZeroSubrectanglesIsAPlainFillAndSubrectanglesStayInside)
{
    for (bool compact : {false, true}) {
        SCOPED_TRACE(compact ? "CoRRE" : "RRE");
        Viewer v(Bgr233(), 20, 20);
        Bytes b;
        PutHeader(b, 2, 3, 5, 4, compact ? enc::CoRRE : enc::RRE);
        PutU32(b, 0);
        PutPixel(b, Bgr233(), 0x07);
        v.decodeOne(b);
        EXPECT_TRUE(ShowsColour(v, 0xFF0000, rfb::Rect(2, 3, 7, 7)));
        EXPECT_TRUE(ShowsColour(v, 0, rfb::Rect(7, 0, 20, 20)));
        // A sub-rectangle reaching 10 pixels past its 5 x 4 rectangle.
        b.clear();
        PutHeader(b, 2, 3, 5, 4, compact ? enc::CoRRE : enc::RRE);
        PutU32(b, 1);
        PutPixel(b, Bgr233(), 0x07);
        PutPixel(b, Bgr233(), 0xC0);
        for (unsigned g : {3u, 2u, 12u, 12u})
            compact ? PutU8(b, g) : PutU16(b, g);
        v.decodeOne(b);
        EXPECT_TRUE(ShowsColour(v, 0x0000FF, rfb::Rect(5, 5, 7, 7)));
        EXPECT_TRUE(ShowsColour(v, 0, rfb::Rect(7, 0, 20, 20)));
        EXPECT_TRUE(ShowsColour(v, 0, rfb::Rect(0, 7, 20, 20)));
    }
}

// Hextile tiles of bgr233 pixels: 0x07 red, 0x38 green, 0xC0 blue.
TEST(Hextile, TileRulesTheProtocolLeavesOpen)
{
    struct TileCase {
        const char* name;
        int w, h;
        Bytes data;
        std::vector<std::pair<rfb::Rect, uint32_t>> shows;
    };
    const TileCase cases[] = {
        {"17 wide is two tiles, the second 1 wide", 17, 1, {2, 0x07, 2, 0xC0},
         {{rfb::Rect(0, 0, 16, 1), 0xFF0000}, {rfb::Rect(16, 0, 17, 1), 0x0000FF}}},
        {"raw bit with every other bit is raw only", 2, 1, {1 | 2 | 4 | 8 | 16, 0x38, 0xC0},
         {{rfb::Rect(0, 0, 1, 1), 0x00FF00}, {rfb::Rect(1, 0, 2, 1), 0x0000FF}}},
        {"background carries over a raw tile", 33, 1,
         {2, 0x07, 1, 0x38, 0x38, 0x38, 0x38, 0x38, 0x38, 0x38, 0x38, 0x38, 0x38, 0x38, 0x38, 0x38, 0x38, 0x38, 0x38, 0},
         {{rfb::Rect(0, 0, 16, 1), 0xFF0000}, {rfb::Rect(16, 0, 32, 1), 0x00FF00}, {rfb::Rect(32, 0, 33, 1), 0xFF0000}}},
        {"a coloured sub-rectangle becomes the foreground", 32, 1,
         {2 | 8 | 16, 0x07, 1, 0x38, 0x00, 0x00, 8, 1, 0x10, 0x00},
         {{rfb::Rect(0, 0, 1, 1), 0x00FF00}, {rfb::Rect(1, 0, 17, 1), 0xFF0000}, {rfb::Rect(17, 0, 18, 1), 0x00FF00},
          {rfb::Rect(18, 0, 32, 1), 0xFF0000}}},
        {"the first tile without background is black", 4, 1, {4, 0x07}, {{rfb::Rect(0, 0, 4, 1), 0}}},
        {"sub-rectangles stay inside an edge tile", 3, 3, {2 | 4 | 8, 0x07, 0xC0, 1, 0x11, 0xFF},
         {{rfb::Rect(0, 0, 3, 1), 0xFF0000}, {rfb::Rect(1, 1, 3, 3), 0x0000FF}, {rfb::Rect(3, 0, 20, 20), 0},
          {rfb::Rect(0, 3, 20, 20), 0}}},
    };
    for (const TileCase& c : cases) {
        SCOPED_TRACE(c.name);
        Viewer v(Bgr233(), 40, 20);
        Bytes b;
        PutHeader(b, 0, 0, c.w, c.h, enc::Hextile);
        Append(b, c.data);
        v.decodeOne(b);
        for (const auto& [area, colour] : c.shows)
            EXPECT_TRUE(ShowsColour(v, colour, area)) << area.left << "," << area.top;
    }
}

// The CopyRect rectangle as our host writes it.
Bytes HostCopyRect(const rfb::Rect& dest, int sx, int sy)
{
    rdr::MemOutStream out;
    hostmsg::WriteCopyRect(out, dest, sx, sy);
    return Bytes(out.data(), out.data() + out.length());
}

TEST(CopyRect, OverlappingCopiesInEveryDirection)
{
    const rfb::PixelFormat& pf = FormatNamed("host32").pf;
    const ClientImage img = PhotoImage(pf, 40, 30, 9);
    const struct {
        int dx, dy;
    } moves[] = {{3, 2}, {-3, 2}, {3, -2}, {-3, -2}, {0, 1}, {1, 0}, {0, -1}, {-1, 0}};
    for (const auto& m : moves) {
        SCOPED_TRACE(std::to_string(m.dx) + "," + std::to_string(m.dy));
        Viewer v(pf, 40, 30);
        v.decodeOne(EncodeRaw(img, rfb::Rect(0, 0, 40, 30)));
        const rfb::Rect src(8, 8, 30, 22);
        v.decodeOne(HostCopyRect(src.translate(rfb::Point(m.dx, m.dy)), src.left, src.top));
        ClientImage want = img;
        for (int y = src.top; y < src.bottom; ++y)
            for (int x = src.left; x < src.right; ++x)
                want.at(x + m.dx, y + m.dy) = img.at(x, y);
        EXPECT_TRUE(Shows(v, want, rfb::Rect(0, 0, 40, 30)));
    }
}

TEST(CopyRect, SourceOnePixelPastTheEdgeIsIgnored)
{
    const rfb::PixelFormat& pf = FormatNamed("host32").pf;
    const ClientImage img = PhotoImage(pf, 40, 30, 9);
    Viewer v(pf, 40, 30);
    v.decodeOne(EncodeRaw(img, rfb::Rect(0, 0, 40, 30)));
    v.changed.clear();
    const std::pair<int, int> sources[] = {{31, 0}, {0, 21}, {65535, 0}};
    for (const auto& [sx, sy] : sources) {
        Bytes b;
        PutHeader(b, 0, 0, 10, 10, enc::CopyRect);
        PutU16(b, static_cast<unsigned>(sx)), PutU16(b, static_cast<unsigned>(sy));
        EXPECT_EQ(v.decodeOne(b), decode::RectResult::Drawn);
    }
    EXPECT_TRUE(Shows(v, img, rfb::Rect(0, 0, 40, 30)));
    EXPECT_TRUE(v.changed.empty());
}

TEST(Cache, TwoSwapsRestoreThePictureAndNoInflateChangesNothing)
{
    const rfb::PixelFormat& pf = FormatNamed("rgb565").pf;
    const ClientImage a = DesktopImage(pf, 48, 32, 2), b = PhotoImage(pf, 48, 32, 4);
    Viewer v(pf, 48, 32);
    v.fb.setCacheEnabled(true);
    const rfb::Rect area(4, 4, 36, 28);
    v.decodeOne(EncodeRaw(a, area));
    v.decodeOne(EncodeRaw(b, area)); // the cache now holds a's picture there
    v.decodeOne(EncodeCache(area));
    EXPECT_TRUE(Shows(v, a, area));
    v.decodeOne(EncodeCache(area));
    EXPECT_TRUE(Shows(v, b, area));
    // CacheZip swaps only the areas its block holds, clipped to the picture.
    Bytes zip = EncodeCacheZip({rfb::Rect(4, 4, 20, 28), rfb::Rect(20, 4, 36, 28), rfb::Rect(40, 20, 60, 40)});
    v.changed.clear();
    v.decodeOne(zip);
    EXPECT_TRUE(Shows(v, a, area));
    EXPECT_EQ(v.changed.size(), 3u);
    EXPECT_EQ(v.changed[2], rfb::Rect(40, 20, 48, 32));
    // A count above what the block holds swaps what is there.
    zip[1] = 9;
    v.decodeOne(zip);
    EXPECT_TRUE(Shows(v, b, area));
    // A block that does not inflate is abandoned, its bytes all read.
    Bytes broken;
    PutHeader(broken, 1, 0, 0, 0, enc::CacheZip);
    PutU32(broken, 5);
    Append(broken, {1, 2, 3, 4, 5});
    EXPECT_EQ(v.decodeOne(broken), decode::RectResult::Abandoned);
    EXPECT_TRUE(Shows(v, b, area));
    EXPECT_EQ(v.log.back(), "CacheZip: zlib data does not uncompress\n");
}

TEST(Cache, ANewFormatClearsTheCache)
{
    const ClientImage a = DesktopImage(Bgr233(), 16, 16, 2);
    Viewer v(Bgr233(), 16, 16);
    v.fb.setCacheEnabled(true);
    v.decodeOne(EncodeRaw(a, rfb::Rect(0, 0, 16, 16)));
    v.decodeOne(EncodeSolid(a, rfb::Rect(0, 0, 16, 16)));
    v.session.setFormat(FormatNamed("host32").pf);
    EXPECT_EQ(v.log, std::vector<std::string>{"Cache: Reset Cache\n"});
    v.decodeOne(EncodeCache(rfb::Rect(0, 0, 16, 16)));
    EXPECT_TRUE(ShowsColour(v, 0, rfb::Rect(0, 0, 16, 16)));
}

TEST(Session, HandlesExactlyTheEncodingsItDecodes)
{
    for (int32_t e : {enc::Raw, enc::CopyRect, enc::RRE, enc::CoRRE, enc::Hextile, enc::Zlib, enc::Tight, enc::ZlibHex,
                      enc::Ultra, enc::ZRLE, enc::Cache, enc::XorZlib, enc::XorMono, enc::XorMulti, enc::Solid,
                      enc::CacheZip, enc::SolMonoZip, enc::UltraZip})
        EXPECT_TRUE(decode::DecodeSession::Handles(e)) << e;
    // CoRRE's neighbour 3, the cache and XOR enables, cursor shapes, LastRect.
    for (int32_t e : {3, static_cast<int32_t>(0xFFFF0001u), static_cast<int32_t>(0xFFFF0006u), -239, -240, -224}) {
        EXPECT_FALSE(decode::DecodeSession::Handles(e)) << e;
        Viewer v(Bgr233(), 4, 4);
        Bytes b;
        PutHeader(b, 0, 0, 1, 1, e);
        EXPECT_THROW(v.decodeOne(b), decode::DecodeError);
    }
}

// Hextile of solid tiles and ZRLE of one solid tile, in bgr233.
Bytes SolidHextile(const rfb::Rect& r, uint8_t pixel)
{
    Bytes b;
    PutHeader(b, r.left, r.top, r.width(), r.height(), enc::Hextile);
    for (int y = r.top; y < r.bottom; y += 16)
        for (int x = r.left; x < r.right; x += 16)
            Append(b, {2, pixel});
    return b;
}

Bytes SolidZrle(const rfb::Rect& r, uint8_t pixel)
{
    Deflater stream;
    const Bytes tile = stream.compress({1, pixel});
    Bytes b;
    PutHeader(b, r.left, r.top, r.width(), r.height(), enc::ZRLE);
    PutU32(b, static_cast<uint32_t>(tile.size()));
    Append(b, tile);
    return b;
}

// As the viewer's dispatch table has it: each encoding that draws new pixels
// over its rectangle saves what the area showed first, except CopyRect, Ultra
// and UltraZip; SolMonoZip saves each of its sub-areas and nothing else.
TEST(Cache, DecodersThatOverwriteSaveTheAreaFirst)
{
    const rfb::PixelFormat& pf = FormatNamed("bgr233").pf;
    const ClientImage a = DesktopImage(pf, 32, 32, 2);
    const ClientImage b = PhotoImage(pf, 32, 32);
    ClientImage twoColours = b;
    for (uint32_t& p : twoColours.px)
        p = p & 1 ? 0x07 : 0xC0;
    const rfb::Rect all(0, 0, 32, 32), none;
    Bytes copy;
    PutHeader(copy, 0, 0, 16, 16, enc::CopyRect);
    PutU16(copy, 16), PutU16(copy, 16);
    struct SaveCase {
        const char* name;
        Bytes rect;
        rfb::Rect saved;
    };
    const SaveCase cases[] = {
        {"SolidColor", EncodeSolid(b, all), all},
        {"Raw", EncodeRaw(b, all), all},
        {"RRE", EncodeRre(b, all, false), all},
        {"CoRRE", EncodeRre(b, all, true), all},
        {"Hextile", SolidHextile(all, 0x38), all},
        {"zlib", ZlibEncoder().zlib(b, all), all},
        {"Tight", TightEncoder().encode(b, all), all},
        {"ZlibHex", ZlibHexEncoder().encode(b, all), all},
        {"ZRLE", SolidZrle(all, 0x38), all},
        {"XOR_Zlib", ZlibEncoder().xorZlib(a, b, all), all},
        {"XORMonoColor", ZlibEncoder().xorMono(twoColours, all), all},
        {"XORMultiColor", ZlibEncoder().xorMulti(b, all), all},
        {"CopyRect", copy, none},
        {"Ultra", EncodeUltra(b, all), none},
        {"UltraZip", EncodeUltraZip(b, all, 8), none},
        {"SolMonoZip", EncodeSolMonoZip(b, rfb::Rect(4, 4, 20, 20), 8), rfb::Rect(4, 4, 20, 20)},
    };
    for (const SaveCase& c : cases) {
        SCOPED_TRACE(c.name);
        Viewer v(pf, 32, 32);
        v.fb.setCacheEnabled(true);
        v.decodeOne(EncodeRaw(a, all)); // the cache holds black everywhere
        v.decodeOne(c.rect);
        v.decodeOne(EncodeCache(all));
        ClientImage want{pf, 32, 32, std::vector<uint32_t>(32 * 32, 0)};
        for (int y = c.saved.top; y < c.saved.bottom; ++y)
            for (int x = c.saved.left; x < c.saved.right; ++x)
                want.at(x, y) = a.at(x, y);
        EXPECT_TRUE(Shows(v, want, all));
    }
}

// A new size leaves nothing of the old picture in the cache; the session's
// clearCache, which the viewer calls for it, logs the reset.
TEST(Cache, ANewSizeClearsTheCache)
{
    const ClientImage a = DesktopImage(Bgr233(), 16, 16, 2);
    for (const auto& [w, h] : {std::pair<int, int>{16, 16}, {24, 20}}) {
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        Viewer v(Bgr233(), 16, 16);
        v.fb.setCacheEnabled(true);
        v.decodeOne(EncodeRaw(a, rfb::Rect(0, 0, 16, 16)));
        v.decodeOne(EncodeSolid(a, rfb::Rect(0, 0, 16, 16))); // the cache holds a
        v.fb.resize(w, h);
        v.decodeOne(EncodeCache(rfb::Rect(0, 0, w, h)));
        EXPECT_TRUE(ShowsColour(v, 0, rfb::Rect(0, 0, w, h)));
        v.session.clearCache();
        EXPECT_EQ(v.log, std::vector<std::string>{"Cache: Reset Cache\n"});
    }
}

} // namespace
} // namespace testdecode
