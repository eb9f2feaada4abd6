#include "core/base/Base64.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Vector { const char* plain; const char* encoded; };

// RFC 4648, section 10.
const Vector kRfc4648[] = {
    {"", ""},
    {"f", "Zg=="},
    {"fo", "Zm8="},
    {"foo", "Zm9v"},
    {"foob", "Zm9vYg=="},
    {"fooba", "Zm9vYmE="},
    {"foobar", "Zm9vYmFy"},
};

TEST(Base64, EncodesRfc4648Vectors)
{
    for (const auto& v : kRfc4648) {
        std::string out = "stale";
        EXPECT_EQ(Base64Encode(v.plain, out), v.encoded);
        EXPECT_EQ(out, v.encoded);
    }
    std::string out;
    EXPECT_EQ(Base64Encode("\xFF\xFE\xFD", out), "//79");
    EXPECT_EQ(Base64Encode("user:pass word", out), "dXNlcjpwYXNzIHdvcmQ=");
}

TEST(Base64, EncodeStopsAtZeroByte)
{
    const char text[] = "ab\0cd";
    std::string out;
    EXPECT_EQ(Base64Encode(text, out), "YWI=");
}

TEST(Base64, DecodesRfc4648VectorsWithAndWithoutPadding)
{
    for (const auto& v : kRfc4648) {
        std::string out = "stale";
        EXPECT_TRUE(TryBase64Decode(v.encoded, out)) << v.encoded;
        EXPECT_EQ(out, v.plain);
        std::string unpadded(v.encoded);
        unpadded.erase(unpadded.find_last_not_of('=') + 1);
        EXPECT_TRUE(TryBase64Decode(unpadded.c_str(), out)) << unpadded;
        EXPECT_EQ(out, v.plain);
    }
}

TEST(Base64, DecodeStopsAtLineBreakAndCutsAtZeroByte)
{
    const Vector cases[] = {
        {"foo", "Zm9v\r\nYmFy"},
        {"foo", "Zm9v\nYmFy"},
        {"f", "Zg==\r\nanything at all"},
        {"ab", "YWIAY2Q="},   // "ab\0cd": the text ends at the zero byte
        {"", "AAAA"},
    };
    for (const auto& c : cases) {
        std::string out;
        EXPECT_TRUE(TryBase64Decode(c.encoded, out)) << c.encoded;
        EXPECT_EQ(out, c.plain) << c.encoded;
    }
}

TEST(Base64, RejectsMalformedInput)
{
    const char* bad[] = {
        "Zm9v!mFy",    // character outside the alphabet
        "Zm 9v",       // blank inside
        "Zm9v-_",      // URL-safe alphabet
        "Zm9vY",       // one character left over: cut short
        "Z",
        "Zg=",         // padding that does not complete the group
        "Zg===",
        "Zm9v=",       // padding after a complete group
        "=",
        "Zg==Zm9v",    // data after the padding
        "Zg==x",
    };
    for (const char* text : bad) {
        std::string out = "stale";
        EXPECT_FALSE(TryBase64Decode(text, out)) << text;
        EXPECT_EQ(out, "") << text;
        out = "stale";
        EXPECT_EQ(Base64Decode(text, out), "") << text;
        EXPECT_EQ(out, "") << text;
    }
}

TEST(Base64, RoundTripsEveryByteValue)
{
    std::string all;
    for (int i = 1; i < 256; ++i)
        all += static_cast<char>(i);
    for (size_t len = 0; len <= all.size(); len += 7) {
        const std::string text = all.substr(0, len);
        std::string encoded, decoded;
        Base64Encode(text.c_str(), encoded);
        EXPECT_EQ(Base64Decode(encoded.c_str(), decoded), text);
    }
}

} // namespace
