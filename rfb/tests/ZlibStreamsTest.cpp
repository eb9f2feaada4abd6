// zlib streams: one deflate stream spanning rectangles, bounded inflating of
// each rectangle's announced bytes, and every failure as an rdr::Exception.
#include "rfb/Exception.h"
#include "rfb/MemInStream.h"
#include "rfb/MemOutStream.h"
#include "rfb/ZlibInStream.h"
#include "rfb/ZlibOutStream.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes pattern(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(i % 7 == 0 ? rng() : i / 64);
    return b;
}

// Deflates each piece with a sync flush on one zlib stream, as the ZRLE
// encoder does per rectangle; returns the compressed piece of each.
std::vector<Bytes> deflatePieces(const std::vector<Bytes>& pieces)
{
    rdr::MemOutStream mem;
    rdr::ZlibOutStream zos(&mem);
    std::vector<Bytes> out;
    for (const Bytes& p : pieces) {
        mem.clear();
        zos.writeBytes(p.data(), p.size());
        zos.flush();
        out.emplace_back(mem.data(), mem.data() + mem.length());
    }
    return out;
}

// A rectangle on the wire: u32 length, compressed bytes, then a marker byte
// that belongs to the next message.
Bytes frame(const Bytes& compressed)
{
    rdr::MemOutStream wire;
    wire.writeU32(static_cast<uint32_t>(compressed.size()));
    wire.writeBytes(compressed.data(), compressed.size());
    wire.writeU8(0x5A);
    return Bytes(wire.data(), wire.data() + wire.length());
}

std::string textOf(const rdr::Exception& e)
{
    return e.str();
}

TEST(ZlibStreams, RectanglesShareOneStream)
{
    const Bytes rect = pattern(5000, 1);
    const auto pieces = deflatePieces({rect, rect});
    EXPECT_LT(pieces[1].size(), pieces[0].size()) << "the second rectangle refers back to the first";

    rdr::ZlibInStream zis;
    for (const Bytes& piece : pieces) {
        const Bytes wire = frame(piece);
        rdr::MemInStream sock(wire.data(), wire.size());
        zis.setUnderlying(&sock, sock.readU32());
        Bytes got(rect.size());
        zis.readBytes(got.data(), got.size());
        zis.reset();
        EXPECT_EQ(got, rect);
        EXPECT_EQ(sock.readU8(), 0x5A);
    }
    EXPECT_EQ(zis.pos(), 2 * rect.size());
}

TEST(ZlibStreams, SecondPieceAloneFailsOnAFreshStream)
{
    const Bytes rect = pattern(5000, 2);
    const auto pieces = deflatePieces({rect, rect});
    rdr::MemInStream sock(pieces[1].data(), pieces[1].size());
    rdr::ZlibInStream zis;
    zis.setUnderlying(&sock, pieces[1].size());
    Bytes got(rect.size());
    EXPECT_THROW(zis.readBytes(got.data(), got.size()), rdr::Exception);
}

// A reader that stops early: reset() inflates and drops the rest, including
// output zlib still holds, so the next rectangle starts in the right place.
TEST(ZlibStreams, ResetConsumesWhatTheReaderLeft)
{
    const Bytes first = pattern(60000, 3), second = pattern(3000, 4);
    const auto pieces = deflatePieces({first, second});
    rdr::ZlibInStream zis(1024);
    Bytes wire = frame(pieces[0]);
    const Bytes wire2 = frame(pieces[1]);
    wire.insert(wire.end(), wire2.begin(), wire2.end());
    rdr::MemInStream sock(wire.data(), wire.size());

    zis.setUnderlying(&sock, sock.readU32());
    EXPECT_EQ(zis.readU8(), first[0]);
    zis.reset();
    EXPECT_EQ(sock.readU8(), 0x5A);

    zis.setUnderlying(&sock, sock.readU32());
    Bytes got(second.size());
    zis.readBytes(got.data(), got.size());
    zis.reset();
    EXPECT_EQ(got, second);
    EXPECT_EQ(sock.readU8(), 0x5A);
}

// Reading past what the announced bytes inflate to fails at once: the
// underlying stream is not asked for the next message's bytes.
TEST(ZlibStreams, ReadingPastTheAnnouncedBytesThrowsWithoutTouchingTheNextMessage)
{
    const Bytes rect = pattern(2000, 5);
    const Bytes wire = frame(deflatePieces({rect})[0]);
    rdr::MemInStream sock(wire.data(), wire.size());
    rdr::ZlibInStream zis(512);
    zis.setUnderlying(&sock, sock.readU32());
    Bytes got(rect.size());
    zis.readBytes(got.data(), got.size());
    EXPECT_EQ(got, rect);
    EXPECT_EQ(zis.compressedRemaining(), 0u);
    try {
        zis.readU8();
        FAIL() << "no exception";
    } catch (const rdr::Exception& e) {
        EXPECT_EQ(textOf(e), "rdr::Exception: ZlibInStream: inflate failed");
    }
    EXPECT_EQ(sock.remaining(), 1u) << "the marker of the next message is still unread";
}

