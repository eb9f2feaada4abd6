// The colour-map table from the real display palette under Wine, whose
// true-colour screen hands out fewer than 256 entries (often none).
#include "rfb/DisplayPalette.h"

#include <gtest/gtest.h>

namespace {

TEST(DisplayPalette, MissingEntriesComeFromTheIndexBits)
{
    const std::vector<rfb::PaletteEntry> entries = rfb::ReadDisplayPalette(nullptr);
    ASSERT_LE(entries.size(), 256u);

    rfb::PixelFormat out;
    out.bitsPerPixel = 32;
    out.depth = 24;
    out.trueColour = true;
    out.redMax = out.greenMax = out.blueMax = 255;
    out.redShift = 16;
    out.greenShift = 8;
    out.blueShift = 0;
    std::vector<uint32_t> table;
    ASSERT_TRUE(rfb::InitColourMapSingleTable(table, out, entries.data(), entries.size()));
    ASSERT_EQ(table.size(), 256u);
    for (size_t i = 0; i < entries.size(); ++i)
        EXPECT_EQ(table[i], uint32_t(entries[i].red) << 16 | uint32_t(entries[i].green) << 8 | entries[i].blue);
    if (entries.size() <= 5) {
        EXPECT_EQ(table[5], 0x00FF00FFu);
    }
    RecordProperty("entries", static_cast<int>(entries.size()));
    EXPECT_EQ(table[255], 0x00FFFFFFu) << "the last entry is white either way";
}

TEST(DisplayPalette, UnknownMirrorDeviceGivesNoEntries)
{
    EXPECT_TRUE(rfb::ReadDisplayPalette("\\\\.\\NoSuchDisplay42").empty());
}

} // namespace
