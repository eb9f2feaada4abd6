// The saved meetings beside the setup window under Wine against the local
// appliance: the list and its placement, viewing, loading, editing, saving
// (with the name clash) and deleting (with the refusals).
#include "appliance/cgi/MeetingSchedule.h"
#include "appliance/ui/MeetingSetup_win.h"
#include "core/app/tests/SetupWindowFixture_win.h"

#include <commctrl.h>

namespace {

using namespace setuptest;

class SavedMeetings : public ApplianceWindowTest {
protected:
    std::string Suite() const override { return "SavedMeetings"; }
    // alice's two saved meetings (the first with "#" and ";" as the appliance
    // keeps them, escaped) and one of bob's.
    std::string ScenarioExtra() const override
    {
        return R"(, "saved_meetings": [
            {"rowid": 1, "owner": "alice", "fields": {"meetingname": "Team##1#59x", "meetingcode": "c1",
             "meetingstart": "2031/05/01 09:30", "meetingend": "2031/05/01 10:30",
             "meetingdescription": "Plan", "requrieemails": "ann@example.org#59bob@example.org",
             "custmsg": "Hi", "stamp": "2030/01/02 03:04"}},
            {"rowid": 2, "owner": "alice", "fields": {"meetingname": "Broken", "meetingcode": "c2",
             "meetingstart": "2031/5/1", "meetingend": "31/05/01 10:30", "stamp": "2030/01/02 03:05"}},
            {"rowid": 3, "owner": "bob", "fields": {"meetingname": "Bobs", "stamp": "x"}}])";
    }
    void SetUp() override
    {
        ApplianceWindowTest::SetUp();
        ASSERT_TRUE(Program().CreateMeetingSetup(false));
        setup = Program().MeetingSetup();
        form = setup->Form();
        list = setup->SavedList();
        wintest::Pump();
    }
    HWND ListView() const { return GetDlgItem(list, IDC_SAVED_LIST); }
    int Rows() const { return static_cast<int>(SendMessageW(ListView(), LVM_GETITEMCOUNT, 0, 0)); }
    std::wstring Cell(int row, int column) const
    {
        wchar_t text[256] = {};
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = 256;
        SendMessageW(ListView(), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
        return text;
    }
    // A click on a row as the list view reports it.
    void ClickRow(int row)
    {
        LVITEMW state{};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = row >= 0 ? LVIS_SELECTED | LVIS_FOCUSED : 0;
        SendMessageW(ListView(), LVM_SETITEMSTATE, static_cast<WPARAM>(row >= 0 ? row : -1),
                     reinterpret_cast<LPARAM>(&state));
        NMITEMACTIVATE click{};
        click.hdr.hwndFrom = ListView();
        click.hdr.idFrom = IDC_SAVED_LIST;
        click.hdr.code = NM_CLICK;
        click.iItem = row;
        SendMessageW(list, WM_NOTIFY, IDC_SAVED_LIST, reinterpret_cast<LPARAM>(&click));
    }
    std::wstring Field(int id) const { return wintest::ControlText(form, id); }

    CMeetingSetup* setup = nullptr;
    HWND form = nullptr;
    HWND list = nullptr;
};

TEST_F(SavedMeetings, ViewShowsTheListBesideTheFrameAndTimerRefreshes)
{
    SetWindowPos(setup->Window(), nullptr, 10, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    wintest::Click(form, IDC_SETUP_VIEW);
    ASSERT_TRUE(IsWindowVisible(list));
    const RECT frame = Rect(setup->Window()), beside = Rect(list);
    EXPECT_EQ(beside.left, frame.right + CMeetingSetup::kSavedListGap);
    EXPECT_EQ(beside.top, frame.top);
    // Only alice's meetings, unescaped, with creator and stamp.
    ASSERT_EQ(Rows(), 2);
    EXPECT_EQ(Cell(0, 0), L"Team#1;x");
    EXPECT_EQ(Cell(0, 1), L"alice");
    EXPECT_EQ(Cell(0, 2), L"2030/01/02 03:04");
    for (int id : {IDOK, IDC_SAVED_DELETE, IDC_SAVED_EDIT})
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(list, id)));
    Shot(list, L"saved_list");

    // The timer reloads what the appliance holds now.
    Control(L"POST", "/__control/scenario", Scenario());
    SendMessageW(list, WM_TIMER, CMeetingSetup::kSavedListTimer, 0);
    EXPECT_EQ(Rows(), 0);
    wintest::Click(list, IDCANCEL);
    EXPECT_FALSE(IsWindowVisible(list));

    // A frame at the desktop's right edge puts the list to its left.
    RECT desk{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &desk, 0);
    const int width = frame.right - frame.left;
    SetWindowPos(setup->Window(), nullptr, desk.right - width - 5, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    wintest::Click(form, IDC_SETUP_VIEW);
    EXPECT_EQ(Rect(list).right, desk.right - width - 5 - CMeetingSetup::kSavedListGap);
}

