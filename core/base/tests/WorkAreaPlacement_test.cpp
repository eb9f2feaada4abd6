#include "core/base/WorkAreaPlacement.h"

#include <gtest/gtest.h>

TEST(CenteredInWorkArea, CentresAndShrinks)
{
    PlacementRect work{0, 0, 1280, 760};
    PlacementRect r = CenteredInWorkArea(work, 401, 301);
    EXPECT_EQ(r.left, 439);  // (1280 - 401) / 2 rounded toward zero
    EXPECT_EQ(r.top, 229);
    EXPECT_EQ(r.right - r.left, 401);
    // Larger than the work area: shrunk to it, at its top-left corner.
    PlacementRect offset{100, 40, 1380, 800};
    r = CenteredInWorkArea(offset, 5000, 5000);
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.top, 40);
    EXPECT_EQ(r.right, 1380);
    EXPECT_EQ(r.bottom, 800);
}
