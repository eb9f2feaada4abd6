// Tight, the zlib and XOR encodings, Ultra, UltraZip and SolMonoZip: the
// cases their formats leave to the viewer, and the rectangles that are
// abandoned (read whole, not drawn) without losing step with the stream.
#include "Technician/decode/DecodeError.h"
#include "Technician/decode/TightDecoder.h"
#include "Technician/decode/tests/DecodeHarness.h"
#include "Technician/decode/tests/TestEncoders.h"
#include "rfb/MemInStream.h"

#include <jpeglib.h>

namespace testdecode {
namespace {

const rfb::PixelFormat& Bgr233()
{
    return FormatNamed("bgr233").pf;
}

// A solid rectangle after the one under test shows the stream is in step.
Bytes Marker(int x, int y)
{
    Bytes b;
    PutHeader(b, x, y, 1, 1, enc::Solid);
    PutPixel(b, Bgr233(), 0xC0);
    return b;
}

TEST(Tight, CompactLengths)
{
    const std::pair<Bytes, size_t> cases[] = {
        {{0x00}, 0}, {{0x7F}, 127}, {{0x80, 0x01}, 128}, {{0x90, 0x4E}, 10000}, {{0xFF, 0x7F}, 16383},
        {{0x80, 0x80, 0x01}, 16384}, {{0xFF, 0xFF, 0xFF}, 4194303},
    };
    for (const auto& [bytes, value] : cases) {
        rdr::MemInStream in(bytes.data(), bytes.size());
        EXPECT_EQ(decode::TightDecoder::ReadCompactLength(in), value);
        EXPECT_EQ(in.remaining(), 0u);
        Bytes written;
        TightEncoder::PutCompactLength(written, value);
        EXPECT_EQ(written, bytes);
    }
}

TEST(Tight, ElevenBytesComePlainTwelveCompressed)
{
    Viewer v(Bgr233(), 16, 4);
    Bytes b;
    PutHeader(b, 0, 0, 11, 1, enc::Tight);
    PutU8(b, 0x00);
    for (int i = 0; i < 11; ++i)
        PutU8(b, 0x07);
    Deflater stream;
    PutHeader(b, 0, 1, 12, 1, enc::Tight);
    PutU8(b, 0x00);
    const Bytes packed = stream.compress(Bytes(12, 0x38));
    TightEncoder::PutCompactLength(b, packed.size());
    Append(b, packed);
    Append(b, Marker(15, 3));
    v.decodeAll(b);
    EXPECT_TRUE(ShowsColour(v, 0xFF0000, rfb::Rect(0, 0, 11, 1)));
    EXPECT_TRUE(ShowsColour(v, 0x00FF00, rfb::Rect(0, 1, 12, 2)));
    EXPECT_TRUE(ShowsColour(v, 0x0000FF, rfb::Rect(15, 3, 16, 4)));
}

TEST(Tight, TwoColourRowsOfTenPixelsTakeTwoBytes)
{
    Viewer v(Bgr233(), 10, 2);
    Bytes b;
    PutHeader(b, 0, 0, 10, 2, enc::Tight);
    PutU8(b, 0x40), PutU8(b, 1), PutU8(b, 1), PutU8(b, 0x07), PutU8(b, 0x38);
    Append(b, {0xA5, 0x7F, 0x00, 0x40}); // 1010010101, 0000000001
    v.decodeOne(b);
    const char* rows[2] = {"1010010101", "0000000001"};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 10; ++x)
            EXPECT_EQ(v.at(x, y), rows[y][x] == '1' ? 0x00FF00u : 0xFF0000u) << x << "," << y;
}

// Each ends the session; where the protocol's viewer had a line for it, the
// log has that line.
TEST(Tight, ControlBytesThatCannotBeRead)
{
    struct BadCase {
        const char* name;
        Bytes body;
        const char* log;
    };
    const BadCase cases[] = {
        {"resets, then sub-encoding 15", {0xFF}, "Tight encoding: bad subencoding value received.\n"},
        {"sub-encoding 15 without resets (0xF0)", {0xF0}, "Tight encoding: bad subencoding value received.\n"},
        {"sub-encoding 10", {0xA0}, "Tight encoding: bad subencoding value received.\n"},
        {"filter 3", {0x40, 3}, "Tight encoding: unknown filter code received.\n"},
        {"palette of one colour", {0x40, 1, 0, 0x07}, "Tight encoding: error receiving palette.\n"},
        {"compressed length 0", {0x00, 0x00}, "Tight encoding: bad data received from server.\n"},
        {"palette index beyond the palette", {0x40, 1, 2, 1, 2, 3, 0, 1, 3, 0}, nullptr},
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.name);
        Viewer v(Bgr233(), 16, 16);
        Bytes b;
        PutHeader(b, 0, 0, 2, 2 + (c.body.size() > 6 ? 0 : 5), enc::Tight);
        Append(b, c.body);
        EXPECT_THROW(v.decodeOne(b), decode::DecodeError);
        EXPECT_EQ(v.log, c.log ? std::vector<std::string>{c.log} : std::vector<std::string>{});
    }
}

