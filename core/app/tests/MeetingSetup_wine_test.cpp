// The meeting setup window under Wine against the local appliance: the form
// and its optional section, OK's checks, starting now or later with
// invitations, the refusals, the reschedule of a running meeting, the saved
// meetings and the address-list dialog.
#include "appliance/cgi/MeetingSchedule.h"
#include "appliance/ui/MeetingSetup_win.h"
#include "core/app/tests/SetupWindowFixture_win.h"
#include "core/base/PlainSecret.h"
#include "core/base/StoredSecret.h"

#include <commctrl.h>

#include <ctime>

namespace {

using namespace setuptest;

std::string Clock(const LocalTime& t)
{
    char b[16];
    snprintf(b, sizeof(b), "%02d:%02d", t.hour, t.minute);
    return b;
}

LocalTime PickerDate(HWND picker)
{
    SYSTEMTIME s{};
    SendMessageW(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&s));
    LocalTime t;
    t.year = s.wYear;
    t.month = s.wMonth;
    t.day = s.wDay;
    return t;
}

class SetupWindow : public ApplianceWindowTest {
protected:
    std::string Suite() const override { return "SetupWindow"; }

    // Through the dispatcher: 60103 from the meeting list, 60124 from the lobby.
    CMeetingSetup* Open(bool reschedule)
    {
        manager->OnThreadMessage(reschedule ? PLM_RESCHEDULE : PLM_SHOW_MEETING_SETUP, 0, 0);
        setup = Program().MeetingSetup();
        wintest::Pump();
        return setup;
    }
    HWND Form() const { return setup->Form(); }
    HWND Item(int id) const { return GetDlgItem(Form(), id); }
    void Set(int id, const std::wstring& text) { wintest::SetControlText(Form(), id, text); }
    std::wstring Status() const { return setup->StatusText(); }
    // Start and end dates and times as the user would pick them.
    void SetTimes(int64_t start, int64_t end)
    {
        const struct {
            int64_t at;
            int date;
            int time;
        } fields[] = {{start, IDC_SETUP_START_DATE, IDC_SETUP_START_TIME}, {end, IDC_SETUP_END_DATE, IDC_SETUP_END_TIME}};
        for (const auto& f : fields) {
            const LocalTime t = SystemZone().FromEpoch(f.at);
            SYSTEMTIME s{};
            s.wYear = static_cast<WORD>(t.year);
            s.wMonth = static_cast<WORD>(t.month);
            s.wDay = static_cast<WORD>(t.day);
            SendMessageW(Item(f.date), DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&s));
            Set(f.time, Wide(Clock(t)));
        }
    }
    void NameAndCode(const wchar_t* name, const wchar_t* code)
    {
        Set(IDC_SETUP_NAME, name);
        Set(IDC_SETUP_CODE, code);
    }
    static int64_t Now() { return static_cast<int64_t>(std::time(nullptr)); }

    CMeetingSetup* setup = nullptr;
};

