#include "core/app/LaunchParameters.h"

#include "core/base/Base64.h"

#include <gtest/gtest.h>

namespace {

std::string B64(const std::string& s)
{
    std::string out;
    return Base64Encode(s.c_str(), out);
}

std::string Link(const std::string& decoded)
{
    return "\"C:\\Users\\u\\AppData\\Roaming\\Quenlore\\Parlemo\\Corvisk.exe\" \"parlemo://" +
           B64(decoded) + "/\"";
}

} // namespace

TEST(LaunchLink, SessionLinkGivesModeOneHostAndSession)
{
    LaunchRequest r = ParseLaunchLink(Link("1/vpn.example.com/" + B64("SESSION-42")));
    EXPECT_TRUE(r.error.empty()) << r.error;
    EXPECT_EQ(r.mode, kLaunchBrowserSession);
    EXPECT_EQ(r.fields.applianceHost.value_or(""), "vpn.example.com");
    EXPECT_EQ(r.fields.ownSessionId.value_or(""), "SESSION-42");
    EXPECT_FALSE(r.fields.appliancePort.has_value());  // links carry no port: 443 stays
}

TEST(LaunchLink, PayloadRunsToEndWithoutClosingSlashQuote)
{
    std::string line = "Corvisk.exe parlemo://" + B64("1/h.example/" + B64("abc"));
    LaunchRequest r = ParseLaunchLink(line);
    EXPECT_EQ(r.mode, 1);
    EXPECT_EQ(r.fields.ownSessionId.value_or(""), "abc");
    // An unquoted link with the browser's trailing slash reads the same.
    r = ParseLaunchLink(line + "/");
    EXPECT_EQ(r.mode, 1) << r.error;
    EXPECT_EQ(r.fields.applianceHost.value_or(""), "h.example");
}

// Regression: the session id's Base64 may contain '/', which the link's own
// separator must not cut.
TEST(LaunchLink, SessionIdWhoseBase64HoldsSlashStaysWhole)
{
    std::string session = "\xff\xfe\xfd?>";  // Base64 "//79Pz4="
    std::string b = B64(session);
    ASSERT_NE(b.find('/'), std::string::npos);
    LaunchRequest r = ParseLaunchLink(Link("1/vpn.example.com/" + b));
    EXPECT_EQ(r.mode, 1) << r.error;
    EXPECT_EQ(r.fields.ownSessionId.value_or(""), session);
}

TEST(LaunchLink, OtherModesAndMissingPieces)
{
    // A link never gives modes 2-4.
    EXPECT_EQ(ParseLaunchLink(Link("2/h.example/" + B64("s"))).mode, kLaunchLogin);
    // Session piece missing: mode 1, session untouched (the session test then fails).
    LaunchRequest r = ParseLaunchLink(Link("1/h.example"));
    EXPECT_EQ(r.mode, 1);
    EXPECT_FALSE(r.fields.ownSessionId.has_value());
}

TEST(LaunchLink, MalformedLinksGiveLoginAndAnError)
{
    const char* lines[] = {
        "x parlemo://",          // nothing after the prefix
        "x parlemo://@@@@/\"",   // not Base64
        "x parlemo://Q/\"",      // a lone character of a group
        "x parlemo:///\"",       // empty payload
    };
    LaunchRequest r;
    for (const char* line : lines) {
        r = ParseLaunchLink(line);
        EXPECT_EQ(r.mode, 0) << line;
        EXPECT_FALSE(r.error.empty()) << line;
    }

    struct Bad { std::string decoded; } bad[] = {
        {"1/"},                                      // empty host
        {"1/evil.example/path?x=" },                 // characters outside host syntax
        {"1/" + std::string(300, 'a')},              // longer than 253
        {"1/h.example/%%%"},                         // session piece not Base64
        {"1/h.example/" + B64(std::string(200, 's'))},  // session id beyond 127
        // Regression: control bytes in the session id were taken as they came
        // (a line break splits a request header).
        {"1/h.example/" + B64("sess\r\nCookie: x")},
        {"1/h.example/" + B64("sess\x7f")},
    };
    for (const auto& b : bad) {
        r = ParseLaunchLink(Link(b.decoded));
        EXPECT_EQ(r.mode, 0) << b.decoded;
        EXPECT_FALSE(r.error.empty()) << b.decoded;
        EXPECT_FALSE(r.fields.applianceHost.has_value()) << b.decoded;
    }
}

TEST(LaunchArguments, ModeThreeTakesAllSixArguments)
{
    LaunchRequest r = ParseLaunchArguments(
        {"Corvisk.exe", "-3", "-vpn.example.com", "-8443", "-SID", "-J\xc3\xa9r\xc3\xb4me \xe5\xbc\xa0", "-MEET7"});
    ASSERT_TRUE(r.error.empty()) << r.error;
    EXPECT_TRUE(r.hadArguments);
    EXPECT_EQ(r.mode, 3);
    EXPECT_EQ(*r.fields.applianceHost, "vpn.example.com");
    EXPECT_EQ(*r.fields.appliancePort, 8443);
    EXPECT_EQ(*r.fields.ownSessionId, "SID");
    EXPECT_EQ(*r.fields.ownDisplayName, "J\xc3\xa9r\xc3\xb4me \xe5\xbc\xa0");  // non-OEM text kept
    EXPECT_EQ(*r.fields.meetingId, "MEET7");
    EXPECT_FALSE(r.fields.portalName.has_value());
}

