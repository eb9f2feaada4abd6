#include "appliance/cgi/ReplyText.h"

#include <gtest/gtest.h>

#include "appliance/cgi/UrlDecode.h"

TEST(ReplyText, StatusCodeComesFromTheStatusLineOnly) {
    EXPECT_TRUE(StatusCodeIs("HTTP/1.1 407 Proxy Authentication Required\r\n", "407"));
    EXPECT_FALSE(StatusCodeIs("HTTP/1.1 200 OK\r\nX-Note: 407\r\n", "407"));
    EXPECT_FALSE(StatusCodeIs("garbage\r\nX: 407\r\n", "407"));
    EXPECT_FALSE(StatusCodeIs("", "407"));
    // The whole code, with or without a reason phrase.
    EXPECT_TRUE(StatusCodeIs("HTTP/1.1 200\r\n", "200"));
    EXPECT_TRUE(StatusCodeIs("HTTP/1.1 200", "200"));
    EXPECT_FALSE(StatusCodeIs("HTTP/1.1 2001 Odd\r\n", "200"));
}

TEST(ReplyText, MarkerValueStaysOnItsLine) {
    std::string v;
    // An empty value must not become the next header line.
    ASSERT_TRUE(MarkerValue("X-KE-tf:\r\nX-KE-pendingId: 77\r\n", "X-KE-tf:", v));
    EXPECT_EQ(v, "");
    ASSERT_TRUE(MarkerValue("X-KE-maychangepwd: 1\r\n", "X-KE-maychangepwd", v));
    EXPECT_EQ(v, "1");
    ASSERT_TRUE(MarkerValue("X-KE-pendingId: abc \r\n", "X-KE-pendingId:", v));
    EXPECT_EQ(v, "abc");  // no trailing CR or blank goes back to the appliance
    ASSERT_TRUE(MarkerValue("X-KE-pwdexpdays: -1", "X-KE-pwdexpdays", v));
    EXPECT_EQ(v, "-1");
    EXPECT_FALSE(MarkerLine("X-KE-message: hi", "X-KE-message:", v));
    EXPECT_FALSE(MarkerValue("X: " + std::string(kMaxReplyValue + 1, 'a') + "\r\n", "X:", v));
    // A token the appliance wants back keeps its CR, but nothing of the next line.
    ASSERT_TRUE(MarkerValueWithCr("X-KE-rsastate: ab \r\nX-KE-tf: 2\r\n", "X-KE-rsastate: ", v));
    EXPECT_EQ(v, "ab \r");
    ASSERT_TRUE(MarkerValueWithCr("X-KE-rsastate: ab", "X-KE-rsastate: ", v));
    EXPECT_EQ(v, "ab");
    ASSERT_TRUE(MarkerValueWithCr("X-KE-rsastate: ab\rcd\r\n", "X-KE-rsastate: ", v));
    EXPECT_EQ(v, "ab");
    EXPECT_FALSE(MarkerValueWithCr("X: " + std::string(kMaxReplyValue + 1, 'a') + "\r\n", "X:", v));
}

TEST(ReplyText, ParseDecimalReadsLikeAtoiWithoutOverflow) {
    const struct { const char* text; int32_t value; } cases[] = {
        {"42", 42}, {"  -7x", -7}, {"+3", 3}, {"x1", 0}, {"", 0},
        {"99999999999999", 2147483647}, {"-99999999999999", -2147483648LL},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseDecimal(c.text), c.value) << c.text;
}

TEST(ReplyText, SwapCookieComesFromItsOwnSetCookieLine) {
    std::string v;
    ASSERT_TRUE(FindSwapCookie("HTTP/1.1 200 OK\r\nSet-Cookie: swap=YWJj; path=/\r\n", v));
    EXPECT_EQ(v, "YWJj");
    ASSERT_TRUE(FindSwapCookie("set-cookie: swap=x;\r\n", v));
    EXPECT_EQ(v, "x");
    // Another cookie whose name ends in "swap", or "swap=" on a later header.
    EXPECT_FALSE(FindSwapCookie("Set-Cookie: noswap=abc; path=/\r\nX-A: swap=def;\r\n", v));
    // Without ";" behind the value the cookie is not taken.
    EXPECT_FALSE(FindSwapCookie("Set-Cookie: swap=abc\r\nX-B: ;\r\n", v));
    EXPECT_FALSE(FindSwapCookie("Set-Cookie: swap=" + std::string(kMaxSwapCookie + 1, 'A') + ";\r\n", v));
    ASSERT_TRUE(FindSwapCookie("Set-Cookie: other=1\r\nSet-Cookie: swap=second;\r\n", v));
    EXPECT_EQ(v, "second");
}

TEST(ReplyText, ServerVersionMinimumIs6000Build8) {
    const struct { const char* version; bool tooOld; } cases[] = {
        {"6.0.0.0-7sv", true}, {"6.0.0.0-8sv", false}, {"6.0.0.1-0sv", false},
        {"5.9.9.9-99sv", true}, {"7.0.0.0-0sv", false}, {"8.0.0.6-1sv", false},
        {"garbage", true}, {"6.0.0-8sv", true}, {"6.0.0.0-8", true}, {"", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ServerTooOld(std::string("HTTP/1.1 200 OK\r\nserverversion: ") + c.version + "\r\n"),
                  c.tooOld)
            << c.version;
    EXPECT_TRUE(ServerTooOld("HTTP/1.1 200 OK\r\n"));
}

TEST(ReplyText, PortalListTakesEachLineWithoutItsCr) {
    std::vector<std::string> portals;
    ReadPortalList("portal:A\r\nportal:B b\r\nportal:C", portals);
    EXPECT_EQ(portals, (std::vector<std::string>{"A", "B b", "C"}));
}

TEST(UrlDecode, DecodesBothHexCasesAndKeepsLoneEscapes) {
    const struct { const char* in; const char* out; } cases[] = {
        {"a%2fb%2Fc", "a/b/c"}, {"x+y", "x y"}, {"%", "%"}, {"%4", "%4"}, {"%zz1", "%zz1"},
        {"%253A%3a", "%3A:"}, {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(UrlDecode(c.in), c.out) << c.in;
    EXPECT_EQ(HexDigitValue('g'), 128);
    EXPECT_EQ(HexDigitValue('f'), 15);
}