Bytes Sized(const Bytes& data)
{
    Bytes b;
    PutU32(b, static_cast<uint32_t>(data.size()));
    Append(b, data);
    return b;
}

Bytes Rect(int w, int h, int32_t encoding, const Bytes& body)
{
    Bytes b;
    PutHeader(b, 0, 0, w, h, encoding);
    Append(b, body);
    return b;
}

// zlib failures end the session with the lines the viewer always wrote: the
// zlib family and ZlibHex give zlib's code, Tight its message, and Tight data
// that does not inflate to the rectangle's rows says so.
TEST(Log, ZlibFailuresWriteTheViewersLines)
{
    const Bytes junk(12, 0x55);
    Bytes tightJunk = {0x00, 12};
    Append(tightJunk, junk);
    const auto tightRows = [](size_t n) {
        const Bytes packed = Deflater().compress(Bytes(n, 7));
        Bytes b = {0x00};
        TightEncoder::PutCompactLength(b, packed.size());
        Append(b, packed);
        return b;
    };
    Bytes zlibHexJunk = {0x20, 0, 12};
    Append(zlibHexJunk, junk);
    struct LogCase {
        const char* name;
        Bytes rect;
        const char* log;
    };
    const char* scanLines = "Tight encoding: wrong number of scan lines.\n";
    const LogCase cases[] = {
        {"zlib, not zlib", Rect(4, 4, enc::Zlib, Sized(junk)), "zlib inflate error: -3\n"},
        {"XOR_Zlib, not zlib", Rect(4, 4, enc::XorZlib, Sized(junk)), "zlib inflate error: -3\n"},
        {"ZlibHex, not zlib", Rect(4, 4, enc::ZlibHex, zlibHexJunk), "zlib inflate error: -3\n"},
        {"Tight, not zlib", Rect(4, 4, enc::Tight, tightJunk), "zlib inflate() error: incorrect header check.\n"},
        {"Tight, fewer rows than h", Rect(4, 4, enc::Tight, tightRows(12)), scanLines},
        {"Tight, more rows than h", Rect(4, 4, enc::Tight, tightRows(20)), scanLines},
    };
    for (const LogCase& c : cases) {
        SCOPED_TRACE(c.name);
        Viewer v(Bgr233(), 16, 16);
        EXPECT_THROW(v.decodeOne(c.rect), decode::DecodeError);
        EXPECT_EQ(v.log, std::vector<std::string>{c.log});
    }
}

