#include "traysetup/SetupCommand.h"

#include <gtest/gtest.h>

#include <string>

TEST(SetupCommand, OnlyTheExactFirstWordCounts)
{
    struct Case {
        std::string line;
        SetupAction action;
    } cases[] = {
        {"/Install", SetupAction::Install},
        {"/Uninstall", SetupAction::Uninstall},
        {"/Install and more", SetupAction::Install},
        {"/Uninstall /Install", SetupAction::Uninstall},
        {"/install", SetupAction::None},
        {"/UNINSTALL", SetupAction::None},
        {"", SetupAction::None},
        {" /Install", SetupAction::None},
        {"/Installer", SetupAction::None},
        {"Install", SetupAction::None},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseSetupCommand(c.line), c.action) << '"' << c.line << '"';
}

TEST(SetupCommand, OverlongWordMatchesNothing)
{
    std::string padded = "/Install" + std::string(300, 'x');
    EXPECT_EQ(ParseSetupCommand(padded), SetupAction::None);
    EXPECT_EQ(ParseSetupCommand(std::string(1 << 16, '/')), SetupAction::None);
}