TEST(ZlibStreams, AnnouncedLengthShorterThanTheDataFails)
{
    const Bytes rect = pattern(8000, 6);
    const Bytes compressed = deflatePieces({rect})[0];
    rdr::MemInStream sock(compressed.data(), compressed.size());
    rdr::ZlibInStream zis;
    zis.setUnderlying(&sock, compressed.size() / 2);
    Bytes got(rect.size());
    EXPECT_THROW(zis.readBytes(got.data(), got.size()), rdr::Exception);
    EXPECT_EQ(sock.pos(), compressed.size() / 2);
}

TEST(ZlibStreams, UnderlyingStreamEndingEarlyThrowsEndOfStream)
{
    const Bytes rect = pattern(8000, 7);
    const Bytes compressed = deflatePieces({rect})[0];
    rdr::MemInStream sock(compressed.data(), compressed.size() / 2);
    rdr::ZlibInStream zis;
    zis.setUnderlying(&sock, compressed.size());
    Bytes got(rect.size());
    EXPECT_THROW(zis.readBytes(got.data(), got.size()), rdr::EndOfStream);
}

TEST(ZlibStreams, CorruptDataThrowsInflateFailed)
{
    Bytes compressed = deflatePieces({pattern(4000, 8)})[0];
    for (size_t i = 2; i < compressed.size(); i += 3)
        compressed[i] ^= 0xA5;
    rdr::MemInStream sock(compressed.data(), compressed.size());
    rdr::ZlibInStream zis;
    zis.setUnderlying(&sock, compressed.size());
    Bytes got(4000);
    try {
        zis.readBytes(got.data(), got.size());
        zis.reset();
        FAIL() << "corrupt data accepted";
    } catch (const rdr::EndOfStream&) {
        FAIL() << "read past the announced bytes";
    } catch (const rdr::Exception& e) {
        EXPECT_EQ(textOf(e), "rdr::Exception: ZlibInStream: inflate failed");
    }
}

// A peer that finishes its zlib stream (as one-call compress does) gives
// no more output; asking for more fails instead of spinning.
TEST(ZlibStreams, FinishedStreamThenMoreDataFails)
{
    const Bytes plain = pattern(300, 9);
    Bytes compressed(compressBound(static_cast<uLong>(plain.size())) + 16);
    uLongf size = static_cast<uLongf>(compressed.size());
    ASSERT_EQ(compress(compressed.data(), &size, plain.data(), static_cast<uLong>(plain.size())), Z_OK);
    compressed.resize(size);
    compressed.insert(compressed.end(), 8, 0x11);

    rdr::MemInStream sock(compressed.data(), compressed.size());
    rdr::ZlibInStream zis;
    zis.setUnderlying(&sock, compressed.size());
    Bytes got(plain.size());
    zis.readBytes(got.data(), got.size());
    EXPECT_EQ(got, plain);
    EXPECT_THROW(zis.readU8(), rdr::Exception);
}

TEST(ZlibStreams, MisuseThrowsTheClassMessages)
{
    rdr::ZlibInStream zis(64);
    try {
        zis.readU8();
        FAIL();
    } catch (const rdr::Exception& e) {
        EXPECT_EQ(textOf(e), "rdr::Exception: ZlibInStream overrun: no underlying stream");
    }
    const uint8_t none = 0;
    rdr::MemInStream sock(&none, 0);
    zis.setUnderlying(&sock, 0);
    try {
        zis.check(65);
        FAIL();
    } catch (const rdr::Exception& e) {
        EXPECT_EQ(textOf(e), "rdr::Exception: ZlibInStream overrun: max itemSize exceeded");
    }

    rdr::MemOutStream mem;
    rdr::ZlibOutStream zos(&mem, 64);
    try {
        zos.check(65);
        FAIL();
    } catch (const rdr::Exception& e) {
        EXPECT_EQ(textOf(e), "rdr::Exception: ZlibOutStream overrun: max itemSize exceeded");
    }
}

// Writes larger than the deflate buffer go through overrun; the result
// inflates back to the same bytes with plain zlib.
TEST(ZlibStreams, OutStreamOutputIsPlainZlib)
{
    const Bytes plain = pattern(100000, 10);
    rdr::MemOutStream mem(16);
    rdr::ZlibOutStream zos(&mem, 256, 9);
    for (size_t i = 0; i < plain.size(); i += 4)
        zos.writeOpaque32(static_cast<uint32_t>(plain[i] | plain[i + 1] << 8 | plain[i + 2] << 16 |
                                                static_cast<uint32_t>(plain[i + 3]) << 24));
    EXPECT_EQ(zos.length(), plain.size());
    zos.flush();

    Bytes back(plain.size());
    uLongf backSize = static_cast<uLongf>(back.size());
    z_stream zs{};
    ASSERT_EQ(inflateInit(&zs), Z_OK);
    zs.next_in = const_cast<Bytef*>(mem.data());
    zs.avail_in = static_cast<uInt>(mem.length());
    zs.next_out = back.data();
    zs.avail_out = static_cast<uInt>(backSize);
    EXPECT_EQ(inflate(&zs, Z_SYNC_FLUSH), Z_OK);
    EXPECT_EQ(zs.avail_out, 0u);
    inflateEnd(&zs);
    EXPECT_EQ(back, plain);
}

} // namespace
