#include "appliance/ui/SetupOutcome.h"

#include <gtest/gtest.h>

#include "appliance/ui/MeetingSetupResources.h"

namespace {

TEST(SetupOutcome, InviteErrorNumbersMapToTheirLogLines)
{
    struct Case {
        int32_t error;
        unsigned log;
    } cases[] = {
        {0, IDS_LOG_INVITE_SENT},          {1, IDS_LOG_INVITE_MESSAGE_INVALID}, {2, IDS_LOG_INVITE_ADDRESS_INVALID},
        {3, IDS_LOG_INVITE_ADDRESS_INVALID}, {4, IDS_LOG_INVITE_NO_SMTP},      {5, IDS_LOG_INVITE_NO_SMTP},
        {6, IDS_LOG_INVITE_MESSAGE_INVALID2}, {7, IDS_LOG_INVITE_NO_RELAY},    {8, IDS_LOG_INVITE_SERVER},
        {10, IDS_LOG_INVITE_SERVER},       {11, IDS_LOG_INVITE_ERROR},          {12, IDS_LOG_INVITE_SERVER},
        {17, IDS_LOG_INVITE_SERVER},       {18, IDS_LOG_INVITE_AUTH},           {20, IDS_LOG_INVITE_AUTH},
        {21, IDS_LOG_INVITE_TLS},          {22, IDS_LOG_INVITE_SMTP_REPLY},     {27, IDS_LOG_INVITE_SMTP_REPLY},
        {28, IDS_LOG_INVITE_SERVER},       {-5, IDS_LOG_INVITE_SERVER},         {999999, IDS_LOG_INVITE_SERVER},
    };
    for (const Case& c : cases)
        EXPECT_EQ(InviteErrorLog(c.error), c.log) << c.error;
}

TEST(SetupOutcome, ChecksAndRefusalsMapToTheirTexts)
{
    EXPECT_EQ(InviteCheckLog(InviteCheck::NoAddress), unsigned(IDS_LOG_INVITE_NO_ADDRESS));
    EXPECT_EQ(InviteCheckLog(InviteCheck::InvalidAddress), unsigned(IDS_LOG_INVITE_INVALID));
    EXPECT_EQ(InviteCheckLog(InviteCheck::InvalidCoordinator), unsigned(IDS_LOG_INVITE_INVALID));
    EXPECT_EQ(InviteCheckLog(InviteCheck::InvalidCharacters), unsigned(IDS_LOG_INVITE_CHARACTERS));
    EXPECT_EQ(InviteCheckLog(InviteCheck::CoordinatorCharacters), unsigned(IDS_LOG_COORDINATOR_CHARACTERS));
    EXPECT_EQ(InviteCheckLog(InviteCheck::SeveralCoordinators), unsigned(IDS_LOG_SEVERAL_COORDINATORS));
    EXPECT_EQ(InviteCheckLog(InviteCheck::AddressSeparator), 0u);

    EXPECT_EQ(StartRefusedTexts(48).status, unsigned(IDS_NAME_USED));
    EXPECT_EQ(StartRefusedTexts(49).log, unsigned(IDS_LOG_ROOM_LIMIT));
    EXPECT_EQ(StartRefusedTexts(51).status, unsigned(IDS_PORTAL_REFUSED));
    EXPECT_EQ(StartRefusedTexts(1).status, 0u);

    for (int32_t r : {45, 46, 50, 51, 52, 55, 56, 62})
        EXPECT_NE(JoinRefusedTexts(r).status, 0u) << r;
    for (int32_t r : {0, 1, 24, 33, 47})
        EXPECT_EQ(JoinRefusedTexts(r).status, 0u) << r;

    EXPECT_EQ(DeleteTexts(0, true).status, unsigned(IDS_DELETED_NAMED));
    EXPECT_EQ(DeleteTexts(0, false).status, unsigned(IDS_DELETED_PLAIN));
    EXPECT_EQ(DeleteTexts(60, true).status, unsigned(IDS_DELETE_NOT_OWNER));
    EXPECT_EQ(DeleteTexts(61, true).status, unsigned(IDS_DELETE_NOT_FOUND_NAMED));
    EXPECT_EQ(DeleteTexts(1, true).status, 0u);
}

} // namespace