uint32_t U32At(const Bytes& b, size_t at)
{
    return static_cast<uint32_t>(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}

std::string Grew(const char* buffer, size_t needed)
{
    return std::string(buffer) + " expanded to " + std::to_string(needed + 256) + "\n";
}

// A decoder's buffers keep their size across rectangles: each logs when it
// grows (to what was needed plus 256 bytes), and only then.
TEST(Log, BuffersLogWhenTheyGrowAndOnlyThen)
{
    const rfb::PixelFormat& pf = Bgr233();
    const ClientImage img = PhotoImage(pf, 16, 16, 3);
    const rfb::Rect r(0, 0, 16, 16);
    ZlibEncoder zlib;
    const Bytes zlibFirst = zlib.zlib(img, r);
    const Bytes zlibAgain = zlib.zlib(img, r);
    const Bytes ultra = EncodeUltra(img, r);
    const Bytes rre = EncodeRre(img, r, false);
    const Bytes solMono = EncodeSolMonoZip(img, r, 4);
    // The batch header: w * 65535 + y is the uncompressed size.
    const size_t solMonoSize =
        (static_cast<size_t>(solMono[4]) << 8 | solMono[5]) * 65535 + (static_cast<size_t>(solMono[2]) << 8 | solMono[3]);
    struct GrowthCase {
        const char* name;
        Bytes first;
        Bytes again; // needs no more room
        std::vector<std::string> lines;
    };
    const GrowthCase cases[] = {
        {"Raw", EncodeRaw(img, r), EncodeRaw(img, rfb::Rect(0, 0, 8, 8)), {Grew("bufsize", 256)}},
        // One bgr233 pixel and 8 bytes of geometry a sub-rectangle.
        {"RRE", rre, rre, {Grew("bufsize", 9 * U32At(rre, 12))}},
        {"zlib", zlibFirst, zlibAgain, {Grew("bufsize", U32At(zlibFirst, 12)), Grew("zlibbufsize", 256)}},
        {"Ultra", ultra, ultra, {Grew("bufsize", U32At(ultra, 12)), Grew("zlibbufsize", 256)}},
        {"SolMonoZip", solMono, solMono, {Grew("bufsize", U32At(solMono, 12)), Grew("zipbufsize", solMonoSize)}},
    };
    for (const GrowthCase& c : cases) {
        SCOPED_TRACE(c.name);
        Viewer v(pf, 16, 16);
        v.decodeOne(c.first);
        v.decodeOne(c.again);
        EXPECT_EQ(v.growth, c.lines);
        EXPECT_TRUE(v.log.empty());
    }
}

// Tight, zlib and ZlibHex keep their streams for the session: a second
// rectangle that builds on the first's history decodes on the same session
// and fails on a new one, whose streams start afresh.
TEST(Streams, RectanglesShareTheSessionStreamsAndFailOnAFreshSession)
{
    const rfb::PixelFormat& pf = FormatNamed("host32").pf;
    const ClientImage img = PhotoImage(pf, 64, 64, 3);
    const rfb::Rect r(0, 0, 64, 64);
    TightEncoder tight;
    ZlibEncoder zlib;
    ZlibHexEncoder zlibHex;
    struct StreamCase {
        const char* name;
        Bytes first;
        Bytes second;
        const char* log;
    };
    const StreamCase cases[] = {
        {"Tight", tight.encode(img, r), tight.encode(img, r), "zlib inflate() error: "},
        {"zlib", zlib.zlib(img, r), zlib.zlib(img, r), "zlib inflate error: "},
        {"ZlibHex", zlibHex.encode(img, r), zlibHex.encode(img, r), "zlib inflate error: "},
    };
    for (const StreamCase& c : cases) {
        SCOPED_TRACE(c.name);
        Viewer same(pf, 64, 64);
        same.decodeOne(c.first);
        same.decodeOne(c.second);
        EXPECT_TRUE(Shows(same, img, r));
        Viewer fresh(pf, 64, 64);
        EXPECT_THROW(fresh.decodeOne(c.second), decode::DecodeError);
        ASSERT_EQ(fresh.log.size(), 1u);
        EXPECT_EQ(fresh.log[0].rfind(c.log, 0), 0u) << fresh.log[0];
    }
}

// The colours libjpeg itself decodes from a JPEG, for comparison.
std::vector<uint32_t> LibjpegColours(const Bytes& jpeg)
{
    jpeg_decompress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_decompress(&c);
    jpeg_mem_src(&c, jpeg.data(), jpeg.size());
    jpeg_read_header(&c, TRUE);
    c.out_color_space = JCS_RGB;
    jpeg_start_decompress(&c);
    std::vector<uint32_t> out;
    std::vector<JSAMPLE> row(c.output_width * 3);
    while (c.output_scanline < c.output_height) {
        JSAMPROW r = row.data();
        jpeg_read_scanlines(&c, &r, 1);
        for (size_t x = 0; x < c.output_width; ++x)
            out.push_back(static_cast<uint32_t>(row[x * 3]) << 16 | row[x * 3 + 1] << 8 | row[x * 3 + 2]);
    }
    jpeg_finish_decompress(&c);
    jpeg_destroy_decompress(&c);
    return out;
}

TEST(TightJpeg, ShownAsLibjpegDecodesIt)
{
    for (const char* format : {"host32", "rgb565", "bgr233"}) {
        SCOPED_TRACE(format);
        const rfb::PixelFormat& pf = FormatNamed(format).pf;
        const ClientImage img = PhotoImage(pf, 90, 70, 7);
        const rfb::Rect r(5, 3, 86, 60);
        Viewer v(pf, 90, 70);
        TightOptions o;
        o.jpeg = true;
        TightEncoder e;
        v.decodeOne(e.encode(img, r, o));
        const std::vector<uint32_t> want = LibjpegColours(TightEncoder::Jpeg(img, r, 75));
        ClientImage expect{FormatNamed("host32").pf, 90, 70, std::vector<uint32_t>(90 * 70, 0)};
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                expect.at(x, y) = want[static_cast<size_t>(y - r.top) * r.width() + (x - r.left)];
        EXPECT_TRUE(Shows(v, expect, rfb::Rect(0, 0, 90, 70)));
    }
}

TEST(TightJpeg, ImagesThatDoNotFitOrDecodeAreAbandonedInStep)
{
    const rfb::PixelFormat& pf = FormatNamed("host32").pf;
    const ClientImage img = PhotoImage(pf, 40, 40, 7);
    const Bytes jpeg = TightEncoder::Jpeg(img, rfb::Rect(0, 0, 20, 20), 80);
    Bytes truncated(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(jpeg.size() / 2));
    Bytes garbage(300, 0x5A);
    struct BadCase {
        const char* name;
        int w, h;
        const Bytes* data;
        const char* log; // start of the log line
    };
    const BadCase cases[] = {
        {"one pixel taller", 20, 21, &jpeg, "Tight Encoding: Wrong JPEG data received.\n"},
        {"one pixel narrower", 19, 20, &jpeg, "Tight Encoding: Wrong JPEG data received.\n"},
        {"cut in half", 20, 20, &truncated, ""},
        {"not a JPEG", 20, 20, &garbage, "Not a JPEG file"},
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.name);
        Viewer v(Bgr233(), 40, 40);
        Bytes b;
        PutHeader(b, 0, 0, c.w, c.h, enc::Tight);
        PutU8(b, 0x90);
        TightEncoder::PutCompactLength(b, c.data->size());
        Append(b, *c.data);
        Append(b, Marker(39, 39));
        const auto results = v.decodeAll(b);
        ASSERT_EQ(results.size(), 2u);
        EXPECT_EQ(results[0], decode::RectResult::Abandoned);
        EXPECT_TRUE(ShowsColour(v, 0, rfb::Rect(0, 0, 30, 30)));
        EXPECT_EQ(v.at(39, 39), 0x0000FFu);
        ASSERT_EQ(v.log.size(), 1u);
        EXPECT_EQ(v.log[0].rfind(c.log, 0), 0u) << v.log[0];
    }
}

