#include "core/base/SecureZero.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// A wiped secret keeps its size (callers may reuse the buffer) and holds
// nothing but zeros, whatever its character width.
TEST(SecureWipe, ZeroesEveryCharacterOfEachKindOfBuffer)
{
    std::string narrow = "p\xC3\xA4ssword";
    std::wstring wide = L"p\u00e4ssw\u00f6rd";
    std::vector<char> buffer = {'s', 'e', 'c', '\0'};
    std::string empty;
    SecureWipe(narrow);
    SecureWipe(wide);
    SecureWipe(buffer);
    SecureWipe(empty);
    EXPECT_EQ(narrow, std::string(9, '\0'));
    EXPECT_EQ(wide, std::wstring(8, L'\0'));
    EXPECT_EQ(buffer, std::vector<char>(4, '\0'));
    EXPECT_TRUE(empty.empty());
}