TEST_F(SetupWindow, NewMeetingFormStartsCollapsedAndExpands)
{
    const ScheduleDefaults before = DefaultSchedule(SystemZone(), Now());
    ASSERT_NE(Open(false), nullptr);
    const ScheduleDefaults after = DefaultSchedule(SystemZone(), Now());
    EXPECT_EQ(wintest::ControlText(Form(), IDC_SETUP_NAME_LABEL), L"Meeting Name:");
    EXPECT_EQ(wintest::ControlText(Form(), IDC_SETUP_START_NOW), L"Start Now");
    EXPECT_EQ(IsDlgButtonChecked(Form(), IDC_SETUP_LOBBY), BST_CHECKED);
    struct {
        int id;
        LRESULT limit;
    } limits[] = {{IDC_SETUP_NAME, 128},     {IDC_SETUP_CODE, 8},        {IDC_SETUP_DESCRIPTION, 255},
                  {IDC_SETUP_REQUIRED, 2047}, {IDC_SETUP_OPTIONAL, 2047}, {IDC_SETUP_COORDINATOR, 127},
                  {IDC_SETUP_MESSAGE, 1023}};
    for (const auto& l : limits)
        EXPECT_EQ(SendMessageW(Item(l.id), EM_GETLIMITTEXT, 0, 0), l.limit) << l.id;
    for (int id : {IDC_SETUP_START_TIME, IDC_SETUP_END_TIME}) {
        EXPECT_EQ(SendMessageW(Item(id), CB_GETCOUNT, 0, 0), 48);
        wchar_t first[8] = {}, last[8] = {};
        SendMessageW(Item(id), CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(first));
        SendMessageW(Item(id), CB_GETLBTEXT, 47, reinterpret_cast<LPARAM>(last));
        EXPECT_STREQ(first, L"00:00");
        EXPECT_STREQ(last, L"23:30");
    }
    // The next half hour and the one after, as the clock read around the opening says.
    const std::wstring start = wintest::ControlText(Form(), IDC_SETUP_START_TIME);
    const std::wstring end = wintest::ControlText(Form(), IDC_SETUP_END_TIME);
    EXPECT_TRUE(start == Wide(Clock(before.start)) || start == Wide(Clock(after.start)));
    EXPECT_TRUE(end == Wide(Clock(before.end)) || end == Wide(Clock(after.end)));
    EXPECT_EQ(PickerDate(Item(IDC_SETUP_END_DATE)).day, after.end.day);

    // Collapsed at the start: the section hidden, the rows below moved up.
    EXPECT_FALSE(setup->Expanded());
    EXPECT_FALSE(IsWindowVisible(Item(IDC_SETUP_REQUIRED)));
    EXPECT_EQ(wintest::ControlText(Form(), IDC_SETUP_EXPAND), L"v");
    Shot(setup->Window(), L"collapsed");
    const RECT frameCollapsed = Rect(setup->Window());
    const RECT okCollapsed = Rect(Item(IDOK));
    const RECT lobbyCollapsed = Rect(Item(IDC_SETUP_LOBBY));
    const int markers = Rect(Item(IDC_SETUP_MARKER_BOTTOM)).top - Rect(Item(IDC_SETUP_MARKER_TOP)).top;
    EXPECT_EQ(lobbyCollapsed.top - Rect(Item(IDC_SETUP_MARKER_TOP)).top, 5);

    wintest::Click(Form(), IDC_SETUP_EXPAND);
    EXPECT_TRUE(setup->Expanded());
    for (int id : {IDC_SETUP_DESCRIPTION, IDC_SETUP_REQUIRED, IDC_SETUP_REQUIRED_LIST, IDC_SETUP_OPTIONAL,
                   IDC_SETUP_OPTIONAL_LIST, IDC_SETUP_COORDINATOR, IDC_SETUP_MESSAGE, IDC_SETUP_MESSAGE_LABEL})
        EXPECT_TRUE(IsWindowVisible(Item(id))) << id;
    EXPECT_EQ(wintest::ControlText(Form(), IDC_SETUP_EXPAND), L"^");
    EXPECT_EQ(Rect(Item(IDOK)).top - okCollapsed.top, markers);
    EXPECT_EQ(Rect(Item(IDC_SETUP_LOBBY)).top - Rect(Item(IDC_SETUP_MARKER_BOTTOM)).top, 5);
    const RECT frameExpanded = Rect(setup->Window());
    EXPECT_EQ((frameExpanded.bottom - frameExpanded.top) - (frameCollapsed.bottom - frameCollapsed.top), markers);
    wintest::Pump();
    Shot(setup->Window(), L"expanded");

    wintest::Click(Form(), IDC_SETUP_EXPAND);
    EXPECT_EQ(Rect(setup->Window()).bottom, frameCollapsed.bottom);
    EXPECT_EQ(Rect(Item(IDOK)).top, okCollapsed.top);
}

