// ZRLE tiles written by hand from the protocol: every sub-encoding, tile
// order, packed rows, runs, compact pixels, and how bad tiles end the session.
#include "Technician/decode/DecodeError.h"
#include "Technician/decode/PixelColours.h"
#include "Technician/decode/tests/DecodeHarness.h"
#include "Technician/decode/tests/TestEncoders.h"

namespace testdecode {
namespace {

// A ZRLE rectangle whose tiles are `tiles` (uncompressed), on `stream`.
Bytes ZrleRect(Deflater& stream, int x, int y, int w, int h, const Bytes& tiles)
{
    const Bytes packed = stream.compress(tiles);
    Bytes b;
    PutHeader(b, x, y, w, h, enc::ZRLE);
    PutU32(b, static_cast<uint32_t>(packed.size()));
    Append(b, packed);
    return b;
}

// host32 sends its pixels as three bytes, least significant first.
void Cpixel(Bytes& b, uint32_t rgb)
{
    PutU8(b, rgb), PutU8(b, rgb >> 8), PutU8(b, rgb >> 16);
}

void RunLength(Bytes& b, size_t run)
{
    for (run -= 1; run >= 255; run -= 255)
        PutU8(b, 255);
    PutU8(b, static_cast<unsigned>(run));
}

const rfb::PixelFormat& Host32()
{
    return FormatNamed("host32").pf;
}

// A tile of every sub-encoding: its bytes and the colours it must show.
struct Tile {
    Bytes data;
    std::vector<uint32_t> colours;
};

Tile MakeTile(unsigned subencoding, int tw, int th)
{
    Tile t;
    const size_t n = static_cast<size_t>(tw) * th;
    const size_t paletteSize = subencoding & 127;
    std::vector<uint32_t> palette;
    for (size_t i = 0; i < paletteSize; ++i)
        palette.push_back(static_cast<uint32_t>(0x010203 * (i + 1)) & 0xFFFFFF);
    PutU8(t.data, subencoding);
    for (uint32_t p : palette)
        Cpixel(t.data, p);
    if (subencoding == 0) {
        for (size_t i = 0; i < n; ++i) {
            t.colours.push_back(static_cast<uint32_t>(i * 0x030507) & 0xFFFFFF);
            Cpixel(t.data, t.colours.back());
        }
    } else if (paletteSize == 1) {
        t.colours.assign(n, palette[0]);
    } else if (subencoding == 128) {
        for (size_t i = 0; i < n; i += 3) {
            const size_t run = std::min<size_t>(3, n - i);
            const uint32_t c = static_cast<uint32_t>(i * 0x010101) & 0xFFFFFF;
            Cpixel(t.data, c);
            RunLength(t.data, run);
            t.colours.insert(t.colours.end(), run, c);
        }
    } else if (subencoding & 128) {
        for (size_t i = 0, k = 0; i < n; i += 3, ++k) {
            const size_t run = std::min<size_t>(3, n - i);
            PutU8(t.data, 128 | static_cast<unsigned>(k % paletteSize));
            RunLength(t.data, run);
            t.colours.insert(t.colours.end(), run, palette[k % paletteSize]);
        }
    } else {
        const unsigned bits = paletteSize == 2 ? 1 : paletteSize <= 4 ? 2 : paletteSize <= 16 ? 4 : 8;
        for (int y = 0; y < th; ++y) {
            Bytes row((static_cast<size_t>(tw) * bits + 7) / 8);
            for (int x = 0; x < tw; ++x) {
                const size_t index = static_cast<size_t>(x + y) % paletteSize;
                const size_t bit = static_cast<size_t>(x) * bits;
                row[bit / 8] |= static_cast<uint8_t>(index << (8 - bits - bit % 8));
                t.colours.push_back(palette[index]);
            }
            Append(t.data, row);
        }
    }
    return t;
}

TEST(Zrle, EverySubEncodingDecodesAsTheProtocolSays)
{
    for (unsigned s = 0; s < 256; ++s) {
        SCOPED_TRACE(s);
        Viewer v(Host32(), 16, 16);
        Deflater stream;
        const Tile t = MakeTile(s, 7, 5);
        v.decodeOne(ZrleRect(stream, 2, 3, 7, 5, t.data));
        ClientImage want{Host32(), 16, 16, std::vector<uint32_t>(256, 0)};
        for (int i = 0; i < 35; ++i)
            want.at(2 + i % 7, 3 + i / 7) = t.colours[static_cast<size_t>(i)];
        ASSERT_TRUE(Shows(v, want, rfb::Rect(0, 0, 16, 16)));
    }
}

TEST(Zrle, TilesOfA65By65RectangleComeInRowOrder)
{
    Viewer v(Host32(), 70, 70);
    Deflater stream;
    Bytes tiles;
    const uint32_t colours[4] = {0x112233, 0x445566, 0x778899, 0xAABBCC};
    for (uint32_t c : colours)
        PutU8(tiles, 1), Cpixel(tiles, c);
    v.decodeOne(ZrleRect(stream, 0, 0, 65, 65, tiles));
    EXPECT_TRUE(ShowsColour(v, colours[0], rfb::Rect(0, 0, 64, 64)));
    EXPECT_TRUE(ShowsColour(v, colours[1], rfb::Rect(64, 0, 65, 64)));
    EXPECT_TRUE(ShowsColour(v, colours[2], rfb::Rect(0, 64, 64, 65)));
    EXPECT_TRUE(ShowsColour(v, colours[3], rfb::Rect(64, 64, 65, 65)));
    EXPECT_TRUE(ShowsColour(v, 0, rfb::Rect(65, 0, 70, 70)));
}

TEST(Zrle, IndexByte0x93SelectsSlot19AndPackedRowsStartOnAByte)
{
    Viewer v(Host32(), 10, 2);
    Deflater stream;
    Bytes tiles;
    // Palette of 20: one index byte a pixel, masked to 7 bits.
    PutU8(tiles, 20);
    for (uint32_t i = 0; i < 20; ++i)
        Cpixel(tiles, 0x000100 * i + 1);
    PutU8(tiles, 0x93);
    // Then a 2-colour tile 10 wide: 2 bytes a row, the spare 6 bits ignored.
    v.decodeOne(ZrleRect(stream, 0, 0, 1, 1, tiles));
    EXPECT_EQ(v.at(0, 0), 0x000100u * 19 + 1);
    tiles.clear();
    PutU8(tiles, 2);
    Cpixel(tiles, 0x000011), Cpixel(tiles, 0x002200);
    PutU8(tiles, 0xAA), PutU8(tiles, 0x7F); // 1010101010 then 01 + junk
    PutU8(tiles, 0x00), PutU8(tiles, 0xFF); // 0000000011 + junk
    v.decodeOne(ZrleRect(stream, 0, 0, 10, 2, tiles));
    const char* rows[2] = {"1010101001", "0000000011"};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 10; ++x)
            EXPECT_EQ(v.at(x, y), rows[y][x] == '1' ? 0x002200u : 0x000011u) << x << "," << y;
}

TEST(Zrle, RunLengthsAddUpAcrossRows)
{
    struct RunCase {
        const char* name;
        std::vector<unsigned> lengthBytes; // of the first run
        size_t start;                      // pixels before it
        size_t run;
    };
    const RunCase cases[] = {
        {"255, 255, 10 is 521", {255, 255, 10}, 0, 521},
        {"0 is 1", {0}, 0, 1},
        {"200 from column 10: part row, two rows, part row", {199}, 10, 200},
        {"128 from column 0: two whole rows", {127}, 0, 128},
        {"one run covers the tile", {255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 15}, 0, 4096},
    };
    const uint32_t a = 0x0000AA, b = 0x00BB00;
    for (const RunCase& c : cases) {
        SCOPED_TRACE(c.name);
        Viewer v(Host32(), 64, 64);
        Deflater stream;
        Bytes tiles;
        PutU8(tiles, 128 + 2);
        Cpixel(tiles, a), Cpixel(tiles, b);
        if (c.start)
            PutU8(tiles, 0x80), RunLength(tiles, c.start);
        PutU8(tiles, 0x81);
        for (unsigned byte : c.lengthBytes)
            PutU8(tiles, byte);
        if (c.start + c.run < 4096)
            PutU8(tiles, 0x80), RunLength(tiles, 4096 - c.start - c.run);
        v.decodeOne(ZrleRect(stream, 0, 0, 64, 64, tiles));
        for (size_t i = 0; i < 4096; ++i) {
            const bool inRun = i >= c.start && i < c.start + c.run;
            ASSERT_EQ(v.at(static_cast<int>(i % 64), static_cast<int>(i / 64)), inRun ? b : a) << i;
        }
    }
}

TEST(Zrle, CompactPixelsFollowTheSharedRule)
{
    struct CpixelCase {
        const char* format;
        size_t wireBytes;
        uint32_t wireValue; // of the bytes 10 20 30 (40)
    };
    const CpixelCase cases[] = {
        {"host32", 3, 0x302010},      // low three bytes
        {"rgb888high", 3, 0x30201000}, // high three bytes
        {"rgb888be", 3, 0x30201000},  // big-endian, colour in the low bytes of the value
        {"viewer32grey", 3, 0x302010},
        {"rgb101010", 4, 0x40302010}, // maxima 1023: whole pixels
    };
    for (const CpixelCase& c : cases) {
        SCOPED_TRACE(c.format);
        const rfb::PixelFormat& pf = FormatNamed(c.format).pf;
        Viewer v(pf, 4, 4);
        Deflater stream;
        Bytes tiles = {1, 0x10, 0x20, 0x30, 0x40};
        tiles.resize(1 + c.wireBytes);
        v.decodeOne(ZrleRect(stream, 0, 0, 4, 4, tiles));
        EXPECT_EQ(v.at(3, 3), decode::PixelColours(pf).colour(c.wireValue));
    }
    EXPECT_EQ(decode::PixelColours(Host32()).colour(0x302010), 0x302010u);
}

TEST(Zrle, WidthZeroConsumesItsBytesAndPastTheEdgeIsReadWhole)
{
    Viewer v(Host32(), 40, 40);
    Deflater stream;
    Bytes tiles;
    Bytes bytes = ZrleRect(stream, 0, 0, 0, 5, tiles);
    // 30 x 30 at (20, 20): all four quadrants' data are read, a quarter drawn.
    PutU8(tiles, 1), Cpixel(tiles, 0x123456);
    Append(bytes, ZrleRect(stream, 20, 20, 30, 30, tiles));
    tiles.clear();
    PutU8(tiles, 1), Cpixel(tiles, 0x654321);
    Append(bytes, ZrleRect(stream, 0, 0, 10, 10, tiles));
    v.decodeAll(bytes);
    EXPECT_TRUE(ShowsColour(v, 0x123456, rfb::Rect(20, 20, 40, 40)));
    EXPECT_TRUE(ShowsColour(v, 0x654321, rfb::Rect(0, 0, 10, 10)));
}

TEST(Zrle, BadTilesEndTheSessionWithTheLogLine)
{
    struct BadCase {
        const char* name;
        Bytes tiles;
        int w, h;
    };
    Bytes beyond17 = {17};
    beyond17.resize(1 + 17 * 3);
    beyond17.push_back(17);
    const BadCase cases[] = {
        {"8-bit index beyond a palette of 17", beyond17, 1, 1},
        {"plain run past the tile", {128, 1, 2, 3, 16}, 4, 4},
        {"palette run past the tile", {130, 1, 2, 3, 4, 5, 6, 0x81, 16}, 4, 4},
        {"palette run index beyond the palette", {130, 1, 2, 3, 4, 5, 6, 0x82, 14}, 4, 4},
        {"packed index beyond a palette of 3", {3, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0xFF}, 4, 1},
        {"tiles want more than the length holds", {0, 1, 2, 3}, 4, 4},
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.name);
        Viewer v(Host32(), 8, 8);
        Deflater stream;
        EXPECT_THROW(v.decodeOne(ZrleRect(stream, 0, 0, c.w, c.h, c.tiles)), rdr::Exception);
        ASSERT_EQ(v.log.size(), 1u);
        EXPECT_EQ(v.log[0].rfind("ZRLE decoder exception: ", 0), 0u);
        EXPECT_TRUE(ShowsColour(v, 0, rfb::Rect(0, 0, 8, 8)));
    }
    Viewer v(Host32(), 8, 8);
    Bytes corrupt;
    PutHeader(corrupt, 0, 0, 4, 4, enc::ZRLE);
    PutU32(corrupt, 4);
    Append(corrupt, {0xDE, 0xAD, 0xBE, 0xEF});
    EXPECT_THROW(v.decodeOne(corrupt), rdr::Exception);
    EXPECT_EQ(v.log.size(), 1u);
}

} // namespace
} // namespace testdecode
