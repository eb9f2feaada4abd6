#include "appliance/cgi/MeetingForm.h"

#include <gtest/gtest.h>

#include <random>

#include "core/base/PlainSecret.h"
#include "core/base/StoredSecret.h"

namespace {

TEST(MeetingForm, NameAndCodeChecks)
{
    struct Case {
        const wchar_t* name;
        const char* code;
        NameCodeCheck expected;
        const wchar_t* nameAfter;
    } cases[] = {
        {L"Weekly", "1234", NameCodeCheck::Ok, L"Weekly"},
        {L"  \tWeekly call", "1234", NameCodeCheck::Ok, L"Weekly call"},
        {L"", "1234", NameCodeCheck::Empty, L""},
        {L" \t \t", "1234", NameCodeCheck::Empty, L""},
        {L"Weekly", "", NameCodeCheck::Empty, L"Weekly"},
        {L"a\\b", "1", NameCodeCheck::BadCharacter, L"a\\b"},
        {L"a/b", "1", NameCodeCheck::BadCharacter, L"a/b"},
        {L"a*b", "1", NameCodeCheck::BadCharacter, L"a*b"},
        {L"a?b", "1", NameCodeCheck::BadCharacter, L"a?b"},
        {L"a\"b", "1", NameCodeCheck::BadCharacter, L"a\"b"},
        {L"a<b", "1", NameCodeCheck::BadCharacter, L"a<b"},
        {L"a>b", "1", NameCodeCheck::BadCharacter, L"a>b"},
        {L"a|b", "1", NameCodeCheck::BadCharacter, L"a|b"},
        {L"Weekly", "12:4", NameCodeCheck::BadCharacter, L"Weekly"},
        {L"a#b;c", "1", NameCodeCheck::Ok, L"a#b;c"},
        {L"R\u00e9union", "1", NameCodeCheck::Ok, L"R\u00e9union"},
    };
    for (const Case& c : cases) {
        std::wstring name = c.name;
        EXPECT_EQ(CheckNameAndCode(name, c.code), c.expected) << c.code;
        EXPECT_EQ(name, c.nameAfter);
    }
}

TEST(MeetingForm, EscapingBothWays)
{
    EXPECT_EQ(EscapeField(std::wstring(L"a#b;c")), L"a##b#59c");
    EXPECT_EQ(UnescapeField(std::wstring(L"a##b#59c")), L"a#b;c");
    EXPECT_EQ(EscapeField(std::string("#;")), "###59");
    // Left to right: "###59" is "#" then "#59".
    EXPECT_EQ(UnescapeField(std::string("###59")), "#;");
    // A lone "#" and a cut "#5" stay as they are.
    EXPECT_EQ(UnescapeField(std::string("a#b#5")), "a#b#5");
}

TEST(MeetingForm, EscapeThenUnescapeGivesTheTextBack)
{
    std::mt19937 rng(17);
    const wchar_t alphabet[] = L"#;59a \u00e9";
    for (int round = 0; round < 2000; ++round) {
        std::wstring text;
        const int n = static_cast<int>(rng() % 12);
        for (int i = 0; i < n; ++i)
            text += alphabet[rng() % (sizeof(alphabet) / sizeof(alphabet[0]) - 1)];
        EXPECT_EQ(UnescapeField(EscapeField(text)), text);
    }
}

TEST(MeetingForm, SavedMeetingFieldsAndCodeAreEscaped)
{
    MeetingInfo info;
    info.meetingname = L"a#b;c";
    info.custmsg = L"x;y";
    info.meetingstart = "2024/05/01 09:30";
    std::string code = "c;1#";
    ASSERT_EQ(EncryptStoredString(&code[0], info.meetingcode), 1);
    ASSERT_TRUE(EscapeMeetingInfo(info));
    EXPECT_EQ(info.meetingname, L"a##b#59c");
    EXPECT_EQ(info.custmsg, L"x#59y");
    EXPECT_EQ(info.meetingstart, "2024/05/01 09:30");
    EXPECT_EQ(PlainSecret(info.meetingcode).Text(), "c#591##");
    ASSERT_TRUE(UnescapeMeetingInfo(info));
    EXPECT_EQ(info.meetingname, L"a#b;c");
    EXPECT_EQ(PlainSecret(info.meetingcode).Text(), "c;1#");
}

TEST(MeetingForm, AddressLines)
{
    EXPECT_EQ(AddressesToLines(L"a@x.org;b@x.org"), L"a@x.org\r\nb@x.org");
    EXPECT_EQ(AddressesToLines(L""), L"");
    struct Case {
        const wchar_t* lines;
        const wchar_t* addresses;
    } cases[] = {
        {L"a@x.org\r\nb@x.org", L"a@x.org;b@x.org"},
        {L"a@x.org\r\nb@x.org\r\n", L"a@x.org;b@x.org;"},
        {L"a@x.org\r\n\r\nb@x.org", L"a@x.org;;b@x.org"},
        {L"", L""},
        {L"\r\n", L";"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LinesToAddresses(c.lines), c.addresses);
    EXPECT_EQ(LinesToAddresses(AddressesToLines(L"a@x.org;b@x.org")), L"a@x.org;b@x.org");
}

} // namespace