TEST_F(SetupWindow, OkChecksNameCodeAndTimesBeforeSending)
{
    ASSERT_NE(Open(false), nullptr);
    const int64_t now = Now();
    struct Case {
        const wchar_t* name;
        const wchar_t* code;
        int64_t start;
        int64_t end;
        const wchar_t* status;
        const wchar_t* nameAfter;
    } cases[] = {
        {L"", L"1234", now + 7200, now + 9000, L"Please input meeting name and meeting code.", L""},
        {L" \t \t", L"1234", now + 7200, now + 9000, L"Please input meeting name and meeting code.", L""},
        {L"Weekly", L"", now + 7200, now + 9000, L"Please input meeting name and meeting code.", L""},
        {L"a/b", L"1234", now + 7200, now + 9000, nullptr, L"a/b"},
        {L"Weekly", L"12:4", now + 7200, now + 9000, nullptr, L"Weekly"},
        {L"Weekly", L"1234", now - 3600, now + 9000, L"The starting time should not be earlier than now.", L"Weekly"},
        {L"Weekly", L"1234", now + 9000, now + 7200, L"The starting time should not be later than the ending time.",
         L"Weekly"},
    };
    for (const Case& c : cases) {
        NameAndCode(c.name, c.code);
        SetTimes(c.start, c.end);
        setup->SetStatusText(STATUS_NORMAL, L"-");
        wintest::Click(Form(), IDOK);
        if (c.status)
            EXPECT_EQ(Status(), c.status) << c.name << "|" << c.code;
        else  // the forbidden characters, in a normal status
            EXPECT_EQ(Status().rfind(L"The meeting name and meeting code cannot contain", 0), 0u) << c.name;
        EXPECT_EQ(wintest::ControlText(Form(), IDC_SETUP_NAME), c.nameAfter);
    }
    Shot(setup->Window(), L"refused");
    // A time typed by hand that is no time: nothing happens, nothing is said.
    NameAndCode(L"Weekly", L"1234");
    SetTimes(now + 7200, now + 9000);
    Set(IDC_SETUP_START_TIME, L"25:99");
    setup->SetStatusText(STATUS_NORMAL, L"-");
    wintest::Click(Form(), IDOK);
    EXPECT_EQ(Status(), L"-");
    EXPECT_EQ(CountBodies("submitter=startmeeting"), 0);

    // Start equal to end passes the checks and goes to the appliance.
    SetTimes(now + 7200, now + 7200);
    wintest::Click(Form(), IDOK);
    EXPECT_EQ(CountBodies("submitter=startmeeting"), 1);
    EXPECT_TRUE(posted.empty() || !Find(PLM_START_MEETING));
}

TEST_F(SetupWindow, ScheduledMeetingWithoutLobbyReturnsToTheList)
{
    ASSERT_NE(Open(false), nullptr);
    NameAndCode(L"  Planning", L"77");
    const int64_t now = Now();
    const int64_t start = (now / 1800 + 4) * 1800;
    SetTimes(start, start + 3600);
    CheckDlgButton(Form(), IDC_SETUP_LOBBY, BST_UNCHECKED);
    wintest::Click(Form(), IDOK);
    ASSERT_TRUE(WaitPosted(PLM_SHOW_MEETING_LIST));
    EXPECT_EQ(Find(PLM_START_MEETING), nullptr);
    const std::string requests = Requests();
    EXPECT_NE(requests.find("meetingname=Planning&meetingpass=77&seconds2start="), std::string::npos);
    EXPECT_EQ(requests.find("isstartnow"), std::string::npos);
    EXPECT_EQ(CountBodies("submitter=joinmeeting"), 0);
    // The seconds the body carries are the chosen time's, read against the clock now.
    const size_t at = requests.find("seconds2start=");
    ASSERT_NE(at, std::string::npos);
    const long long sent = std::atoll(requests.c_str() + at + 14);
    EXPECT_NEAR(static_cast<double>(sent), static_cast<double>(start - now), 120.0);
    EXPECT_NE(State().find("\"title\": \"Planning\""), std::string::npos);
    EXPECT_EQ(manager->scheduleStartTime, Clock(SystemZone().FromEpoch(start)));
}

