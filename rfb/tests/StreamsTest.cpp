// Memory streams, the inline readers and writers, and the exception texts.
#include "rfb/Exception.h"
#include "rfb/MemInStream.h"
#include "rfb/MemOutStream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using rdr::MemInStream;
using rdr::MemOutStream;

TEST(RdrException, TextsNameTheClass)
{
    EXPECT_STREQ(rdr::Exception().str(), "rdr::Exception");
    EXPECT_STREQ(rdr::Exception("ZlibInStream: inflate failed").str(), "rdr::Exception: ZlibInStream: inflate failed");
    EXPECT_STREQ(rdr::EndOfStream().str(), "rdr::EndOfStream");
    EXPECT_STREQ(rdr::TimedOut().str(), "rdr::TimedOut");
    rdr::SystemException se("read", 104);
    EXPECT_EQ(se.err, 104);
    const std::string text = se.str();
    EXPECT_EQ(text.rfind("rdr::SystemException: read: ", 0), 0u) << text;
    EXPECT_NE(text.find(" (104)"), std::string::npos) << text;
}

TEST(RdrException, LongMessageIsCutAt255)
{
    const std::string huge(1000, 'x');
    EXPECT_EQ(std::strlen(rdr::Exception(huge.c_str()).str()), 255u);
}

TEST(MemInStream, ReadsBigEndianIntegersAndOpaquePixels)
{
    const uint8_t bytes[] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0, 0x10, 0x20, 0x30,
                             0x10, 0x20, 0x30, 0x01, 0x02, 0x03, 0x04, 0xFF, 0xAB, 0xCD};
    MemInStream in(bytes, sizeof bytes);
    EXPECT_EQ(in.readU8(), 0x12);
    EXPECT_EQ(in.readU16(), 0x3456);
    EXPECT_EQ(in.readU32(), 0x789ABCDEu);
    EXPECT_EQ(in.readU8(), 0xF0);
    EXPECT_EQ(in.readOpaque24A(), 0x302010u);
    EXPECT_EQ(in.readOpaque24B(), 0x30201000u);
    EXPECT_EQ(in.readOpaque32(), 0x04030201u);
    EXPECT_EQ(in.readS8(), -1);
    EXPECT_EQ(in.readOpaque16(), 0xCDABu);
    EXPECT_EQ(in.pos(), sizeof bytes);
}

// Every read that asks for more than is left throws EndOfStream and never
// reads past the end (the sanitizers see the exact-size block).
TEST(MemInStream, ShortReadsThrowEndOfStream)
{
    struct Case {
        size_t have;
        void (*read)(MemInStream&);
    };
    const Case cases[] = {
        {0, [](MemInStream& s) { s.readU8(); }},
        {1, [](MemInStream& s) { s.readU16(); }},
        {3, [](MemInStream& s) { s.readU32(); }},
        {2, [](MemInStream& s) { s.readOpaque24A(); }},
        {9, [](MemInStream& s) {
             uint8_t buf[10];
             s.readBytes(buf, sizeof buf);
         }},
        {5, [](MemInStream& s) { s.skip(6); }},
        {4, [](MemInStream& s) { s.check(1, SIZE_MAX); s.skip(SIZE_MAX); }},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> data(c.have, 0xAA);
        MemInStream in(data.data(), data.size());
        EXPECT_THROW(c.read(in), rdr::EndOfStream) << "have " << c.have;
    }
}

TEST(MemInStream, CheckReportsHowManyItemsFit)
{
    const uint8_t bytes[10] = {};
    MemInStream in(bytes, sizeof bytes);
    EXPECT_EQ(in.check(4, 2), 2u);
    EXPECT_EQ(in.check(4, 5), 2u);
    EXPECT_EQ(in.check(3, SIZE_MAX), 3u);
}

TEST(MemOutStream, GrowsToTwiceItsCapacity)
{
    MemOutStream out;
    EXPECT_EQ(out.capacity(), 1024u);
    const std::vector<uint8_t> data(1500, 7);
    out.writeBytes(data.data(), data.size());
    EXPECT_EQ(out.capacity(), 2048u);
    EXPECT_EQ(out.length(), 1500u);
    EXPECT_EQ(std::memcmp(out.data(), data.data(), data.size()), 0);

    const std::vector<uint8_t> big(10000, 9);
    out.writeBytes(big.data(), big.size());
    EXPECT_EQ(out.capacity(), 11500u);
    EXPECT_EQ(out.length(), 11500u);
}

TEST(MemOutStream, WritersRoundTripThroughReaders)
{
    MemOutStream out(4);
    out.writeU8(0xFE);
    out.writeU16(0x1234);
    out.writeU32(0xCAFEBABE);
    out.writeS16(-2);
    out.writeOpaque16(0xBEEF);
    out.writeOpaque24A(0x00ABCDEF);
    out.writeOpaque24B(0xABCDEF00);
    out.writeOpaque32(0x01020304);
    out.pad(3);
    const uint8_t opaque32[] = {0x04, 0x03, 0x02, 0x01};
    ASSERT_EQ(out.length(), 1u + 2 + 4 + 2 + 2 + 3 + 3 + 4 + 3);
    EXPECT_EQ(std::memcmp(out.data() + 17, opaque32, 4), 0);

    MemInStream in(out.data(), out.length());
    EXPECT_EQ(in.readU8(), 0xFE);
    EXPECT_EQ(in.readU16(), 0x1234);
    EXPECT_EQ(in.readU32(), 0xCAFEBABEu);
    EXPECT_EQ(in.readS16(), -2);
    EXPECT_EQ(in.readOpaque16(), 0xBEEF);
    EXPECT_EQ(in.readOpaque24A(), 0x00ABCDEFu);
    EXPECT_EQ(in.readOpaque24B(), 0xABCDEF00u);
    EXPECT_EQ(in.readOpaque32(), 0x01020304u);
}

TEST(MemOutStream, ClearReusesTheBuffer)
{
    MemOutStream out;
    out.writeU32(1);
    out.clear();
    EXPECT_EQ(out.length(), 0u);
    out.writeU8(5);
    EXPECT_EQ(out.data()[0], 5);
}

TEST(MemOutStream, AbsurdSizeThrowsInsteadOfWrapping)
{
    MemOutStream out;
    out.writeU8(1);
    EXPECT_THROW(out.check(16, SIZE_MAX / 8), rdr::Exception);
    EXPECT_THROW(out.check(1, MemOutStream::kMaxSize), rdr::Exception);
    EXPECT_EQ(out.length(), 1u);
}

} // namespace