// No width limit: buffers follow the rectangle.
TEST(Tight, RectanglesWiderThan2048Pixels)
{
    const rfb::PixelFormat& pf = FormatNamed("host32").pf;
    const ClientImage img = PhotoImage(pf, 2100, 3, 5);
    const rfb::Rect r(0, 0, 2100, 3);
    Viewer v(pf, 2100, 3);
    TightEncoder e;
    TightOptions gradient;
    gradient.gradient = true;
    v.decodeOne(e.encode(img, r, gradient));
    EXPECT_TRUE(Shows(v, img, r));
    TightOptions jpeg;
    jpeg.jpeg = true;
    EXPECT_EQ(v.decodeOne(e.encode(img, r, jpeg)), decode::RectResult::Drawn);
}

TEST(Xor, MasksFollowTheirBits)
{
    const rfb::PixelFormat& pf = Bgr233();
    Viewer v(pf, 3, 3);
    Bytes b;
    PutHeader(b, 0, 0, 3, 3, enc::Solid);
    PutPixel(b, pf, 0x38);
    // XORMonoColor 3 x 3: a 2-byte mask; bit 0 of byte 0 is the top-left
    // pixel, bit 0 of byte 1 the bottom-right one.
    Deflater stream;
    PutHeader(b, 0, 0, 3, 3, enc::XorMono);
    const Bytes mono = stream.compress({0x01, 0x01, 0x07, 0xC0});
    PutU32(b, static_cast<uint32_t>(mono.size()));
    Append(b, mono);
    v.decodeAll(b);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(v.at(i % 3, i / 3), i == 0 || i == 8 ? 0x0000FFu : 0xFF0000u) << i;
    // XOR_Zlib with an all-zero mask carries no pixels and changes nothing.
    b.clear();
    PutHeader(b, 0, 0, 3, 3, enc::XorZlib);
    const Bytes none = stream.compress({0x00, 0x00});
    PutU32(b, static_cast<uint32_t>(none.size()));
    Append(b, none);
    v.decodeAll(b);
    EXPECT_EQ(v.at(0, 0), 0x0000FFu);
    EXPECT_EQ(v.at(1, 0), 0xFF0000u);
}