TEST_F(SetupWindow, StartNowCreatesJoinsAndSendsTheInvitations)
{
    ASSERT_NE(Open(false), nullptr);
    NameAndCode(L"Standup", L"42");
    wintest::Click(Form(), IDC_SETUP_EXPAND);
    Set(IDC_SETUP_DESCRIPTION, L"Daily");
    Set(IDC_SETUP_REQUIRED, L"ann@example.org;bo\u00e9@example.org");
    Set(IDC_SETUP_OPTIONAL, L"cy@example.org");
    Set(IDC_SETUP_COORDINATOR, L"boss@example.org");
    Set(IDC_SETUP_MESSAGE, L"See you");
    // Dates on tomorrow (as the form shows them after 23:30): Start Now is
    // still now, not this time tomorrow.
    SetTimes(Now() + 86400, Now() + 86400 + 1800);
    Shot(setup->Window(), L"filled");
    wintest::Click(Form(), IDC_SETUP_START_NOW);
    ASSERT_TRUE(WaitPosted(PLM_START_MEETING)) << std::string(Status().begin(), Status().end());
    const std::string requests = Requests();
    EXPECT_NE(requests.find("isstartnow=true"), std::string::npos);
    const size_t at = requests.find("seconds2start=");
    ASSERT_NE(at, std::string::npos);
    EXPECT_LT(std::llabs(std::atoll(requests.c_str() + at + 14)), 120);
    EXPECT_NEAR(std::atof(requests.c_str() + requests.find("seconds2end=") + 12), 1800.0, 120.0);
    EXPECT_EQ(CountBodies("submitter=joinmeeting"), 1);
    EXPECT_FALSE(manager->meetingId.empty());
    EXPECT_EQ(manager->meetingName, "Standup");
    EXPECT_EQ(PlainSecret(manager->meetingCode).Text(), "42");
    // The invitations go on their own thread and reach the appliance with the
    // form's four texts.
    ASSERT_TRUE(wintest::WaitFor([&] { return State().find("\"invitations\": [{") != std::string::npos; }, 20000));
    const std::string state = State();
    EXPECT_NE(state.find("ann@example.org"), std::string::npos) << state;
    EXPECT_NE(state.find("bo\\u00e9@example.org"), std::string::npos) << state;
    EXPECT_NE(state.find("cy@example.org"), std::string::npos);
    EXPECT_NE(state.find("boss@example.org"), std::string::npos);
    EXPECT_NE(state.find("See you"), std::string::npos);
    EXPECT_NE(state.find("\"meeting_name\": \"Standup\""), std::string::npos);
}

TEST_F(SetupWindow, RefusedStartsShowTheirStatus)
{
    ASSERT_NE(Open(false), nullptr);
    const int64_t start = (Now() / 1800 + 4) * 1800;
    SetTimes(start, start + 1800);
    NameAndCode(L"Weekly sync", L"1");  // the scenario's meeting
    wintest::Click(Form(), IDOK);
    EXPECT_EQ(Status(), L"The meeting name has been used.");
    EXPECT_EQ(setup->StatusKind(), STATUS_ERROR);
    ASSERT_EQ(Control(L"POST", "/__control/faults",
                      R"({"path": "/cgi-bin/meetingstart", "match": "submitter=startmeeting",
                          "body": "error: the max number of meeting rooms is 1\r\n", "skip_handler": true})")
                  .status,
              200u);
    NameAndCode(L"Another", L"1");
    wintest::Click(Form(), IDOK);
    EXPECT_EQ(Status(), L"The number of meeting room reaches the limit.");
    EXPECT_TRUE(posted.empty() || (!Find(PLM_START_MEETING) && !Find(PLM_SHOW_MEETING_LIST)));
}

