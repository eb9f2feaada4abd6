// The viewer's outgoing bytes and its reading of the start reply, checked
// against bytes written out by hand.
#include "Technician/connection/ViewerWire.h"
#include "rfb/tests/TestFormats.h"

#include <gtest/gtest.h>

namespace viewer {
namespace {

using testformats::Make;

Bytes Be32(const std::vector<int32_t>& values)
{
    Bytes b;
    for (int32_t v : values) {
        const uint32_t u = static_cast<uint32_t>(v);
        b.insert(b.end(), {static_cast<uint8_t>(u >> 24), static_cast<uint8_t>(u >> 16), static_cast<uint8_t>(u >> 8),
                           static_cast<uint8_t>(u)});
    }
    return b;
}

TEST(ViewerWire, DefaultOpeningBytes)
{
    EXPECT_EQ(StartRequest(), (Bytes{0x4A, 0x01}));
    ClientFormat f;
    ASSERT_TRUE(ClientFormatFor(ViewerOptions().colourDepth, rfb::PixelFormat(), f));
    EXPECT_EQ(SetPixelFormatMessage(f),
              (Bytes{0, 0, 0, 0, 8, 8, 0, 1, 0, 7, 0, 7, 0, 3, 0, 3, 6, 0, 0, 0}));
    Bytes want = {2, 0, 0, 18};
    const Bytes list = Be32({16, 9, 8, 7, 6, 5, 4, 2, 1, 0, -250, -240, -239, -232, -26,
                             static_cast<int32_t>(0xFFFF0006u), -224, -223});
    want.insert(want.end(), list.begin(), list.end());
    EXPECT_EQ(SetEncodingsMessage(EncodingList(ViewerOptions())), want);
}

struct FormatRow {
    int depth;
    bool serverTrueColour;
    Bytes bytes; // the 16 format bytes of SetPixelFormat (after the 4-byte header)
};

TEST(ViewerWire, EveryPixelFormatRow)
{
    const rfb::PixelFormat trueServer = Make(32, 24, true, true, 255, 255, 255, 16, 8, 0);
    const rfb::PixelFormat mapServer = Make(8, 8, false, false, 0, 0, 0, 0, 0, 0);
    const FormatRow rows[] = {
        // Row 0 takes a true-colour server's format, byte order cleared.
        {0, true, {32, 24, 0, 1, 0, 255, 0, 255, 0, 255, 16, 8, 0, 0, 0, 0}},
        // A colour-map server gets 16-bit with red in the low six bits.
        {0, false, {16, 16, 0, 1, 0, 63, 0, 31, 0, 31, 0, 6, 11, 0, 0, 0}},
        {1, true, {8, 8, 0, 1, 0, 7, 0, 7, 0, 3, 0, 3, 6, 0, 0, 0}},
        {2, true, {8, 6, 0, 1, 0, 3, 0, 3, 0, 3, 4, 2, 0, 0, 0, 0}},
        {3, true, {8, 3, 0, 1, 0, 1, 0, 1, 0, 1, 2, 1, 0, 0, 0, 0}},
        {4, true, {8, 8, 0, 1, 0, 7, 0, 7, 0, 3, 0, 3, 6, 1, 0, 0}},
        {5, true, {8, 6, 0, 1, 0, 3, 0, 3, 0, 3, 4, 2, 0, 1, 0, 0}},
        {6, true, {8, 3, 0, 1, 0, 1, 0, 1, 0, 1, 2, 1, 0, 1, 0, 0}},
        {7, true, {32, 0, 0, 1, 0, 127, 0, 127, 0, 127, 1, 1, 1, 1, 0, 0}},
    };
    for (const FormatRow& row : rows) {
        ClientFormat f;
        ASSERT_TRUE(ClientFormatFor(row.depth, row.serverTrueColour ? trueServer : mapServer, f)) << row.depth;
        const Bytes m = SetPixelFormatMessage(f);
        EXPECT_EQ(Bytes(m.begin() + 4, m.end()), row.bytes) << "row " << row.depth;
    }
    ClientFormat kept;
    EXPECT_FALSE(ClientFormatFor(8, trueServer, kept));
    EXPECT_FALSE(ClientFormatFor(-1, trueServer, kept));
}

TEST(ViewerWire, EncodingListRules)
{
    // A preferred encoding whose flag is clear gives way to the next lower
    // enabled one, which then comes first.
    ViewerOptions o;
    o.preferredEncoding = 11;
    EXPECT_EQ(EncodingList(o).front(), 9);
    o.preferredEncoding = 5;
    o.useEncoding[5] = false;
    std::vector<int32_t> list = EncodingList(o);
    EXPECT_EQ(list.front(), 4);
    EXPECT_EQ(std::count(list.begin(), list.end(), 4), 1);
    EXPECT_EQ(std::count(list.begin(), list.end(), 5), 0);

    // No zlib-family encoding: no compression level. Ignored shapes: no
    // PointerPos. Cache on: its enabling pseudo-encoding last.
    ViewerOptions p;
    for (int e : {6, 7, 8})
        p.useEncoding[e] = false;
    p.ignoreCursorShapes = true;
    p.cacheEncoding = true;
    list = EncodingList(p);
    EXPECT_EQ(std::count(list.begin(), list.end(), -250), 0);
    EXPECT_EQ(std::count(list.begin(), list.end(), -232), 0);
    EXPECT_EQ(list.back(), static_cast<int32_t>(0xFFFF0001u));
}

TEST(ViewerWire, RequestsAndScale)
{
    EXPECT_EQ(UpdateRequestMessage(true, 1920, 1080), (Bytes{3, 1, 0, 0, 0, 0, 0x07, 0x80, 0x04, 0x38}));
    EXPECT_EQ(UpdateRequestMessage(false, 5, 6), (Bytes{3, 0, 0, 0, 0, 0, 0, 5, 0, 6}));
    EXPECT_EQ(SetScaleMessage(2), (Bytes{8, 2, 0, 0}));
}

Bytes Reply(int w, int h, Bytes format, uint32_t nameLength = 0, uint8_t type = 73, uint8_t token = 1)
{
    Bytes b = {type, token, static_cast<uint8_t>(w >> 8), static_cast<uint8_t>(w), static_cast<uint8_t>(h >> 8),
               static_cast<uint8_t>(h)};
    b.insert(b.end(), format.begin(), format.end());
    b.insert(b.end(), {0, 0, static_cast<uint8_t>(nameLength >> 24), static_cast<uint8_t>(nameLength >> 16),
                       static_cast<uint8_t>(nameLength >> 8), static_cast<uint8_t>(nameLength)});
    return b;
}

const Bytes kHostFormat = {32, 24, 0, 1, 0, 255, 0, 255, 0, 255, 16, 8, 0, 0, 0, 0};

TEST(ViewerWire, StartReplyAccepted)
{
    StartReply r;
    const Bytes b = Reply(1920, 1080, kHostFormat);
    ASSERT_EQ(b.size(), kStartReplyLength);
    EXPECT_EQ(ParseStartReply(b.data(), r), nullptr);
    EXPECT_EQ(r.width, 1920);
    EXPECT_EQ(r.height, 1080);
    EXPECT_EQ(r.server.bitsPerPixel, 32);
    EXPECT_EQ(r.server.redMax, 255);
    EXPECT_EQ(r.server.redShift, 16);
}

TEST(ViewerWire, StartReplyRefused)
{
    struct Case {
        const char* why;
        Bytes bytes;
    } cases[] = {
        {"another message type", Reply(100, 100, kHostFormat, 0, 0)},
        {"another token", Reply(100, 100, kHostFormat, 0, 73, 9)},
        {"width 0 (divides the fit)", Reply(0, 100, kHostFormat)},
        {"height 0", Reply(100, 0, kHostFormat)},
        {"65535 x 65535 (17 GB)", Reply(65535, 65535, kHostFormat)},
        {"side above 16384", Reply(16385, 10, kHostFormat)},
        {"more than 2^26 pixels", Reply(16384, 4097, kHostFormat)},
        {"12 bits per pixel", Reply(100, 100, {12, 12, 0, 1, 0, 15, 0, 15, 0, 15, 8, 4, 0, 0, 0, 0})},
        {"channel outside the pixel", Reply(100, 100, {16, 16, 0, 1, 0, 255, 0, 255, 0, 255, 16, 8, 0, 0, 0, 0})},
        {"a name length", Reply(100, 100, kHostFormat, 5)},
    };
    for (const Case& c : cases) {
        StartReply r;
        r.width = 77;
        EXPECT_NE(ParseStartReply(c.bytes.data(), r), nullptr) << c.why;
        EXPECT_EQ(r.width, 77) << c.why << ": nothing taken from a refused reply";
    }
    StartReply r;
    EXPECT_EQ(ParseStartReply(Reply(16384, 4096, kHostFormat).data(), r), nullptr) << "2^26 pixels exactly";
}

} // namespace
} // namespace viewer