TEST_F(SavedMeetings, ViewLoadEditSaveAndDelete)
{
    wintest::Click(form, IDC_SETUP_VIEW);
    ClickRow(0);
    // Viewed read-only.
    EXPECT_EQ(Field(IDC_SETUP_NAME), L"Team#1;x");
    EXPECT_EQ(Field(IDC_SETUP_CODE), L"c1");
    EXPECT_EQ(Field(IDC_SETUP_START_TIME), L"09:30");
    EXPECT_EQ(Field(IDC_SETUP_END_TIME), L"10:30");
    EXPECT_EQ(Field(IDC_SETUP_REQUIRED), L"ann@example.org;bob@example.org");
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(form, IDC_SETUP_NAME)));
    EXPECT_EQ(setup->LoadedRowId(), 1);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(list, IDC_SAVED_EDIT)));
    Shot(setup->Window(), L"viewing");

    // Edit, then Save updates that record.
    wintest::Click(list, IDC_SAVED_EDIT);
    EXPECT_TRUE(setup->Editing());
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(form, IDC_SETUP_NAME)));
    wintest::SetControlText(form, IDC_SETUP_DESCRIPTION, L"Plan; v2");
    wintest::Click(form, IDC_SETUP_SAVE);
    EXPECT_EQ(setup->StatusText(), L"Meeting,[Team#1;x],is saved.");
    const std::string requests = Requests();
    EXPECT_NE(requests.find("savemode=2&rowid=1&meetingname=Team%23%231%2359x"), std::string::npos);
    EXPECT_NE(State().find("\"meetingdescription\": \"Plan#59 v2\""), std::string::npos);
    EXPECT_EQ(setup->LoadedRowId(), -1);  // the form is cleared after a loaded meeting's save

    // Load makes it the template of a new meeting and hides the list.
    ClickRow(0);
    wintest::Click(list, IDOK);
    EXPECT_FALSE(IsWindowVisible(list));
    EXPECT_EQ(setup->LoadedRowId(), -1);
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(form, IDC_SETUP_NAME)));
    EXPECT_EQ(Field(IDC_SETUP_NAME), L"Team#1;x");

    // Delete: the appliance's refusals, then the delete itself; the list reloads.
    wintest::Click(form, IDC_SETUP_VIEW);
    struct Case {
        const char* body;
        const wchar_t* status;
    } refusals[] = {{"{error: cannot delete other ones saves}\\r\\n", L"Cannot delete other users' saved meeting."},
                    {"{error: cannot find the meeting info}\\r\\n", L"Cannot find the saved meeting [Team#1;x]."}};
    for (const Case& c : refusals) {
        ASSERT_EQ(Control(L"POST", "/__control/faults",
                          std::string(R"({"match": "submitter=deletemeetinginfo", "count": 1, "skip_handler": true, "body": ")") +
                              c.body + "\"}")
                      .status,
                  200u);
        ClickRow(0);
        wintest::Click(list, IDC_SAVED_DELETE);
        EXPECT_EQ(setup->StatusText(), c.status);
        EXPECT_EQ(Rows(), 2);
    }
    ClickRow(0);
    wintest::Click(list, IDC_SAVED_DELETE);
    EXPECT_EQ(setup->StatusText(), L"Meeting,[Team#1;x],is deleted.");
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(Cell(0, 0), L"Broken");
    EXPECT_EQ(Field(IDC_SETUP_NAME), L"");
}

