// Participant-mark texts and the marker's shape.
#include "meeting/MarkText.h"

#include <gtest/gtest.h>

namespace {

TEST(MarkText, BuildIsPointLineThenNameLine)
{
    EXPECT_EQ(BuildMarkText(123, 456, "Alice"), "123,456\r\nAlice\r\n");
    EXPECT_EQ(BuildMarkText(-4, 0, "\xC3\x89mile"), "-4,0\r\n\xC3\x89mile\r\n");
    EXPECT_EQ(BuildMarkText(1, 2, ""), "");
}

TEST(MarkText, ParseTable)
{
    struct {
        const char* text;
        bool ok;
        int x, y;
        const char* name;
    } cases[] = {
        {"123,456\r\nAlice\r\n", true, 123, 456, "Alice"},
        {"5\r\nBob\r\n", true, 5, 0, "Bob"},                       // no comma: y is 0
        {"-20,+30\r\nBob\r\n", true, -20, 30, "Bob"},
        {"1,2\r\n\xE5\xBC\xA0\xE4\xB8\x89\r\n", true, 1, 2, "\xE5\xBC\xA0\xE4\xB8\x89"},
        {"1,2\r\nBob", false, 0, 0, ""},                           // no second line end
        {"1,2 Bob", false, 0, 0, ""},
        {"1,2\r\n\r\n", false, 0, 0, ""},                          // empty name
        {"99999999999,2\r\nBob\r\n", false, 0, 0, ""},             // beyond 32 bits
        {"65536,2\r\nBob\r\n", false, 0, 0, ""},                   // off every screen
        {"1,x\r\nBob\r\n", false, 0, 0, ""},
        {",\r\nBob\r\n", false, 0, 0, ""},
        {"1,2,3\r\nBob\r\n", false, 0, 0, ""},
    };
    for (const auto& c : cases) {
        const auto p = ParseMarkText(c.text);
        ASSERT_EQ(p.has_value(), c.ok) << c.text;
        if (!p)
            continue;
        EXPECT_EQ(p->x, c.x) << c.text;
        EXPECT_EQ(p->y, c.y) << c.text;
        EXPECT_EQ(p->name, c.name) << c.text;
    }
}

TEST(MarkText, LongNameIsCutTo127Units)
{
    const auto p = ParseMarkText("1,1\r\n" + std::string(300, 'n') + "\r\n");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->name, std::string(127, 'n'));
}

TEST(MarkShape, RedPixelsAreLeftOutRowByRow)
{
    const uint32_t R = 0xFF0000, k = 0x000000, w = 0xFFFFFF;
    // 4 x 3, top-down.
    const uint32_t pixels[] = {R, k, k, R,   //
                               k, R, w, w,   //
                               R, R, R, R};
    const std::vector<PixelRun> runs = OpaqueRuns(pixels, 4, 3);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].x, 1); EXPECT_EQ(runs[0].y, 0); EXPECT_EQ(runs[0].width, 2);
    EXPECT_EQ(runs[1].x, 0); EXPECT_EQ(runs[1].y, 1); EXPECT_EQ(runs[1].width, 1);
    EXPECT_EQ(runs[2].x, 2); EXPECT_EQ(runs[2].y, 1); EXPECT_EQ(runs[2].width, 2);
    // Only the colour counts, not the top byte; an almost-red pixel is kept.
    const uint32_t alpha[] = {0xFFFF0000, 0x00FE0000};
    const std::vector<PixelRun> kept = OpaqueRuns(alpha, 2, 1);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].x, 1);
}

} // namespace