TEST(LaunchArguments, PerModeLayouts)
{
    LaunchRequest r = ParseLaunchArguments({"p", "/1", "/h", "/443", "/S", "/portal", "/Name"});
    EXPECT_EQ(r.mode, 1);
    EXPECT_EQ(*r.fields.portalName, "portal");
    EXPECT_EQ(*r.fields.ownDisplayName, "Name");
    r = ParseLaunchArguments({"p", "/2", "/h", "/443", "/M", "/portal"});
    EXPECT_EQ(r.mode, 2);
    EXPECT_EQ(*r.fields.meetingId, "M");
    EXPECT_EQ(*r.fields.portalName, "portal");
    r = ParseLaunchArguments({"p", "/4", "/h", "/1"});
    EXPECT_EQ(r.mode, 4);
    EXPECT_EQ(*r.fields.appliancePort, 1);
    // Missing arguments leave their fields alone.
    r = ParseLaunchArguments({"p", "-4", "-h"});
    EXPECT_EQ(r.mode, 4);
    EXPECT_FALSE(r.fields.appliancePort.has_value());
    // A multi-byte switch character goes whole.
    r = ParseLaunchArguments({"p", "\xe2\x80\x94" "4", "\xe2\x80\x94h.example"});
    EXPECT_EQ(r.mode, 4) << r.error;
    EXPECT_EQ(*r.fields.applianceHost, "h.example");
}

TEST(LaunchArguments, NoArgumentsIsPlainLogin)
{
    LaunchRequest r = ParseLaunchArguments({"Corvisk.exe"});
    EXPECT_EQ(r.mode, 0);
    EXPECT_TRUE(r.error.empty());
    EXPECT_FALSE(r.hadArguments);
}

TEST(LaunchArguments, BadArgumentsGiveLoginAndAnError)
{
    std::vector<std::vector<std::string>> bad = {
        {"p", ""},                               // empty argument: no mode
        {"p", "-"},                              // switch only
        {"p", "-7", "-h", "-443"},               // unknown mode
        {"p", "-x", "-h"},                       // mode not a number
        {"p", "-4", "-h", "-70000"},             // would wrap to 4464 in 16 bits
        {"p", "-4", "-h", "-0"},
        {"p", "-4", "-h", "-abc"},
        {"p", "-4", "-h", "-"},                  // empty port
        {"p", "-4", "-", "-443"},                // empty host
        {"p", "-4", "-a b", "-443"},             // not a host
        {"p", "-3", "-h", "-443", "-", "-n", "-m"},   // empty session id
        {"p", "-2", "-h", "-443", "-"},          // empty meeting id
        {"p", "-1", "-h", "-443", "-" + std::string(128, 'x')},
        // Regression: control bytes in any text field.
        {"p", "-1", "-h", "-443", "-S\r\nX-Evil: 1"},
        {"p", "-3", "-h", "-443", "-S", std::string("-Ann\0e", 7), "-m"},
        {"p", "-2", "-h", "-443", "-M", "-port\tal"},
    };
    for (const auto& args : bad) {
        LaunchRequest r = ParseLaunchArguments(args);
        std::string shown = args.size() > 1 ? args[1] + " " + (args.size() > 3 ? args[3] : "") : "";
        EXPECT_EQ(r.mode, 0) << shown;
        EXPECT_FALSE(r.error.empty()) << shown;
        EXPECT_TRUE(r.hadArguments);
        EXPECT_FALSE(r.fields.applianceHost.has_value()) << shown;
    }
}

TEST(LaunchFileName, Forms)
{
    struct Case {
        const char* path;
        int mode;
        const char* host;
        int port;  // -1: not set
    } cases[] = {
        {"C:\\dl\\Corvisk-4-vpn.example.com-8443.exe", 4, "vpn.example.com", 8443},
        {"C:\\dl\\Corvisk.exe", 0, nullptr, -1},
        {"C:\\dl\\Corvisk-4-h.example-443 (1).exe", 4, "h.example", 443},
        {"C:\\dl\\Corvisk-4-h.example-443[2].EXE", 4, "h.example", 443},
        {"C:\\dl\\Corvisk-4-vpn-gw.example.com-443.exe", 4, "vpn-gw.example.com", 443},
        {"C:\\dl\\Corvisk-4-a-b-c.example-10443.exe", 4, "a-b-c.example", 10443},
        {"C:\\dl\\Corvisk-setup.exe", 0, nullptr, -1},
        {"/tmp/Corvisk-4-h-1.exe", 4, "h", 1},
    };
    for (const auto& c : cases) {
        LaunchRequest r = ParseLaunchFileName(c.path);
        EXPECT_TRUE(r.error.empty()) << c.path << ": " << r.error;
        EXPECT_EQ(r.mode, c.mode) << c.path;
        EXPECT_EQ(r.fields.applianceHost.value_or(""), c.host ? c.host : "") << c.path;
        EXPECT_EQ(r.fields.appliancePort ? int(*r.fields.appliancePort) : -1, c.port) << c.path;
    }
}