TEST_F(SavedMeetings, UnreadableSavedTimesLeaveTheFormTimes)
{
    wintest::Click(form, IDC_SETUP_VIEW);
    const std::wstring start = Field(IDC_SETUP_START_TIME), end = Field(IDC_SETUP_END_TIME);
    ClickRow(1);
    EXPECT_EQ(Field(IDC_SETUP_NAME), L"Broken");
    EXPECT_EQ(Field(IDC_SETUP_START_TIME), start);
    EXPECT_EQ(Field(IDC_SETUP_END_TIME), end);
}

TEST_F(SavedMeetings, SaveClashAnsweredNoTakesTheSuggestedName)
{
    wintest::SetControlText(form, IDC_SETUP_NAME, L"Team#1;x");
    wintest::SetControlText(form, IDC_SETUP_CODE, L"9");
    std::wstring question;
    {
        BoxAnswer answer(L"Meeting Setup Info", IDNO, [&](HWND box) {
            wchar_t text[512] = {};
            GetDlgItemTextW(box, 0xFFFF, text, 512);
            question = text;
        });
        wintest::Click(form, IDC_SETUP_SAVE);
        EXPECT_TRUE(answer.Answered());
    }
    EXPECT_NE(question.find(L"[Team#1;x(1)]"), std::wstring::npos) << std::string(question.begin(), question.end());
    EXPECT_EQ(setup->StatusText(), L"Meeting,[Team#1;x(1)],is saved.");
    EXPECT_NE(State().find("\"meetingname\": \"Team##1#59x(1)\""), std::string::npos);
    // Yes replaces the record of that name.
    {
        BoxAnswer answer(L"Meeting Setup Info", IDYES);
        wintest::Click(form, IDC_SETUP_SAVE);
        EXPECT_TRUE(answer.Answered());
    }
    EXPECT_NE(Requests().find("savemode=1&"), std::string::npos);
    // A suggested name of any length is cut before it goes into the question;
    // Cancel saves nothing.
    ASSERT_EQ(Control(L"POST", "/__control/faults",
                      R"({"match": "submitter=savemeetinginfo", "count": 1, "skip_handler": true,
                          "body": "{error: same meeting name )" + std::string(400, 'N') + R"(}\r\n"})")
                  .status,
              200u);
    question.clear();
    {
        BoxAnswer answer(L"Meeting Setup Info", IDCANCEL, [&](HWND box) {
            wchar_t text[1024] = {};
            GetDlgItemTextW(box, 0xFFFF, text, 1024);
            question = text;
        });
        wintest::Click(form, IDC_SETUP_SAVE);
        EXPECT_TRUE(answer.Answered());
    }
    EXPECT_NE(question.find(L"[" + std::wstring(128, L'N') + L"]"), std::wstring::npos);
    EXPECT_EQ(question.find(std::wstring(129, L'N')), std::wstring::npos);
    // An empty name is refused before any request.
    wintest::SetControlText(form, IDC_SETUP_NAME, L"  ");
    const int saves = CountBodies("submitter=savemeetinginfo");
    {
        BoxAnswer answer(L"Meeting Setup", IDOK);
        wintest::Click(form, IDC_SETUP_SAVE);
        EXPECT_TRUE(answer.Answered());
    }
    EXPECT_EQ(CountBodies("submitter=savemeetinginfo"), saves);
}

TEST_F(SavedMeetings, ExpiredSessionFromTheListLogsOut)
{
    Control(L"POST", "/__control/expire", R"({"session": "sessA"})");
    BoxAnswer answer(L"Warning", IDOK);
    wintest::Click(form, IDC_SETUP_VIEW);
    EXPECT_TRUE(answer.Answered());
    EXPECT_TRUE(WaitPosted(PLM_LOGOUT));
    EXPECT_FALSE(IsWindowVisible(list));
}

} // namespace
