#include "core/base/StringUtil.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(PercentEncode, Table)
{
    struct Case { std::string in, out; };
    const Case cases[] = {
        {"", ""},
        {"a b/\xC3\x84", "a%20b%2F%C3%84"},
        {"AZaz09", "AZaz09"},
        {"-_.~+=&%", "%2D%5F%2E%7E%2B%3D%26%25"},
        {std::string("\x00\x7F\xFF", 3), "%00%7F%FF"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PercentEncode(c.in), c.out) << c.in;
}

TEST(ReplaceFirstPlaceholder, OnlyTheFirstAndNoOtherConversion)
{
    struct Case { const wchar_t* text; const wchar_t* value; const wchar_t* out; };
    const Case cases[] = {
        {L"%sSession is expired.", L"[12:00] ", L"[12:00] Session is expired."},
        {L"a %s b %s", L"X", L"a X b %s"},
        {L"no placeholder", L"X", L"no placeholder"},
        {L"%d and %s", L"%s", L"%d and %s"},
        {L"%s", L"", L""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReplaceFirstPlaceholder(c.text, c.value), c.out);
}

TEST(SplitString, Table)
{
    using V = std::vector<std::string>;
    struct Case { std::string text, delim; V pieces; };
    const Case cases[] = {
        {"a-b-", "-", {"a", "b", ""}},
        {"", "-", {""}},
        {"a--b", "-", {"a", "", "b"}},
        {"Corvisk-4-host-443", "-", {"Corvisk", "4", "host", "443"}},
        {"-", "-", {"", ""}},
        {"abc", "-", {"abc"}},
        {"a::b::", "::", {"a", "b", ""}},
        {"a:b", "", {"a:b"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitString(c.text, c.delim), c.pieces) << c.text << " / " << c.delim;
}

TEST(ToLowerString, LowersAsciiOnlyAndKeepsHighBytes)
{
    EXPECT_EQ(ToLowerString("HeLLo-123"), "hello-123");
    // Bytes above 127 must not reach tolower() as negative values.
    EXPECT_EQ(ToLowerString("\xC3\x84Q"), "\xC3\x84q");
    EXPECT_EQ(ToLowerString(""), "");
}

} // namespace
