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

// A viewer may ask for an update before its SetEncodings: Raw serves it,
// in the viewer's format when it sent one.
TEST(ClientEncoding, RawServesUntilTheViewerChooses)
{
    Fixture f;
    ASSERT_EQ(f.enc.SetClientFormat(testframes::Host16()), 1);
    ASSERT_NE(f.enc.Encoder(), nullptr);
    EXPECT_EQ(f.enc.Encoding(), 0);
    EXPECT_EQ(f.enc.Encoder()->RemoteBytesPerPixel(), 2);
    ASSERT_EQ(f.enc.SetEncoding(5, false), 1);
    ASSERT_EQ(f.enc.EnsureEncoder(), 1);
    EXPECT_EQ(f.enc.Encoding(), 5);
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
