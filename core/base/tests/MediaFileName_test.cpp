#include "core/base/MediaFileName.h"

#include <gtest/gtest.h>

TEST(RecordingFileName, FormatsUtc)
{
    EXPECT_EQ(RecordingFileNameForTime(1796807107), "GMT_2026-12-09_09h05m07s.wmv");
    EXPECT_EQ(RecordingFileNameForTime(0), "GMT_1970-01-01_00h00m00s.wmv");
    EXPECT_EQ(RecordingFileNameForTime(951782400), "GMT_2000-02-29_00h00m00s.wmv");
    EXPECT_EQ(RecordingFileNameForTime(4102444799), "GMT_2099-12-31_23h59m59s.wmv");
}

TEST(MediaFilePath, RoundTripTakesTwoNPlusTwoBytes)
{
    std::u16string path = u"C:\\Users\\\u00e9\u5f20\\Videos";
    auto bytes = EncodeMediaFilePath(path);
    EXPECT_EQ(bytes.size(), 2 * path.size() + 2);
    EXPECT_EQ(bytes.front(), kMediaPathMarker);
    EXPECT_EQ(bytes.back(), 0);
    auto v = DecodeMediaFilePath(bytes.data(), bytes.size());
    ASSERT_TRUE(v && v->isUtf16);
    EXPECT_EQ(v->utf16, path);
}

// Regression: the text sits at an odd offset and has a single zero byte after
// it; an odd or unterminated value must not be read past its end.
TEST(MediaFilePath, OddAndUnterminatedValuesStayInBounds)
{
    const uint8_t odd[] = {0x80, 'A', 0, 'B'};  // a stray half character
    auto v = DecodeMediaFilePath(odd, sizeof(odd));
    ASSERT_TRUE(v);
    EXPECT_EQ(v->utf16, u"A");
    const uint8_t noTerm[] = {0x80, 'A', 0, 'B', 0};
    v = DecodeMediaFilePath(noTerm, sizeof(noTerm));
    EXPECT_EQ(v->utf16, u"AB");
    const uint8_t markerOnly[] = {0x80};
    v = DecodeMediaFilePath(markerOnly, 1);
    ASSERT_TRUE(v);
    EXPECT_TRUE(v->utf16.empty());
    EXPECT_FALSE(DecodeMediaFilePath(nullptr, 0));
}

TEST(MediaFilePath, OlderAnsiForm)
{
    const uint8_t ansi[] = {'D', ':', '\\', 'r', 'e', 'c'};  // no terminator
    auto v = DecodeMediaFilePath(ansi, sizeof(ansi));
    ASSERT_TRUE(v);
    EXPECT_FALSE(v->isUtf16);
    EXPECT_EQ(v->ansi, "D:\\rec");
}

// A second recording in the same second must not take the first one's name.
TEST(RecordingFileName, NumberedChoicesKeepTheExtension)
{
    const std::string name = RecordingFileNameForTime(0);
    EXPECT_EQ(NumberedFileName(name, 0), name);
    EXPECT_EQ(NumberedFileName(name, 1), "GMT_1970-01-01_00h00m00s_2.wmv");
    EXPECT_EQ(NumberedFileName(name, 9), "GMT_1970-01-01_00h00m00s_10.wmv");
    EXPECT_EQ(NumberedFileName("noext", 1), "noext_2");
}