TEST_F(SetupWindow, JoinRefusedAfterTheStartKeepsTheWindow)
{
    ASSERT_NE(Open(false), nullptr);
    ASSERT_EQ(Control(L"POST", "/__control/faults",
                      R"({"path": "/cgi-bin/meetingstart", "match": "submitter=joinmeeting",
                          "body": "{error: BeforeMins 15}\r\n", "skip_handler": true})")
                  .status,
              200u);
    NameAndCode(L"Later", L"5");
    wintest::Click(Form(), IDC_SETUP_START_NOW);
    ASSERT_TRUE(wintest::WaitFor([&] { return Status().find(L"15 minute(s)") != std::wstring::npos; }));
    EXPECT_EQ(Status(), L"The meeting is not open for joining, and will be open in 15 minute(s) before start time.\n");
    EXPECT_EQ(Find(PLM_START_MEETING), nullptr);
    EXPECT_NE(Program().MeetingSetup(), nullptr);

    // A join answer with no text of its own: the box, then back to the list.
    ASSERT_EQ(Control(L"POST", "/__control/faults/clear").status, 200u);
    ASSERT_EQ(Control(L"POST", "/__control/faults",
                      R"({"path": "/cgi-bin/meetingstart", "match": "submitter=joinmeeting",
                          "body": "nonsense\r\n", "skip_handler": true})")
                  .status,
              200u);
    NameAndCode(L"Later again", L"6");
    BoxAnswer answer(L"Warning", IDOK);
    wintest::Click(Form(), IDC_SETUP_START_NOW);
    ASSERT_TRUE(WaitPosted(PLM_SHOW_MEETING_LIST));
    EXPECT_TRUE(answer.Answered());
    EXPECT_EQ(Find(PLM_START_MEETING), nullptr);
}

TEST_F(SetupWindow, RescheduleMovesTheRunningMeetingAndReportsToTheLobby)
{
    manager->meetingName = "Weekly sync";
    std::string code = "code1";
    ASSERT_EQ(EncryptStoredString(&code[0], manager->meetingCode), 1);
    ASSERT_NE(Open(true), nullptr);
    EXPECT_EQ(wintest::ControlText(Form(), IDC_SETUP_NAME), L"Weekly sync");
    EXPECT_EQ(wintest::ControlText(Form(), IDC_SETUP_CODE), L"code1");
    for (int id : {IDC_SETUP_NAME, IDC_SETUP_CODE, IDC_SETUP_START_NOW, IDC_SETUP_SAVE, IDC_SETUP_VIEW,
                   IDC_SETUP_EXPAND, IDC_SETUP_LOBBY})
        EXPECT_FALSE(IsWindowEnabled(Item(id))) << id;
    Shot(setup->Window(), L"reschedule");
    const int64_t start = (Now() / 1800 + 6) * 1800;
    SetTimes(start, start + 5400);
    wintest::Click(Form(), IDOK);
    ASSERT_TRUE(WaitPosted(PLM_SETUP_DONE));
    EXPECT_EQ(Find(PLM_SETUP_DONE)->wParam, 1u);
    EXPECT_EQ(Find(PLM_SETUP_DONE)->lParam, 0);
    EXPECT_EQ(manager->scheduleStartTime, Clock(SystemZone().FromEpoch(start)));
    EXPECT_EQ(manager->scheduleEndTime, Clock(SystemZone().FromEpoch(start + 5400)));
    EXPECT_EQ(manager->meetingState, 1);
    // The dispatcher takes the window down on 60125.
    manager->OnThreadMessage(PLM_SETUP_DONE, 1, 0);
    EXPECT_FALSE(manager->Appliance().HasMeetingSetup());
    // The appliance's start moved to the chosen time.
    const std::string state = State();
    const size_t at = state.find("\"start\": ");
    ASSERT_NE(at, std::string::npos) << state;
    EXPECT_NEAR(std::atof(state.c_str() + at + 9), static_cast<double>(start), 120.0);
}

