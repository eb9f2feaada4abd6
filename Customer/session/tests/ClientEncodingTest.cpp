// Encoder choice and the settings a viewer's SetEncodings delivers.
#include "Customer/tests/MemoryScreen.h"
#include "Customer/session/vncClientEncoding.h"
#include "Customer/encode/vncEncodeZRLE.h"

#include <gtest/gtest.h>

namespace {

struct Fixture {
    MemoryScreen screen{testframes::Host32(), 1024, 768};
    vncClientBuffer buffer;
    vncClientEncoding enc;
    Fixture()
    {
        buffer.SetSource(&screen);
        EXPECT_TRUE(buffer.CheckBuffer());
        enc.SetBuffer(&buffer);
    }
};

TEST(ClientEncoding, RawBufferFollowsTheViewerFormat)
{
    Fixture f;
    ASSERT_EQ(f.enc.SetEncoding(0, false), 1);
    EXPECT_EQ(f.enc.ClientBufferSize(), 1024u * 768u * 4u + 12u);
    rfb::PixelFormat pf16 = testframes::Host16();
    ASSERT_EQ(f.enc.SetClientFormat(pf16), 1);
    EXPECT_EQ(f.enc.ClientBufferSize(), 1024u * 768u * 2u + 12u);
}

// A 16-bit host with a 32-bit viewer: the bound is the viewer's pixels.
TEST(ClientEncoding, SixteenBitHostThirtyTwoBitViewer)
{
    MemoryScreen screen(testframes::Host16(), 64, 64);
    vncClientBuffer buffer;
    buffer.SetSource(&screen);
    ASSERT_TRUE(buffer.CheckBuffer());
    vncClientEncoding enc;
    enc.SetBuffer(&buffer);
    ASSERT_EQ(enc.SetClientFormat(testframes::Host32()), 1);
    ASSERT_EQ(enc.SetEncoding(5, false), 1);
    EXPECT_EQ(enc.ClientBufferSize(), 5u * 5u + 64u * 64u * 4u + 12u);
}

TEST(ClientEncoding, ZrleEncoderIsKeptAcrossChanges)
{
    Fixture f;
    ASSERT_EQ(f.enc.SetEncoding(16, false), 1);
    vncEncoder* zrle = f.enc.Encoder();
    ASSERT_NE(dynamic_cast<vncEncodeZRLE*>(zrle), nullptr);
    ASSERT_EQ(f.enc.SetEncoding(5, false), 1);
    EXPECT_NE(f.enc.Encoder(), zrle);
    ASSERT_EQ(f.enc.SetEncoding(16, false), 1);
    EXPECT_EQ(f.enc.Encoder(), zrle);
}

TEST(ClientEncoding, RefusalsLeaveNoEncoder)
{
    Fixture f;
    ASSERT_EQ(f.enc.SetEncoding(5, false), 1);
    EXPECT_EQ(f.enc.SetEncoding(3, false), 0);
    EXPECT_EQ(f.enc.Encoder(), nullptr);
    // A format the translation cannot serve: the new encoder is not kept.
    rfb::PixelFormat bad = testframes::Host32();
    bad.bitsPerPixel = 24;
    f.enc.SetClientFormat(bad);
    EXPECT_EQ(f.enc.SetEncoding(5, false), 0);
    EXPECT_EQ(f.enc.Encoder(), nullptr);
}

TEST(ClientEncoding, LevelsOutsideTheRangeBecomeDefaults)
{
    Fixture f;
    ASSERT_EQ(f.enc.SetEncoding(16, false), 1);
    f.enc.SetCompressLevel(12);
    EXPECT_EQ(f.enc.Settings().compressLevel, 6);
    f.enc.SetCompressLevel(2);
    EXPECT_EQ(f.enc.Encoder()->CompressLevel(), 2);
    f.enc.SetQualityLevel(-1);
    EXPECT_EQ(f.enc.Settings().qualityLevel, -1);
    f.enc.SetQualityLevel(10);
    EXPECT_EQ(f.enc.Settings().qualityLevel, -1);
    f.enc.SetQualityLevel(3);
    EXPECT_EQ(f.enc.Encoder()->QualityLevel(), 3);
}

} // namespace
