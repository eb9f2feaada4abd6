#include "core/base/FormatConversions.h"

#include <gtest/gtest.h>

TEST(FormatConversions, ConversionsInOrder)
{
    EXPECT_EQ(FormatConversions(L"%s had %-10.3ld%% of %lS"),
              (std::vector<std::wstring>{L"s", L"-10.3ld", L"lS"}));
    EXPECT_TRUE(FormatConversions(L"100%% plain").empty());
    EXPECT_EQ(FormatConversions(L"cut %-1"), (std::vector<std::wstring>{L"%-1"}));
}

TEST(FormatConversions, TranslationMustKeepThem)
{
    struct Case {
        const wchar_t* own;
        const wchar_t* translated;
        bool same;
    } cases[] = {
        {L"Failed [%d].", L"Fehler [%d].", true},
        {L"%s joined %d%%", L"%s: %d%% beigetreten", true},
        {L"%s joined", L"%s %s", false},     // reads an argument that is not there
        {L"%d files", L"%s Dateien", false}, // a number read as a pointer
        {L"%s", L"%n", false},
        {L"%s and %d", L"%d and %s", false}, // order matters
        {L"no format", L"%% only", true},
        {L"%s", L"%", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SameConversions(c.own, c.translated), c.same) << c.translated;
}