TEST(LaunchFileName, ModeOneAndTwoFields)
{
    LaunchRequest r = ParseLaunchFileName("C:\\x\\Corvisk-1-vpn-a.example-443-SID-portal-Name.exe");
    ASSERT_EQ(r.mode, 1) << r.error;
    EXPECT_EQ(*r.fields.applianceHost, "vpn-a.example");
    EXPECT_EQ(*r.fields.ownSessionId, "SID");
    EXPECT_EQ(*r.fields.portalName, "portal");
    EXPECT_EQ(*r.fields.ownDisplayName, "Name");
    r = ParseLaunchFileName("C:\\x\\Corvisk-2-h.example-443-MEET-portal.exe");
    ASSERT_EQ(r.mode, 2) << r.error;
    EXPECT_EQ(*r.fields.meetingId, "MEET");
}

// Regression: with its last fields left out, a name whose host carries '-'
// took the host's second part for the port and failed.
TEST(LaunchFileName, HostWithHyphenAndFieldsLeftOut)
{
    LaunchRequest r = ParseLaunchFileName("C:\\x\\Corvisk-1-vpn-gw.example.com-443-SID.exe");
    ASSERT_EQ(r.mode, 1) << r.error;
    EXPECT_EQ(*r.fields.applianceHost, "vpn-gw.example.com");
    EXPECT_EQ(*r.fields.appliancePort, 443);
    EXPECT_EQ(*r.fields.ownSessionId, "SID");
    EXPECT_FALSE(r.fields.portalName.has_value());
    r = ParseLaunchFileName("C:\\x\\Corvisk-3-a-b-c.example-8443.exe");
    ASSERT_EQ(r.mode, 3) << r.error;
    EXPECT_EQ(*r.fields.applianceHost, "a-b-c.example");
    EXPECT_EQ(*r.fields.appliancePort, 8443);
    // Two fields could be the port (a numeric session id): no guess.
    r = ParseLaunchFileName("C:\\x\\Corvisk-1-vpn-gw.example.com-443-12345.exe");
    EXPECT_EQ(r.mode, 0);
    EXPECT_FALSE(r.error.empty());
    EXPECT_FALSE(r.fields.applianceHost.has_value());
}

TEST(LaunchFileName, AmbiguousOrBadFieldsGiveAnError)
{
    const char* bad[] = {
        // Surplus field that is not part of the host (a '-' in the display name).
        "C:\\x\\Corvisk-1-h.example-443-SID-portal-Jean-Luc.exe",
        "C:\\x\\Corvisk-4-h.example-99999.exe",
        "C:\\x\\Corvisk-4-h.example-.exe",
        "C:\\x\\Corvisk-4--443.exe",
    };
    for (const char* p : bad) {
        LaunchRequest r = ParseLaunchFileName(p);
        EXPECT_EQ(r.mode, 0) << p;
        EXPECT_FALSE(r.error.empty()) << p;
        EXPECT_FALSE(r.fields.applianceHost.has_value()) << p;
    }
}

TEST(LaunchUriScheme, OnlyAWholeArgumentAsksForRegistration)
{
    EXPECT_TRUE(IsUriSchemeRequest({"Corvisk.exe", "URIScheme"}));
    EXPECT_TRUE(IsUriSchemeRequest({"Corvisk.exe", "-URIScheme"}));
    EXPECT_FALSE(IsUriSchemeRequest({"URIScheme"}));  // the program's own name
    // A link whose payload happens to contain the word is a link.
    EXPECT_FALSE(IsUriSchemeRequest({"Corvisk.exe", "parlemo://xURISchemex/"}));
    EXPECT_FALSE(IsUriSchemeRequest({"Corvisk.exe", "-urischeme"}));
}

TEST(LaunchHost, Syntax)
{
    EXPECT_TRUE(IsValidApplianceHost("10.0.0.1"));
    EXPECT_TRUE(IsValidApplianceHost("[fe80::1]"));
    EXPECT_TRUE(IsValidApplianceHost(std::string(253, 'a')));
    EXPECT_FALSE(IsValidApplianceHost(std::string(254, 'a')));
    EXPECT_FALSE(IsValidApplianceHost("a/b"));
    EXPECT_FALSE(IsValidApplianceHost("a%2f"));
    EXPECT_FALSE(IsValidApplianceHost(""));
    EXPECT_EQ(ParsePort("65535").value_or(0), 65535);
    EXPECT_FALSE(ParsePort("65536"));
    EXPECT_FALSE(ParsePort("+80"));
    EXPECT_FALSE(ParsePort(" 80"));
    EXPECT_FALSE(ParsePort("99999999999999999999"));
}
