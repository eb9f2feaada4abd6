#include "appliance/cgi/MeetingListRules.h"
#include "appliance/cgi/PasswordRules.h"

#include <gtest/gtest.h>

namespace {

MeetingRecord Meeting(const std::string& id, const std::string& name)
{
    MeetingRecord m;
    m.meetingID = id;
    m.meetingName = name;
    return m;
}

TEST(MeetingListRules, TwoMeetingsOfOneNameAreFoundByTheirOwnIds)
{
    const std::vector<MeetingRecord> list = {Meeting("1", "Sync"), Meeting("2", "Sync"), Meeting("3", "Other")};
    ASSERT_NE(FindMeetingById(list, "1"), nullptr);
    EXPECT_EQ(FindMeetingById(list, "1"), &list[0]) << "the first row is not replaced by the later namesake";
    EXPECT_EQ(FindMeetingById(list, "2"), &list[1]);
    EXPECT_EQ(FindMeetingById(list, "4"), nullptr);
    EXPECT_EQ(FindMeetingById(list, ""), nullptr);
}

TEST(MeetingListRules, JoinResultsAsTheWindowReportsThem)
{
    struct Case {
        int32_t result;
        unsigned status, log;
        bool enter, minutes;
    } cases[] = {
        {0, 0, 4212, true, false},     {45, 4213, 4214, false, false}, {46, 4215, 4216, false, false},
        {50, 4083, 4084, false, false}, {51, 4085, 4086, false, false}, {52, 4221, 4222, false, false},
        {55, 4087, 4088, false, false}, {56, 4217, 4218, false, false}, {62, 4219, 4220, false, true},
    };
    for (const Case& c : cases) {
        auto report = JoinReportFor(c.result);
        ASSERT_TRUE(report) << c.result;
        EXPECT_EQ(report->statusId, c.status) << c.result;
        EXPECT_EQ(report->logId, c.log) << c.result;
        EXPECT_EQ(report->enter, c.enter) << c.result;
        EXPECT_EQ(report->minutes, c.minutes) << c.result;
    }
    for (int32_t unnamed : {1, 24, 33, 47, -1})
        EXPECT_FALSE(JoinReportFor(unnamed)) << unnamed << " changes nothing on screen";
}

TEST(MeetingListRules, StateTexts)
{
    const unsigned meeting[] = {4257, 4258, 4260, 4258};
    for (int s = 0; s < 4; ++s)
        EXPECT_EQ(MeetingStateTextId(s), meeting[s]) << s;
    EXPECT_EQ(MeetingStateTextId(4), 0u);
    EXPECT_EQ(MeetingStateTextId(-1), 0u);
    const unsigned sharing[] = {4288, 4289, 4291, 4290, 4292};
    for (int s = 0; s < 5; ++s)
        EXPECT_EQ(SharingStateTextId(s), sharing[s]) << s;
    EXPECT_EQ(SharingStateTextId(5), 0u);
    EXPECT_EQ(SharingStateTextId(-7), 0u);
}

TEST(MeetingListRules, OnlyTheOwnerWithAPermissionMayCancel)
{
    EXPECT_TRUE(MayCancelMeeting(L"alice", L"alice", 1));
    EXPECT_TRUE(MayCancelMeeting(L"alice", L"alice", 2)) << "any non-zero permission";
    EXPECT_FALSE(MayCancelMeeting(L"alice", L"alice", 0));
    EXPECT_FALSE(MayCancelMeeting(L"alice", L"Alice", 1)) << "names compared exactly";
    EXPECT_FALSE(MayCancelMeeting(L"alice", L"alice ", 1));
    EXPECT_FALSE(MayCancelMeeting(L"", L"bob", 1));
}

TEST(MeetingListRules, StartAndEndTextsAreBoundedAndCutCleanly)
{
    EXPECT_EQ(JoinDateAndTime("2026/12/11", "10:30", kDetailsTimeMax), "2026/12/11 10:30");
    const std::string longDate(200, '9');
    EXPECT_EQ(JoinDateAndTime(longDate, "10:30", kDetailsTimeMax), std::string(63, '9'));
    // "ü" is two bytes; a cut inside it drops the whole character.
    std::string date(62, 'd');
    EXPECT_EQ(JoinDateAndTime(date + "\xC3\xBC", "t", kDetailsTimeMax), date);
    EXPECT_EQ(JoinDateAndTime(std::string(61, 'd') + "\xC3\xBC", "t", kDetailsTimeMax),
              std::string(61, 'd') + "\xC3\xBC");
    // A three-byte character that would end one byte past the bound.
    EXPECT_EQ(JoinDateAndTime(std::string(61, 'd') + "\xE2\x82\xAC", "", kDetailsTimeMax), std::string(61, 'd'));
    EXPECT_EQ(JoinDateAndTime("", "", kDetailsTimeMax), " ");
}

TEST(PasswordRules, ExpiryPromptTable)
{
    struct Case {
        int32_t days;
        bool mayChange;
        unsigned text;  // 0: nothing shown
        bool yesNo;
    } cases[] = {
        {-1, true, 4552, true}, {-1, false, 4553, false}, {-30, true, 4552, true},
        {0, true, 4554, true},  {0, false, 4555, false},  {99, true, 4554, true},
        {99, false, 4555, false}, {100, true, 0, false},  {100, false, 0, false},
    };
    for (const Case& c : cases) {
        auto prompt = ExpiryPromptFor(true, c.days, c.mayChange);
        if (c.text == 0) {
            EXPECT_FALSE(prompt) << c.days;
            continue;
        }
        ASSERT_TRUE(prompt) << c.days;
        EXPECT_EQ(prompt->textId, c.text) << c.days << " " << c.mayChange;
        EXPECT_EQ(prompt->askYesNo, c.yesNo) << c.days << " " << c.mayChange;
        EXPECT_EQ(prompt->withDays, c.days >= 0);
    }
    EXPECT_FALSE(ExpiryPromptFor(false, -1, true)) << "no expiry known, no prompt";
}

TEST(PasswordRules, FieldChecks)
{
    EXPECT_EQ(CheckPasswordFields(L"old", L"new", L"new"), PasswordFieldCheck::Ok);
    EXPECT_EQ(CheckPasswordFields(L"", L"new", L"new"), PasswordFieldCheck::Empty);
    EXPECT_EQ(CheckPasswordFields(L"old", L"", L""), PasswordFieldCheck::Empty);
    EXPECT_EQ(CheckPasswordFields(L"old", L"new", L""), PasswordFieldCheck::Empty);
    EXPECT_EQ(CheckPasswordFields(L"old", L"new", L"nex"), PasswordFieldCheck::Mismatch) << "one character";
    EXPECT_EQ(CheckPasswordFields(L"old", L"new", L"new "), PasswordFieldCheck::Mismatch) << "length";
    EXPECT_EQ(CheckPasswordFields(L"old", L"new", L"ne"), PasswordFieldCheck::Mismatch);
    EXPECT_EQ(CheckPasswordFields(L"old", L"p\u00e4ss", L"p\u00e4ss"), PasswordFieldCheck::Ok);
}

} // namespace