TEST(UltraZip, ASubRectanglePastTheEdgeEndsTheRectangle)
{
    const rfb::PixelFormat& pf = Bgr233();
    Viewer v(pf, 10, 10);
    Bytes data;
    const rfb::Rect parts[] = {rfb::Rect(0, 0, 2, 2), rfb::Rect(9, 0, 11, 2), rfb::Rect(4, 4, 6, 6)};
    for (const rfb::Rect& r : parts) {
        PutHeader(data, r.left, r.top, r.width(), r.height(), enc::Raw);
        Append(data, Bytes(4, 0x07));
    }
    const Bytes packed = Lzo(data);
    Bytes b;
    PutHeader(b, 3, static_cast<int>(data.size()), 0, 0, enc::UltraZip);
    PutU32(b, static_cast<uint32_t>(packed.size()));
    Append(b, packed);
    Append(b, Marker(9, 9));
    v.decodeAll(b);
    EXPECT_TRUE(ShowsColour(v, 0xFF0000, parts[0]));
    EXPECT_TRUE(ShowsColour(v, 0, rfb::Rect(9, 0, 10, 2)));
    EXPECT_TRUE(ShowsColour(v, 0, parts[2]));
    EXPECT_EQ(v.changed.front(), parts[0]);
}

TEST(SolMonoZip, ASolidSubRectangleCarriesOnePixel)
{
    const rfb::PixelFormat& pf = FormatNamed("rgb565").pf;
    Viewer v(pf, 10, 10);
    Bytes data;
    PutHeader(data, 0, 0, 5, 5, enc::Solid);
    PutPixel(data, pf, 0xF800);
    PutHeader(data, 5, 5, 1, 2, enc::Raw);
    PutPixel(data, pf, 0x07E0), PutPixel(data, pf, 0x001F);
    const Bytes packed = ZlibOnce(data);
    Bytes b;
    PutHeader(b, 2, static_cast<int>(data.size()), 0, 0, enc::SolMonoZip);
    PutU32(b, static_cast<uint32_t>(packed.size()));
    Append(b, packed);
    v.decodeOne(b);
    EXPECT_TRUE(ShowsColour(v, 0xFF0000, rfb::Rect(0, 0, 5, 5)));
    EXPECT_EQ(v.at(5, 5), 0x00FF00u);
    EXPECT_EQ(v.at(5, 6), 0x0000FFu);
    EXPECT_EQ(v.changed.size(), 2u);
}

TEST(Blocks, LzoAndZlibBlocksThatFailAreAbandonedInStep)
{
    const rfb::PixelFormat& pf = Bgr233();
    const Bytes junk = {0x11, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x12};
    struct BlockCase {
        const char* name;
        int32_t encoding;
        int x, y, w, h;
        Bytes data;
    };
    const BlockCase cases[] = {
        {"Ultra, junk", enc::Ultra, 0, 0, 4, 4, junk},
        {"Ultra, one pixel short", enc::Ultra, 0, 0, 4, 4, Lzo(Bytes(15, 7))},
        {"Ultra, one pixel long", enc::Ultra, 0, 0, 4, 4, Lzo(Bytes(17, 7))},
        {"UltraZip, shorter than announced", enc::UltraZip, 1, 20, 0, 0, Lzo(Bytes(12, 0))},
        {"SolMonoZip, junk", enc::SolMonoZip, 1, 20, 0, 0, junk},
        {"SolMonoZip, unknown sub-encoding", enc::SolMonoZip, 1, 12, 0, 0, ZlibOnce({0, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 7})},
        {"UltraZip, unknown sub-encoding", enc::UltraZip, 1, 12, 0, 0, Lzo({0, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 7})},
    };
    for (const BlockCase& c : cases) {
        SCOPED_TRACE(c.name);
        Viewer v(pf, 10, 10);
        Bytes b;
        PutHeader(b, c.x, c.y, c.w, c.h, c.encoding);
        PutU32(b, static_cast<uint32_t>(c.data.size()));
        Append(b, c.data);
        Append(b, Marker(9, 9));
        const auto results = v.decodeAll(b);
        ASSERT_EQ(results.size(), 2u);
        EXPECT_EQ(results[0], decode::RectResult::Abandoned);
        EXPECT_EQ(v.log.size(), 1u);
        EXPECT_TRUE(ShowsColour(v, 0, rfb::Rect(0, 0, 9, 9)));
        EXPECT_EQ(v.at(9, 9), 0x0000FFu);
    }
}

} // namespace
} // namespace testdecode
