// The security alert's texts.
#include "appliance/ui/CertificateText.h"

#include <gtest/gtest.h>

namespace {

TEST(CertificateTextTest, DatesWithoutLeadingZeros)
{
    struct Case {
        const char* stamp;
        const char* shown;
    } cases[] = {
        {"2026-03-05 10:00:00", "2026-3-5"},
        {"2025-12-31 23:59:59", "2025-12-31"},
        {"2025-01-01", "2025-1-1"},
        {"", ""},
        {"2025-13-01 00:00:00", ""},  // no month 13
        {"2025-00-10 00:00:00", ""},
        {"20x5-01-01 00:00:00", ""},
        {"2025/01/01 00:00:00", ""},
        {"2025-1-1", ""},  // cut short
    };
    for (const Case& c : cases)
        EXPECT_EQ(AlertDate(c.stamp), c.shown) << c.stamp;
}

TEST(CertificateTextTest, NamesAfterTheirFirstLine)
{
    EXPECT_EQ(AfterFirstLineFeed("Corvisk tests\nlocalhost"), "localhost");
    EXPECT_EQ(AfterFirstLineFeed("a\nb\nc"), "b\nc");
    EXPECT_EQ(AfterFirstLineFeed("localhost"), "localhost");
    EXPECT_EQ(AfterFirstLineFeed(""), "");
}

} // namespace
