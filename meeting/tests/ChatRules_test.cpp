// The chat's recipient list, input rule, received-frame verdicts and history
// bound.
#include "meeting/ChatRules.h"

#include <gtest/gtest.h>

namespace {

const std::vector<ChatPeer> kPeers{{"S1", L"Me"}, {"S2", L"Bob"}, {"S3", L"Carol"}};

TEST(ChatRecipients, AllParticipantsFirstThenEveryoneButOneself)
{
    EXPECT_EQ(ChatRecipientNames(kPeers, "S1", L"All Participants"),
              (std::vector<std::wstring>{L"All Participants", L"Bob", L"Carol"}));
    EXPECT_EQ(ChatRecipientNames({}, "S1", L"All"), (std::vector<std::wstring>{L"All"}));
}

TEST(ChatRecipients, RebuildKeepsTheChosenNameWhileItIsThere)
{
    const std::vector<std::wstring> names{L"All Participants", L"Bob", L"Carol"};
    EXPECT_EQ(KeepRecipient(names, L"Carol"), 2u);
    EXPECT_EQ(KeepRecipient(names, L"Dave"), 0u);
    EXPECT_EQ(KeepRecipient(names, L"All Participants"), 0u);
}

TEST(ChatRecipients, ResolveGivesAllASessionOrNothing)
{
    EXPECT_EQ(ResolveRecipient(0, L"All Participants", kPeers, "S1"), "ALL");
    EXPECT_EQ(ResolveRecipient(2, L"Carol", kPeers, "S1"), "S3");
    EXPECT_EQ(ResolveRecipient(1, L"Gone", kPeers, "S1"), "");
    // A participant named like oneself is someone else.
    EXPECT_EQ(ResolveRecipient(1, L"Me", {{"S1", L"Me"}, {"S9", L"Me"}}, "S1"), "S9");
}

TEST(ChatInput, EnterClearsShortTextAndSendsLongerText)
{
    struct {
        const wchar_t* text;
        ChatInputAction want;
    } cases[] = {
        {L"hello", ChatInputAction::None},     {L"\r\n", ChatInputAction::Clear},
        {L"a\r\n", ChatInputAction::Send},     {L"\n", ChatInputAction::Clear},
        {L"a\n", ChatInputAction::Clear},      {L"hi\r\n", ChatInputAction::Send},
        {L"", ChatInputAction::None},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OnChatInputChanged(c.text), c.want) << c.text;
}

// Regression: a private message to someone else was shown as sent to all.
TEST(ChatVerdicts, OnlyMessagesToAllOrToMeFromKnownOthersShow)
{
    struct {
        const char* from;
        const char* to;
        bool known;
        ChatVerdict want;
    } cases[] = {
        {"S2", "ALL", true, ChatVerdict::ShowToAll},      {"S2", "S1", true, ChatVerdict::ShowToMe},
        {"S1", "ALL", true, ChatVerdict::Own},            {"S2", "S3", true, ChatVerdict::NotForMe},
        {"S9", "ALL", false, ChatVerdict::UnknownSender}, {"S9", "S3", false, ChatVerdict::NotForMe},
        {"S2", "all", true, ChatVerdict::NotForMe},
    };
    for (const auto& c : cases)
        EXPECT_EQ(JudgeChatFrame(c.from, c.to, "S1", c.known), c.want) << c.from << " " << c.to;
}

TEST(ChatHistory, StartsAgainWhenItWouldPassItsSize)
{
    EXPECT_FALSE(ChatHistoryRestarts(16000, 384));
    EXPECT_TRUE(ChatHistoryRestarts(16000, 385));
    EXPECT_FALSE(ChatHistoryRestarts(0, 0));
}

TEST(ChatHistory, HeaderFillsBothNamesWithoutAFormatCall)
{
    EXPECT_EQ(ChatHeader(L"<%s> To <%s>:", L"Bob", L"All"), L"<Bob> To <All>:");
    EXPECT_EQ(ChatHeader(L"<%s> To <%s>:", L"%s%n", L"Me"), L"<%s%n> To <Me>:");
    EXPECT_EQ(ChatHeader(L"only %s", L"Bob", L"Me"), L"only Bob");
}

} // namespace
