#include "meeting/CanvasMessageKind.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(ClassifyCanvasMessage, Prefixes)
{
    struct {
        const char* text;
        int kind;
    } cases[] = {{"MEMA:1,2", 0}, {"MEWB:", 1}, {"CEMA:x", 2}, {"CEWB:x", 3}, {"TIMA:t", 4},
                 {"TIWB:t", 5},   {"EVBH:", 100}, {"MEMA", -1}, {"", -1},      {"mema:1", -1},
                 {"XXXX:1", -1}};
    for (const auto& c : cases)
        EXPECT_EQ(ClassifyCanvasMessage(c.text, std::strlen(c.text)), c.kind) << c.text;
    EXPECT_EQ(ClassifyCanvasMessage(nullptr, 9), -1);
    // The length bounds the read: a prefix beyond it does not count.
    EXPECT_EQ(ClassifyCanvasMessage("MEMA:", 4), -1);
}
