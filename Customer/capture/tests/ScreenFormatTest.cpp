#include "Customer/capture/ScreenFormat.h"

#include <gtest/gtest.h>

TEST(ScreenFormat, CaptureDepths)
{
    EXPECT_EQ(CaptureBitCount(1), 8);
    EXPECT_EQ(CaptureBitCount(4), 8);
    EXPECT_EQ(CaptureBitCount(8), 8);
    EXPECT_EQ(CaptureBitCount(16), 16);
    EXPECT_EQ(CaptureBitCount(24), 32);
    EXPECT_EQ(CaptureBitCount(32), 32);
}

TEST(ScreenFormat, ShiftsFromMasks)
{
    rfb::PixelFormat pf;
    uint32_t r, g, b;
    ASSERT_TRUE(DefaultRgbMasks(16, &r, &g, &b));
    ASSERT_TRUE(SetPixShifts(pf, r, g, b));
    EXPECT_EQ(pf.redMax, 31);
    EXPECT_EQ(pf.greenMax, 31);
    EXPECT_EQ(pf.blueMax, 31);
    EXPECT_EQ(pf.redShift, 10);
    EXPECT_EQ(pf.greenShift, 5);
    EXPECT_EQ(pf.blueShift, 0);
    ASSERT_TRUE(DefaultRgbMasks(32, &r, &g, &b));
    ASSERT_TRUE(SetPixShifts(pf, r, g, b));
    EXPECT_EQ(pf.redMax, 255);
    EXPECT_EQ(pf.redShift, 16);
    ASSERT_TRUE(SetPixShifts(pf, 0xF800, 0x07E0, 0x001F));
    EXPECT_EQ(pf.greenMax, 63);
    EXPECT_FALSE(DefaultRgbMasks(8, &r, &g, &b));
}

// A zero mask has no trailing-zero count: the format is refused, unchanged.
TEST(ScreenFormat, ZeroOrBrokenMasksFail)
{
    rfb::PixelFormat pf;
    pf.redMax = 7;
    EXPECT_FALSE(SetPixShifts(pf, 0, 0xFF00, 0xFF));
    EXPECT_FALSE(SetPixShifts(pf, 0xFF0000, 0xF0F0, 0xFF));
    EXPECT_EQ(pf.redMax, 7);
}

TEST(ScreenFormat, OsClass)
{
    struct Case {
        unsigned platform, major, minor;
        int cls;
    } cases[] = {
        {2, 4, 0, 3}, {2, 5, 1, 1}, {2, 5, 2, 1}, {2, 6, 1, 2}, {2, 6, 3, 2},
        // Windows 10 and 11 report 10.0 with a manifest: NT family, never 9x.
        {2, 10, 0, 2}, {1, 4, 10, 4}, {1, 4, 90, 4}, {1, 4, 0, 5}, {0, 3, 1, 4},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ClassifyServerOsClass(c.platform, c.major, c.minor), c.cls)
            << c.platform << " " << c.major << "." << c.minor;
}