TEST_F(SetupWindow, RescheduleRefusedCancelledOrClosed)
{
    struct Case {
        const char* meeting;
        int action;  // 0 OK, 1 Cancel, 2 close box
        WPARAM wParam;
        LPARAM lParam;
    } cases[] = {{"Not mine", 0, 0, 0}, {"Weekly sync", 1, 0, 1}, {"Weekly sync", 2, 0, 1}};
    std::string code = "code1";
    ASSERT_EQ(EncryptStoredString(&code[0], manager->meetingCode), 1);
    for (const Case& c : cases) {
        posted.clear();
        manager->meetingName = c.meeting;
        ASSERT_NE(Open(true), nullptr);
        const int64_t start = (Now() / 1800 + 6) * 1800;
        SetTimes(start, start + 1800);
        if (c.action == 0)
            wintest::Click(Form(), IDOK);
        else if (c.action == 1)
            wintest::Click(Form(), IDCANCEL);
        else
            SendMessageW(setup->Window(), WM_CLOSE, 0, 0);
        ASSERT_TRUE(WaitPosted(PLM_SETUP_DONE)) << c.action;
        EXPECT_EQ(Find(PLM_SETUP_DONE)->wParam, c.wParam) << c.action;
        EXPECT_EQ(Find(PLM_SETUP_DONE)->lParam, c.lParam) << c.action;
        Program().DestroyMeetingSetup();
    }
}

TEST_F(SetupWindow, ClosingTheNewMeetingFormLogsOutAndCancelReturnsToTheList)
{
    ASSERT_NE(Open(false), nullptr);
    wintest::Click(Form(), IDCANCEL);
    ASSERT_TRUE(WaitPosted(PLM_SHOW_MEETING_LIST));
    SendMessageW(setup->Window(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitPosted(PLM_LOGOUT));
    EXPECT_EQ(logintest::CountRequests(Requests(), "/cgi-bin/userLogout"), 1);
}

TEST_F(SetupWindow, AddressListShowsOneAddressPerLineAndJoinsThemBack)
{
    ASSERT_NE(Open(false), nullptr);
    wintest::Click(Form(), IDC_SETUP_EXPAND);
    Set(IDC_SETUP_REQUIRED, L"ann@example.org;bob@example.org");
    std::wstring shown;
    {
        BoxAnswer answer(L"Invite List", IDOK, [&](HWND box) {
            wchar_t text[256] = {};
            GetDlgItemTextW(box, IDC_ADDRESS_EDIT, text, 256);
            shown = text;
            wintest::SaveScreenshot(box, Wide("SetupWindow_" + TestName()), L"address_list");
            SetDlgItemTextW(box, IDC_ADDRESS_EDIT, L"ann@example.org\r\ncy@example.org\r\n");
        });
        wintest::Click(Form(), IDC_SETUP_REQUIRED_LIST);
        EXPECT_TRUE(answer.Answered());
    }
    EXPECT_EQ(shown, L"ann@example.org\r\nbob@example.org");
    EXPECT_EQ(wintest::ControlText(Form(), IDC_SETUP_REQUIRED), L"ann@example.org;cy@example.org;");
    {
        BoxAnswer answer(L"Invite List", IDCANCEL, [](HWND box) { SetDlgItemTextW(box, IDC_ADDRESS_EDIT, L"x"); });
        wintest::Click(Form(), IDC_SETUP_OPTIONAL_LIST);
    }
    EXPECT_EQ(wintest::ControlText(Form(), IDC_SETUP_OPTIONAL), L"");
}

} // namespace
