#include "core/base/TextConvert.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

// Literals spelled with \U escapes are UTF-16 on Windows and UTF-32 elsewhere,
// so the same expectations hold in both trees.
TEST(TextConvert, Utf8RoundTrips)
{
    const std::wstring samples[] = {L"plain", L"\u00C4rger \u00DF", L"\u4F1A\u8BAE",
                                    L"smile \U0001F600 end", L"\U0010FFFF"};
    for (const auto& w : samples) {
        const std::string u = WideToAnsi(w, kCodePageUtf8);
        EXPECT_EQ(AnsiToWide(u, kCodePageUtf8), w);
    }
    EXPECT_EQ(WideToAnsi(L"\u00C4\U0001F600", kCodePageUtf8), "\xC3\x84\xF0\x9F\x98\x80");
    EXPECT_EQ(AnsiToWide("\xE4\xBC\x9A", kCodePageUtf8), L"\u4F1A");
}

TEST(TextConvert, InvalidUtf8BecomesReplacementCharacters)
{
    struct Case { std::string in; std::wstring out; };
    const Case cases[] = {
        {"a\xFF" "b", L"a\uFFFDb"},         // byte that never starts a sequence
        {"\x80", L"\uFFFD"},                // lone continuation byte
        {"\xC3", L"\uFFFD"},                // cut after the lead byte
        {"\xC3" "A", L"\uFFFDA"},           // lead byte without continuation
        {"\xF0\x9F\x98", L"\uFFFD"},        // cut four-byte sequence
        {"\xF0\x9F\x98" "x", L"\uFFFDx"},
        {"\xC0\x80", L"\uFFFD\uFFFD"},      // overlong zero
    };
    for (const auto& c : cases)
        EXPECT_EQ(AnsiToWide(c.in, kCodePageUtf8), c.out) << testing::PrintToString(c.in);
}

TEST(TextConvert, ForbiddenFormsGiveOnlyReplacements)
{
    // Overlong three-byte form, encoded surrogate, value above U+10FFFF. How
    // many replacements each gives differs between systems (Wine cuts after
    // two bytes, the Unicode practice after one), but nothing else comes out
    // and the text after them survives.
    for (const std::string bad : {"\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80"}) {
        const std::wstring w = AnsiToWide(bad + "z", kCodePageUtf8);
        ASSERT_GE(w.size(), 2u) << testing::PrintToString(bad);
        EXPECT_EQ(w.back(), L'z');
        EXPECT_EQ(w.find_first_not_of(L'\uFFFD'), w.size() - 1) << testing::PrintToString(bad);
    }
}

TEST(TextConvert, LoneSurrogateEncodesAsReplacement)
{
    const std::wstring lone(1, static_cast<wchar_t>(0xD800));
    EXPECT_EQ(WideToAnsi(lone + L"x", kCodePageUtf8), "\xEF\xBF\xBDx");
}

TEST(TextConvert, LengthsAndEmptyInput)
{
    EXPECT_EQ(AnsiToWide("", kCodePageUtf8), L"");
    EXPECT_EQ(WideToAnsi(L"", kCodePageUtf8), "");
    EXPECT_EQ(MultiByteToWideString("abc", -1, kCodePageUtf8), L"abc");
    EXPECT_EQ(MultiByteToWideString("abc", 2, kCodePageUtf8), L"ab");
    EXPECT_EQ(MultiByteToWideString("abc", 0, kCodePageUtf8), L"");
    EXPECT_EQ(MultiByteToWideString("abc", -2, kCodePageUtf8), L"");
    EXPECT_EQ(MultiByteToWideString(nullptr, -1, kCodePageUtf8), L"");
    EXPECT_EQ(WideToMultiByteString(L"abc", -1, kCodePageUtf8), "abc");
    EXPECT_EQ(WideToMultiByteString(L"abc", 1, kCodePageUtf8), "a");
    EXPECT_EQ(WideToMultiByteString(nullptr, 3, kCodePageUtf8), "");
    // An explicit length carries embedded zeros across.
    EXPECT_EQ(MultiByteToWideString("a\0b", 3, kCodePageUtf8), std::wstring(L"a\0b", 3));
    EXPECT_EQ(AnsiToWide(std::string("a\0b", 3), kCodePageUtf8), std::wstring(L"a\0b", 3));
}

TEST(TextConvert, AnsiCodePageKeepsAscii)
{
    EXPECT_EQ(AnsiToWide("C:\\Temp\\log.txt", kCodePageAnsi), L"C:\\Temp\\log.txt");
    EXPECT_EQ(WideToAnsi(L"Proxy", kCodePageAnsi), "Proxy");
}

TEST(TextConvert, UnknownCodePageGivesEmpty)
{
    EXPECT_EQ(AnsiToWide("abc", 12345), L"");
    EXPECT_EQ(WideToAnsi(L"abc", 12345), "");
}

TEST(TextConvert, AnsiToWideAlloc)
{
    wchar_t* out = nullptr;
    EXPECT_EQ(AnsiToWideAlloc("", &out), 0);
    EXPECT_EQ(AnsiToWideAlloc(nullptr, &out), 0);
    EXPECT_EQ(out, nullptr);
    ASSERT_EQ(AnsiToWideAlloc("name.txt", &out), 1);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(std::wstring(out), L"name.txt");
    std::free(out);
}

} // namespace
