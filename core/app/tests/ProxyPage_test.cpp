#include "core/app/ProxyPage.h"

#include <gtest/gtest.h>

TEST(ProxyPage, ControlsPerTypeAndEnable)
{
    const struct {
        bool enabled;
        int type;
        ProxyPageEnabled on;
    } cases[] = {
        {false, kProxyPageAutoDetect, {false, false, false}},
        {false, kProxyPageScript, {false, false, false}},
        {false, kProxyPageServer, {false, false, false}},
        {true, kProxyPageAutoDetect, {true, false, false}},
        {true, kProxyPageScript, {true, true, false}},
        {true, kProxyPageServer, {true, false, true}},
        {true, -1, {true, false, false}},  // no radio chosen yet
        {true, 3, {true, false, false}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProxyPageControls(c.enabled, c.type), c.on) << c.enabled << " " << c.type;
}

TEST(ProxyPage, PortIsEmptyOrOneTo65535)
{
    const struct {
        const wchar_t* text;
        int port;
    } cases[] = {
        {L"", 808},   {L"   ", 808},  {L"8080", 8080}, {L" 3128 ", 3128}, {L"1", 1},
        {L"65535", 65535}, {L"007", 7},
        // Refused: not a number, out of range, signs, inner blanks, overflow.
        {L"abc", -1}, {L"70000", -1}, {L"65536", -1}, {L"0", -1}, {L"-1", -1}, {L"+80", -1},
        {L"80 80", -1}, {L"99999999999999999999", -1}, {L"12a", -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseProxyPort(c.text), c.port) << c.text;
}
