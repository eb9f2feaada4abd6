#include "core/base/OsVersionClass.h"

#include <gtest/gtest.h>

TEST(OsVersionClass, Table)
{
    struct {
        unsigned platform, major, minor;
        bool workstation;
        int cls;
    } cases[] = {
        {1, 4, 10, true, 1},  {2, 4, 0, true, 1},   {2, 5, 0, true, 2},   {2, 5, 1, true, 3},
        {2, 5, 2, false, 4},  {2, 5, 3, true, 1},   {2, 6, 0, true, 5},   {2, 6, 1, true, 6},
        {2, 6, 2, true, 7},   {2, 6, 1, false, 8},  {2, 6, 2, false, 8},  {2, 6, 3, true, 9},
        {2, 6, 4, false, 9},  {2, 10, 0, true, 9},  {2, 10, 0, false, 9},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ClassifyOsVersion(c.platform, c.major, c.minor, c.workstation), c.cls)
            << c.platform << " " << c.major << "." << c.minor;
}

TEST(OsVersionClass, Win8WithoutSensors)
{
    EXPECT_EQ(Win8OrLaterWithoutSensors(9, 0), 1);
    EXPECT_EQ(Win8OrLaterWithoutSensors(7, 0), 1);
    EXPECT_EQ(Win8OrLaterWithoutSensors(9, 1), 0);
    EXPECT_EQ(Win8OrLaterWithoutSensors(8, 0), 0);  // 2008 R2 / 2012 servers
    EXPECT_EQ(Win8OrLaterWithoutSensors(6, 0), 0);
}
