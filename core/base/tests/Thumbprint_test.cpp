#include "core/base/AcceptedCertificate.h"
#include "core/base/Thumbprint.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const std::string kLower = "0123456789abcdef00ff10a5c3e7f89012345678";
const std::string kUpper = "0123456789ABCDEF00FF10A5C3E7F89012345678";

TEST(Thumbprint, HexAndParseRoundTrip)
{
    uint8_t digest[kSha1Size];
    for (size_t i = 0; i < kSha1Size; ++i)
        digest[i] = static_cast<uint8_t>(i * 13 + 7);
    const std::string hex = ThumbprintHex(digest);
    ASSERT_EQ(hex.size(), 40u);
    uint8_t back[kSha1Size] = {};
    ASSERT_TRUE(ParseThumbprint(hex, back));
    EXPECT_EQ(std::memcmp(back, digest, kSha1Size), 0);
    EXPECT_TRUE(ParseThumbprint(kUpper, back));
    EXPECT_EQ(ThumbprintHex(back), kLower);
}

TEST(Thumbprint, MalformedTextIsNoThumbprint)
{
    const std::string cases[] = {
        "",
        kLower.substr(1),                   // 39 digits
        kLower + "0",                       // 41 digits
        "g" + kLower.substr(1),             // not a hex digit
        " f" + kLower.substr(2),            // a reader that skips blanks takes " f"
        "+f" + kLower.substr(2),            // ... or a sign
        "0x" + kLower.substr(2),            // ... or a prefix
        kLower.substr(0, 20) + std::string(1, '\0') + kLower.substr(21),
    };
    for (const std::string& c : cases) {
        uint8_t digest[kSha1Size];
        EXPECT_FALSE(ParseThumbprint(c, digest)) << c;
        EXPECT_FALSE(SameThumbprint(c, c)) << c;
    }
}

TEST(Thumbprint, SameDigestWhateverTheCase)
{
    EXPECT_TRUE(SameThumbprint(kLower, kUpper));
    EXPECT_FALSE(SameThumbprint(kLower, "1" + kLower.substr(1)));
}

TEST(AcceptedCertificate, HoldsForItsHostPortAndCertificateOnly)
{
    const AcceptedCertificate accepted{"Appliance.Example", 8443, kLower};
    struct Case {
        const char* host;
        uint16_t port;
        std::string presented;
        bool covers;
        bool accepts;
    };
    const Case cases[] = {
        {"Appliance.Example", 8443, kLower, true, true},
        {"appliance.example", 8443, kUpper, true, true},     // names and hex digits ignore case
        {"appliance.example", 443, kLower, false, false},    // another port of the same host
        {"other.example", 8443, kLower, false, false},       // another host
        {"appliance.example.", 8443, kLower, false, false},  // not the same text
        {"appliance.example", 8443, "1" + kLower.substr(1), true, false},  // another certificate
        {"appliance.example", 8443, "", true, false},        // no certificate read
    };
    for (const Case& c : cases) {
        EXPECT_EQ(accepted.Covers(c.host, c.port), c.covers) << c.host << ":" << c.port;
        EXPECT_EQ(accepted.Accepts(c.host, c.port, c.presented), c.accepts) << c.host << ":" << c.port;
    }
}

TEST(AcceptedCertificate, NothingAcceptedCoversNothing)
{
    const AcceptedCertificate none;
    EXPECT_FALSE(none.Covers("", 0));
    EXPECT_FALSE(none.Accepts("", 0, ""));
    const AcceptedCertificate noHost{"", 443, kLower};
    EXPECT_FALSE(noHost.Accepts("", 443, kLower));
    const AcceptedCertificate badPrint{"host", 443, "not hex"};
    EXPECT_FALSE(badPrint.Covers("host", 443));
    EXPECT_FALSE(badPrint.Accepts("host", 443, "not hex"));
}

} // namespace
