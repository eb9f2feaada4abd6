// The real active-meetings window, its details, the tray's meeting details,
// the password-expiry prompt and the password-change dialog under Wine
// against the local appliance: the test logs in through the login window,
// hands the login's message to the dispatcher as the main loop would, and
// drives the windows through their controls and messages, steering the
// appliance between steps through its control interface.
#include "appliance/ui/ActiveMeetings_win.h"
#include "appliance/ui/MeetingListResources.h"
#include "appliance/ui/PasswordChange_win.h"
#include "core/app/tests/SteeredLoginFixture_win.h"

#include <commctrl.h>

#include <atomic>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

using logintest::ApplianceControl;
using logintest::CountRequests;
using logintest::Env;
using logintest::Wide;

namespace {

constexpr wchar_t kDialogClass[] = L"#32770";

std::string Narrow(const std::wstring& w)
{
    return std::string(w.begin(), w.end());
}

// A visible message box or dialog of this process with that caption; null when none.
HWND FindBox(const wchar_t* caption)
{
    return wintest::FindTopLevel(kDialogClass, caption);
}

std::wstring BoxText(HWND box)
{
    wchar_t text[512] = L"";
    GetDlgItemTextW(box, 0xFFFF, text, 512);
    return text;
}

// Answers message boxes that show on the thread under test (their modal
// loop holds it), from a thread of its own: each box with the caption is
// read, photographed once and told the answer.
class BoxAnswerer {
public:
    BoxAnswerer(const wchar_t* caption, int answer, std::wstring shot = L"")
        : m_caption(caption), m_answer(answer), m_shot(std::move(shot)), m_thread([this] { Run(); })
    {
    }
    ~BoxAnswerer()
    {
        m_stop = true;
        m_thread.join();
    }
    std::vector<std::wstring> Texts()
    {
        std::lock_guard<std::mutex> g(m_lock);
        return m_texts;
    }

private:
    void Run()
    {
        HWND last = nullptr;
        while (!m_stop) {
            HWND box = FindBox(m_caption.c_str());
            if (box && box != last) {
                Sleep(200);  // painted
                {
                    std::lock_guard<std::mutex> g(m_lock);
                    m_texts.push_back(BoxText(box));
                }
                if (!m_shot.empty())
                    wintest::SaveScreenshot(box, L"MeetingList", m_shot);
                PostMessageW(box, WM_COMMAND, m_answer, 0);
                last = box;
            }
            Sleep(50);
        }
    }

    std::wstring m_caption;
    int m_answer;
    std::wstring m_shot;
    std::atomic<bool> m_stop{false};
    std::mutex m_lock;
    std::vector<std::wstring> m_texts;
    std::thread m_thread;
};

const char kMeetings[] = R"({"meetings": [
    {"id": "100001", "title": "Weekly sync", "owner": "alice", "password": "code1", "state": "started",
     "start_in": -600, "end_in": 3000, "description": "Status of the week", "sharing_state": 2},
    {"id": "100002", "title": "Sync", "owner": "bob", "password": "s1", "state": "started", "start_in": -60},
    {"id": "100003", "title": "Sync", "owner": "alice", "password": "s2", "state": "started", "start_in": -60},
    {"id": "100004", "title": "Caf\u00e9 \u65e5\u672c", "owner": "bob", "password": "c4", "state": "ready",
     "start_in": -60},
    {"id": "100005", "title": "Later", "owner": "bob", "password": "later", "state": "waiting",
     "start_in": 7200, "open_before_minutes": 15},
    {"id": "100006", "title": "Full", "owner": "bob", "password": "full", "state": "started",
     "max_attendees": 1, "participants": [{"session": "someone", "name": "someone"}]},
    {"id": "100007", "title": "Invited only", "owner": "bob", "password": "inv", "state": "started",
     "invite_only": true}
]})";

class MeetingListTest : public logintest::SteeredLoginTest {
protected:
    MeetingListTest() : SteeredLoginTest("corvisk_meeting_list", kMeetings) {}

    ProgramAppliance& App() { return static_cast<ProgramAppliance&>(manager->Appliance()); }

    // Logs in through the login window and lets the dispatcher open the list.
    void OpenList(const wchar_t* user = L"alice", const wchar_t* password = L"secret")
    {
        HostToCredentials();
        Credentials(user, password);
        ASSERT_TRUE(WaitPosted(PLM_SHOW_ACTIVE_MEETINGS)) << Narrow(Status());
        manager->OnThreadMessage(PLM_SHOW_ACTIVE_MEETINGS, PostedParam(PLM_SHOW_ACTIVE_MEETINGS), 0);
        posted.clear();
        list = App().MeetingList();
        ASSERT_NE(list, nullptr);
        wintest::Pump();
    }
    // The list frame's status line (the login window is gone by then).
    std::wstring ListStatus() const { return list->StatusText(); }
    int ListStatusKind() const { return list->StatusKind(); }
    HWND ListDialog() const { return list->ListDialog(); }
    HWND View() const { return GetDlgItem(ListDialog(), IDC_MEETING_LIST); }
    std::wstring Cell(int row, int column) const
    {
        wchar_t text[256] = L"";
        ListView_GetItemText(View(), row, column, text, 256);
        return text;
    }
    int RowOf(const std::string& id) const
    {
        const std::vector<std::string> ids = list->RowIds();
        for (size_t i = 0; i < ids.size(); ++i)
            if (ids[i] == id)
                return static_cast<int>(i);
        return -1;
    }
    void Select(int row)
    {
        ListView_SetItemState(View(), row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_SetSelectionMark(View(), row);
        wintest::Pump();
    }
    void Notify(UINT code)
    {
        NMITEMACTIVATE n{};
        n.hdr.hwndFrom = View();
        n.hdr.idFrom = IDC_MEETING_LIST;
        n.hdr.code = code;
        n.iItem = ListView_GetSelectionMark(View());
        SendMessageW(ListDialog(), WM_NOTIFY, IDC_MEETING_LIST, reinterpret_cast<LPARAM>(&n));
        wintest::Pump();
    }
    void Tick()
    {
        SendMessageW(ListDialog(), WM_TIMER, IDT_MEETING_REFRESH, 0);
        wintest::Pump();
    }
    void Command(HWND dialog, int id)
    {
        SendMessageW(dialog, WM_COMMAND, id, 0);
        wintest::Pump();
    }
    // The code dialog for the meeting of that id, through Join.
    void CodeDialogFor(const std::string& id)
    {
        if (list->CodeDialog())
            wintest::Click(list->CodeDialog(), IDCANCEL);
        ASSERT_NE(ListDialog(), nullptr);
        const int row = RowOf(id);
        ASSERT_GE(row, 0) << id;
        Select(row);
        wintest::Click(ListDialog(), IDOK);
        ASSERT_NE(list->CodeDialog(), nullptr);
    }
    void FrameShot(const wchar_t* state)
    {
        EXPECT_FALSE(wintest::SaveScreenshot(list->Window(), L"MeetingList", state).empty());
    }
    std::wstring Text(UINT id) const
    {
        wchar_t text[512] = L"";
        LoadStringW(GetModuleHandleW(nullptr), id, text, 512);
        return text;
    }

    CActiveMeetings* list = nullptr;
};

TEST_F(MeetingListTest, TheLoginOpensTheListOfTheAppliancesMeetings)
{
    OpenList();
    EXPECT_TRUE(IsWindowVisible(list->Window()));
    EXPECT_EQ(ListStatus(), L"Please select the meeting you want to join.\n") << "status 4089 after the first refresh";
    // Columns "Name", "Owner", "Time", a third of the list each.
    // A third of the client width the list had when it was made (before a
    // scroll bar took its share).
    RECT client;
    GetClientRect(View(), &client);
    const int third = ListView_GetColumnWidth(View(), 0);
    EXPECT_GE(third, client.right / 3);
    EXPECT_LE(third, (client.right + GetSystemMetrics(SM_CXVSCROLL)) / 3);
    const wchar_t* names[] = {L"Name", L"Owner", L"Time"};
    for (int i = 0; i < 3; ++i) {
        wchar_t text[64] = L"";
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = text;
        column.cchTextMax = 64;
        ASSERT_TRUE(ListView_GetColumn(View(), i, &column));
        EXPECT_STREQ(text, names[i]);
        EXPECT_EQ(column.cx, third);
    }
    const std::vector<std::string> ids = {"100001", "100002", "100003", "100004", "100005", "100006", "100007"};
    EXPECT_EQ(list->RowIds(), ids);
    EXPECT_EQ(Cell(0, 0), L"Weekly sync");
    EXPECT_EQ(Cell(0, 1), L"alice");
    EXPECT_EQ(Cell(3, 0), L"Caf\u00e9 \u65e5\u672c") << "UTF-8 names shown as typed";
    EXPECT_EQ(Cell(3, 1), L"bob");
    EXPECT_EQ(Cell(0, 2).size(), 5u) << "the start time as the appliance writes it";
    HWND create = GetDlgItem(ListDialog(), IDC_MEETING_CREATE);
    EXPECT_TRUE(IsWindowVisible(create)) << "permission 1 shows Create";
    EXPECT_EQ(LVS_EX_FULLROWSELECT, ListView_GetExtendedListViewStyle(View()) & LVS_EX_FULLROWSELECT);
    FrameShot(L"list");

    wintest::Click(ListDialog(), IDC_MEETING_CREATE);
    EXPECT_TRUE(WaitPosted(PLM_SHOW_MEETING_SETUP));

    // Opened again with permission 0 (after a link's session test): no Create.
    manager->OnThreadMessage(PLM_SHOW_ACTIVE_MEETINGS, 0, 0);
    list = App().MeetingList();
    ASSERT_NE(list, nullptr);
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(ListDialog(), IDC_MEETING_CREATE)));
    EXPECT_EQ(list->RowIds().size(), 7u);
}

TEST_F(MeetingListTest, RefreshKeepsRowsOnFailureAndEndsOnAnExpiredSession)
{
    OpenList();
    Control("/__control/meeting", R"({"id": "100002", "delete": true})");
    Tick();
    EXPECT_EQ(RowOf("100002"), -1);
    EXPECT_EQ(list->RowIds().size(), 6u);
    EXPECT_EQ(ListStatus(), L"Meeting list updated.");
    EXPECT_TRUE(Logged("alice\tMeeting list updated.")) << LogText();

    // Failures of every kind keep the rows and raise nothing.
    const char* faults[] = {
        R"({"path": "/cgi-bin/meetingactive", "match": "getmeetinglist", "drop": "close", "count": 1})",
        R"({"path": "/cgi-bin/meetingactive", "match": "getmeetinglist", "status": 500, "body": "", "count": 1})",
        R"({"path": "/cgi-bin/meetingactive", "match": "getmeetinglist", "truncate": 10, "count": 1})",
    };
    for (const char* fault : faults) {
        Fault(fault);
        Tick();
        EXPECT_EQ(list->RowIds().size(), 6u) << fault;
    }
    // Malformed records: the window shows what parses and never crashes.
    const char* bodies[] = {
        R"({"path": "/cgi-bin/meetingactive", "match": "getmeetinglist", "count": 1,
            "body": "meetingID=9;meetingName=;ownerName=\u00ff\u00fe;meetingTime=;meetingState=x;\r\n;;;==\r\nmeetingID"})",
        R"({"path": "/cgi-bin/meetingactive", "match": "getmeetinglist", "count": 1, "oversize": 200000})",
    };
    for (const char* fault : bodies) {
        Fault(fault);
        Tick();
        EXPECT_NE(list->Window(), nullptr);
    }
    // An empty list still says it was updated.
    for (const std::string& id : list->RowIds())
        Control("/__control/meeting", R"({"id": ")" + id + R"(", "delete": true})");
    Tick();
    EXPECT_TRUE(list->RowIds().empty());
    EXPECT_EQ(ListStatus(), L"Meeting list updated.");

    Control("/__control/expire", R"({"user": "alice"})");
    BoxAnswerer boxes(L"Warning", IDOK, L"session_expired_box");
    Tick();
    ASSERT_TRUE(WaitPosted(PLM_LOGOUT));
    ASSERT_EQ(boxes.Texts().size(), 1u);
    EXPECT_EQ(boxes.Texts()[0], L"Session is expired, you need login again.");
    EXPECT_TRUE(Logged("alice\tSession is expired, you need login again.")) << LogText();
}

TEST_F(MeetingListTest, JoinWithACodeAndEveryAnswerOfTheAppliance)
{
    OpenList();
    wintest::Click(ListDialog(), IDOK);
    EXPECT_EQ(ListStatus(), L"No meeting selected.\n");
    EXPECT_EQ(ListStatusKind(), STATUS_ERROR);
    EXPECT_EQ(list->CodeDialog(), nullptr);

    CodeDialogFor("100001");
    EXPECT_EQ(ListStatus(), L"Please input the meeting code.\n");
    EXPECT_EQ(ListDialog(), nullptr) << "the list went with its timer";
    HWND code = list->CodeDialog();
    HWND field = GetDlgItem(code, IDC_MEETING_CODE);
    for (wchar_t c : std::wstring(L"123456789"))
        SendMessageW(field, WM_CHAR, c, 0);
    EXPECT_EQ(wintest::ControlText(code, IDC_MEETING_CODE), L"12345678") << "a ninth character is refused";
    FrameShot(L"code_dialog");

    Control("/__control/requests/clear", "{}");
    wintest::SetControlText(code, IDC_MEETING_CODE, L"");
    wintest::Click(code, IDOK);
    EXPECT_EQ(ListStatus(), L"Meeting code must be provided.\n");
    EXPECT_EQ(CountRequests(Recorded(), "/cgi-bin/meetingstart"), 0) << "an empty code never leaves";

    struct Case {
        const char* meeting;
        const wchar_t* code;
        const char* fault;  // a reply the appliance would not give here by itself
        const wchar_t* status;
        const char* log;
    } cases[] = {
        {"100001", L"code1", R"({"path": "/cgi-bin/meetingstart", "match": "joinmeeting", "body": "{error: NeedPwd}\r\n", "count": 1})",
         L"Need the password!\n", "Join the meeting failed, need the password."},
        {"100001", L"wrong", nullptr, L"A correct meeting code must be provided!\n",
         "Join the meeting failed, the meeting code is wrong."},
        {"100006", L"full", nullptr, L"The meeting room is full.\n", "Join the meeting failed, the meeting room is full."},
        {"100007", L"inv", nullptr, L"Cannot join the meeting without invitation.\n",
         "Join the meeting failed, cannot join the meeting without invitation."},
        {"100005", L"later", nullptr,
         L"The meeting is not open for joining, and will be open in 15 minute(s) before start time.\n",
         "The meeting is not open for joining, and will be open in 15 minute(s) before start time."},
    };
    for (const Case& c : cases) {
        CodeDialogFor(c.meeting);
        if (c.fault)
            Fault(c.fault);
        wintest::SetControlText(list->CodeDialog(), IDC_MEETING_CODE, c.code);
        wintest::Click(list->CodeDialog(), IDOK);
        EXPECT_EQ(ListStatus(), c.status) << c.meeting;
        EXPECT_EQ(ListStatusKind(), STATUS_ERROR);
        EXPECT_TRUE(Logged(std::string("alice\t") + c.log)) << c.log;
        EXPECT_NE(list->CodeDialog(), nullptr) << "the dialog stays for another try";
        EXPECT_EQ(PostedParam(PLM_JOIN_MEETING), static_cast<WPARAM>(-1));
    }
    FrameShot(L"code_refused");

    // Cancel returns to the list, whose refresh runs again.
    wintest::Click(list->CodeDialog(), IDCANCEL);
    ASSERT_NE(ListDialog(), nullptr);
    EXPECT_EQ(ListStatus(), L"Please select the meeting you want to join.\n");
    Tick();
    EXPECT_EQ(ListStatus(), L"Meeting list updated.");

    // The second of two meetings of one name: its own id goes out.
    CodeDialogFor("100003");
    Control("/__control/requests/clear", "{}");
    wintest::SetControlText(list->CodeDialog(), IDC_MEETING_CODE, L"s2");
    wintest::Click(list->CodeDialog(), IDOK);
    ASSERT_TRUE(WaitPosted(PLM_JOIN_MEETING));
    EXPECT_TRUE(Logged("alice\tJoin the meeting OK."));
    EXPECT_EQ(manager->meetingId, "100003");
    EXPECT_EQ(manager->meetingName, "Sync");
    const std::string recorded = Recorded();
    EXPECT_NE(recorded.find("meetingid=100003&meetingpass=s2"), std::string::npos) << recorded;
}

TEST_F(MeetingListTest, RowsOfOneNameAndNonAsciiNamesSelectTheirOwnMeeting)
{
    OpenList();
    Select(RowOf("100002"));
    EXPECT_EQ(list->Selected().meetingID, "100002") << "not the later meeting of the same name";
    Select(RowOf("100003"));
    EXPECT_EQ(list->Selected().meetingID, "100003");

    // A refresh clears the highlight; Join still joins the last selection.
    Tick();
    EXPECT_EQ(ListView_GetNextItem(View(), -1, LVNI_SELECTED), -1);
    wintest::Click(ListDialog(), IDOK);
    ASSERT_NE(list->CodeDialog(), nullptr);
    EXPECT_EQ(list->Selected().meetingID, "100003");
    wintest::Click(list->CodeDialog(), IDCANCEL);

    // Double click on a non-ASCII name: that meeting, with status 4225.
    ListView_SetSelectionMark(View(), RowOf("100004"));
    Notify(NM_DBLCLK);
    ASSERT_NE(list->CodeDialog(), nullptr);
    EXPECT_EQ(list->Selected().meetingID, "100004");
    EXPECT_EQ(ListStatus(), L"Please enter the meeting code.\n");
    wintest::Click(list->CodeDialog(), IDCANCEL);

    // Double click without a selection mark.
    ListView_SetSelectionMark(View(), -1);
    Notify(NM_DBLCLK);
    EXPECT_EQ(list->CodeDialog(), nullptr);
    EXPECT_EQ(ListStatus(), L"No meeting selected.\n");
    EXPECT_EQ(ListStatusKind(), STATUS_NORMAL);
}

TEST_F(MeetingListTest, ContextMenuDetailsAndCancellingAnOwnMeeting)
{
    OpenList();
    auto menuItems = [&] {
        std::vector<UINT> ids;
        HMENU menu = list->ContextMenu();
        for (int i = 0; i < GetMenuItemCount(menu); ++i)
            ids.push_back(GetMenuItemID(menu, i));
        return ids;
    };
    auto openMenu = [&](const std::function<void()>& whileOpen, const wchar_t* shot) {
        std::atomic<bool> done{false};
        HWND owner = ListDialog();
        std::thread closer([&] {
            HWND menu = nullptr;
            for (int i = 0; i < 200 && !menu; ++i, Sleep(25))
                menu = wintest::FindTopLevel(L"#32768", nullptr);
            if (menu && shot) {
                Sleep(200);
                wintest::SaveScreenshot(menu, L"MeetingList", shot);
            }
            if (whileOpen)
                whileOpen();
            while (!done) {
                PostMessageW(owner, WM_CANCELMODE, 0, 0);
                if (HWND m = wintest::FindTopLevel(L"#32768", nullptr))
                    PostMessageW(m, WM_KEYDOWN, VK_ESCAPE, 0);
                Sleep(100);
            }
        });
        Notify(NM_RCLICK);
        done = true;
        closer.join();
        wintest::Pump();
    };

    // Another owner's meeting: Property only.
    Select(RowOf("100002"));
    openMenu(nullptr, L"context_menu_other");
    EXPECT_EQ(menuItems(), (std::vector<UINT>{IDM_MEETING_PROPERTY}));
    // An own meeting: Property and Cancel.
    Select(RowOf("100001"));
    openMenu(nullptr, L"context_menu_own");
    EXPECT_EQ(menuItems(), (std::vector<UINT>{IDM_MEETING_PROPERTY, IDM_MEETING_CANCEL}));

    Command(ListDialog(), IDM_MEETING_PROPERTY);
    HWND details = list->Details().Window();
    ASSERT_TRUE(IsWindowVisible(details));
    EXPECT_EQ(wintest::ControlText(details, IDC_DETAILS_NAME), L"Weekly sync");
    EXPECT_EQ(wintest::ControlText(details, IDC_DETAILS_OWNER), L"alice");
    EXPECT_EQ(wintest::ControlText(details, IDC_DETAILS_STATE), L"Started");
    EXPECT_EQ(wintest::ControlText(details, IDC_DETAILS_SHARING), L"Sharing now");
    EXPECT_EQ(wintest::ControlText(details, IDC_DETAILS_MEMBERS), L"0");
    EXPECT_EQ(wintest::ControlText(details, IDC_DETAILS_DESCRIPTION), L"Status of the week");
    const std::wstring start = wintest::ControlText(details, IDC_DETAILS_START);
    EXPECT_EQ(start.size(), 16u) << Narrow(start) << ": date and time joined by a blank";
    EXPECT_EQ(start[10], L' ');
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(details, IDC_DETAILS_TITLE))) << "no meeting: the label shows";
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(details, IDC_DETAILS_INVITE))) << "Property never shows the link";
    EXPECT_EQ(GetWindowLongPtrW(details, GWL_STYLE) & WS_CAPTION, 0);
    ASSERT_NE(list->Details().ToolTip(), nullptr);
    wchar_t tip[256] = L"";
    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = details;
    tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(details, IDC_DETAILS_NAME));
    tool.lpszText = tip;
    SendMessageW(list->Details().ToolTip(), TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&tool));
    EXPECT_STREQ(tip, L"Weekly sync") << "the full name over the name field";
    EXPECT_FALSE(wintest::SaveScreenshot(details, L"MeetingList", L"details").empty());
    wintest::Click(details, IDOK);
    EXPECT_FALSE(IsWindowVisible(details));

    // A refresh while the menu is open moves the rows: the cancel still takes
    // the meeting the menu was opened for, and that meeting's row.
    Select(RowOf("100003"));
    const uint16_t port = Port();
    HWND owner = ListDialog();
    openMenu([port, owner] {
        ApplianceControl(port, L"POST", "/__control/meeting", R"({"id": "100002", "delete": true})");
        PostMessageW(owner, WM_TIMER, IDT_MEETING_REFRESH, 0);
        Sleep(1500);
    }, nullptr);
    Tick();
    ASSERT_EQ(RowOf("100003"), 1) << "the refresh moved the own meeting up";
    Command(ListDialog(), IDM_MEETING_CANCEL);
    EXPECT_EQ(ListStatus(), L"Cancel Meeting OK.");
    EXPECT_EQ(RowOf("100003"), -1);
    EXPECT_EQ(RowOf("100004"), 1) << "the meeting now at the menu's old row stays";
    const std::string state = State();
    EXPECT_EQ(state.find("\"id\": \"100003\""), std::string::npos) << "cancelled on the appliance";
    EXPECT_NE(state.find("\"id\": \"100004\""), std::string::npos);

    // A refused cancel keeps the row.
    Select(RowOf("100001"));
    openMenu(nullptr, nullptr);
    Fault(R"({"path": "/cgi-bin/meetingactive", "match": "cancelmeeting", "body": "Cancel Meeting Failed\r\n",
              "skip_handler": true, "count": 1})");
    Command(ListDialog(), IDM_MEETING_CANCEL);
    EXPECT_EQ(ListStatus(), L"Cancel Meeting Failed.");
    EXPECT_EQ(ListStatusKind(), STATUS_ERROR);
    EXPECT_EQ(RowOf("100001"), 0);
    FrameShot(L"cancel_failed");
}

TEST_F(MeetingListTest, CancelAndClosingTheFrameLogOut)
{
    OpenList();
    wintest::Click(ListDialog(), IDCANCEL);
    EXPECT_TRUE(WaitPosted(PLM_LOGOUT));
    EXPECT_EQ(CountRequests(Recorded(), "/cgi-bin/userLogout"), 1) << Recorded();
    manager->OnThreadMessage(PLM_LOGOUT, 0, 0);
    EXPECT_EQ(App().MeetingList(), nullptr);
    ASSERT_NE(App().Login(), nullptr) << "the login window returns";
    login = App().Login();

    OpenList();
    posted.clear();
    Control("/__control/requests/clear", "{}");
    SendMessageW(list->Window(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitPosted(PLM_LOGOUT));
    EXPECT_EQ(CountRequests(Recorded(), "/cgi-bin/userLogout"), 1);
}

TEST_F(MeetingListTest, TrayDetailsOfTheMeetingInProgress)
{
    OpenList();
    manager->meetingId = "100001";
    manager->title = 1;
    App().ToggleMeetingDetails();
    MeetingDetails* details = App().TrayDetails();
    ASSERT_NE(details, nullptr);
    ASSERT_TRUE(App().IsMeetingDetailsVisible());
    HWND d = details->Window();
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(d, IDC_DETAILS_INVITE))) << "a coordinator sees the link";
    EXPECT_NE(wintest::ControlText(d, IDC_DETAILS_INVITE).find(L"meetingid=100001"), std::wstring::npos);
    RECT withLink;
    GetWindowRect(d, &withLink);
    const int cx = (withLink.left + withLink.right) / 2, cy = (withLink.top + withLink.bottom) / 2;
    EXPECT_NEAR(cx, GetSystemMetrics(SM_CXSCREEN) / 2, 2) << "centred";
    EXPECT_NEAR(cy, GetSystemMetrics(SM_CYSCREEN) / 2, 2);
    EXPECT_FALSE(wintest::SaveScreenshot(d, L"MeetingList", L"tray_details_coordinator").empty());
    App().ToggleMeetingDetails();
    EXPECT_FALSE(App().IsMeetingDetailsVisible()) << "a second command hides it";

    manager->title = 0;
    App().ToggleMeetingDetails();
    RECT without;
    GetWindowRect(d, &without);
    EXPECT_EQ(without.bottom - without.top, withLink.bottom - withLink.top - MeetingDetails::kInviteRowHeight);
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(d, IDC_DETAILS_INVITE)));
    App().ToggleMeetingDetails();
    App().ToggleMeetingDetails();
    RECT again;
    GetWindowRect(d, &again);
    EXPECT_EQ(again.bottom - again.top, without.bottom - without.top) << "shown twice alike: same size";
    manager->title = 2;
    App().ToggleMeetingDetails();
    App().ToggleMeetingDetails();
    GetWindowRect(d, &again);
    EXPECT_EQ(again.bottom - again.top, withLink.bottom - withLink.top);
}

// --- password expiry and change ---------------------------------------------

class PasswordChangeTest : public MeetingListTest {
protected:
    PasswordChange* Changer() { return App().PasswordChanger(); }
    // The prompt for this state from the meeting list's hand-over.
    void Prompt(int32_t days, int mayChange)
    {
        CgiSession& s = App().PreparedSession();
        s.passwordExpiry = 1;
        s.passwordExpiryDays = days;
        s.mayChangePassword = mayChange;
        manager->passwordExpired = 1;
        App().StartPasswordExpiryPrompt(0);
    }
    HWND WaitBox(const wchar_t* caption)
    {
        HWND box = nullptr;
        wintest::WaitFor([&] { return (box = FindBox(caption)) != nullptr; }, 10000);
        if (box)
            wintest::PumpFor(200);
        return box;
    }
    HWND WaitDialog()
    {
        HWND dialog = nullptr;
        wintest::WaitFor([&] { return (dialog = Changer() ? Changer()->Dialog() : nullptr) && IsWindowVisible(dialog); },
                         10000);
        return dialog;
    }
    void Answer(HWND box, int id)
    {
        PostMessageW(box, WM_COMMAND, id, 0);
        wintest::WaitFor([&] { return !IsWindow(box); }, 10000);
    }
    // Types into the dialog's fields and presses OK.
    void Fill(HWND dialog, const wchar_t* oldPassword, const wchar_t* newPassword, const wchar_t* confirmation)
    {
        SetDlgItemTextW(dialog, IDC_OLD_PASSWORD, oldPassword);
        SetDlgItemTextW(dialog, IDC_NEW_PASSWORD, newPassword);
        SetDlgItemTextW(dialog, IDC_CONFIRM_PASSWORD, confirmation);
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }
};

TEST_F(PasswordChangeTest, ThePromptsTable)
{
    OpenList();
    struct Case {
        int32_t days;
        int mayChange;
        const wchar_t* text;  // null: no box
        bool yesNo;
    } cases[] = {
        {-1, 1, L"Your password has expired.  Would you like to change it?", true},
        {-1, 0, L"Your password has expired. Please contact your administrator.", false},
        {0, 1, L"Your password will expire in 0 day(s). Would you like to change it now?", true},
        {0, 0, L"Your password will expire in 0 day(s). Please update it through the proper interface.", false},
        {99, 1, L"Your password will expire in 99 day(s). Would you like to change it now?", true},
        {99, 0, L"Your password will expire in 99 day(s). Please update it through the proper interface.", false},
        {100, 1, nullptr, false},
        {100, 0, nullptr, false},
    };
    for (const Case& c : cases) {
        Prompt(c.days, c.mayChange);
        EXPECT_EQ(manager->passwordExpired, 0) << "told once";
        EXPECT_EQ(App().PreparedSession().passwordExpiryDays, 0);
        if (!c.text) {
            wintest::PumpFor(500);
            EXPECT_EQ(FindBox(L"Password Expired"), nullptr) << c.days;
            continue;
        }
        HWND box = WaitBox(L"Password Expired");
        ASSERT_NE(box, nullptr) << c.days << " " << c.mayChange;
        EXPECT_EQ(BoxText(box), c.text);
        EXPECT_EQ(GetDlgItem(box, IDYES) != nullptr, c.yesNo) << c.days << " " << c.mayChange;
        if (c.days == -1 && c.mayChange)
            EXPECT_FALSE(wintest::SaveScreenshot(box, L"MeetingList", L"expiry_prompt").empty());
        Answer(box, c.yesNo ? IDNO : IDOK);
        EXPECT_FALSE(Changer()->DialogOpen()) << "No opens nothing";
    }
    // Nothing known: no box at all.
    manager->passwordExpired = 0;
    App().StartPasswordExpiryPrompt(0);
    wintest::PumpFor(500);
    EXPECT_EQ(FindBox(L"Password Expired"), nullptr);
}

TEST_F(PasswordChangeTest, ChangeFromTheLoginThenLogInWithTheNewPassword)
{
    Scenario(R"({"users": [{"name": "alice", "password": "secret"},
                            {"name": "pat", "password": "old-pass", "password_expiry_days": -1}]})");
    HostToCredentials();
    Credentials(L"pat", L"old-pass");
    EXPECT_EQ(manager->passwordPromptOrigin, 1);
    HWND box = WaitBox(L"Password Expired");
    ASSERT_NE(box, nullptr);
    Answer(box, IDYES);
    HWND dialog = WaitDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(wintest::Text(dialog), L"Change Password");
    GUITHREADINFO gui{};
    gui.cbSize = sizeof(gui);
    GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &gui);
    EXPECT_EQ(gui.hwndFocus, GetDlgItem(dialog, IDC_OLD_PASSWORD)) << "focus on the old password";
    RECT r, work;
    GetWindowRect(dialog, &r);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_NEAR((r.left + r.right) / 2, (work.left + work.right) / 2, 2) << "centred";
    EXPECT_EQ(SendDlgItemMessageW(dialog, IDC_NEW_PASSWORD, EM_GETLIMITTEXT, 0, 0), 127);
    EXPECT_FALSE(wintest::SaveScreenshot(dialog, L"MeetingList", L"password_dialog").empty());

    // A second Yes while it is open: no second dialog.
    CgiSession& s = App().PreparedSession();
    s.passwordExpiry = 1;
    s.passwordExpiryDays = -1;
    s.mayChangePassword = 1;
    App().StartPasswordExpiryPrompt(1);
    HWND second = WaitBox(L"Password Expired");
    ASSERT_NE(second, nullptr);
    Answer(second, IDYES);
    wintest::PumpFor(500);
    int dialogs = 0;
    for (HWND w = FindWindowExW(nullptr, nullptr, kDialogClass, L"Change Password"); w;
         w = FindWindowExW(nullptr, w, kDialogClass, L"Change Password"))
        dialogs += IsWindowVisible(w) ? 1 : 0;
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(Changer()->Dialog(), dialog);

    // Checks before anything is sent, each with caption "Warn".
    struct Check {
        const wchar_t *oldPassword, *newPassword, *confirmation, *text;
    } checks[] = {
        {L"", L"a", L"a", L"Please enter valid values for all password fields."},
        {L"old-pass", L"", L"", L"Please enter valid values for all password fields."},
        {L"old-pass", L"new-pass", L"new-pasS", L"Passwords do not match.  Please try again."},
        {L"old-pass", L"new-pass", L"new-pass ", L"Passwords do not match.  Please try again."},
    };
    Control("/__control/requests/clear", "{}");
    for (const Check& c : checks) {
        Fill(dialog, c.oldPassword, c.newPassword, c.confirmation);
        HWND warn = WaitBox(L"Warn");
        ASSERT_NE(warn, nullptr) << Narrow(c.text);
        EXPECT_EQ(BoxText(warn), c.text);
        Answer(warn, IDOK);
        EXPECT_TRUE(IsWindowVisible(dialog)) << "the dialog stays";
    }
    EXPECT_EQ(CountRequests(Recorded(), "/cgi-bin/loginChangePass"), 0);

    // A non-ASCII password goes as UTF-8, old and new the right way round.
    Fill(dialog, L"old-pass", L"n\u00e9w-p\u00e4ss", L"n\u00e9w-p\u00e4ss");
    HWND info = WaitBox(L"Info");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(BoxText(info), L"Password has been changed.");
    EXPECT_FALSE(wintest::SaveScreenshot(info, L"MeetingList", L"password_changed").empty());
    Answer(info, IDOK);
    ASSERT_TRUE(wintest::WaitFor([&] { return !Changer()->DialogOpen(); }, 10000));
    EXPECT_TRUE(Changer()->BuffersClear());
    EXPECT_TRUE(Logged("Password has been changed.")) << LogText();
    const std::string state = State();
    EXPECT_NE(state.find("\"old\": \"old-pass\", \"new\": \"n\\u00e9w-p\\u00e4ss\""), std::string::npos) << state;

    // The login window goes back to its server page, and the new one logs in.
    ASSERT_TRUE(WaitPosted(PLM_PASSWORD_CHANGE_ENDED));
    manager->OnThreadMessage(PLM_PASSWORD_CHANGE_ENDED, 0, 0);
    EXPECT_EQ(login->CurrentPage(), PageId::Server);
    posted.clear();
    Server(ServerText());
    HostToCredentials();
    Credentials(L"pat", L"n\u00e9w-p\u00e4ss");
    EXPECT_TRUE(WaitPosted(PLM_SHOW_ACTIVE_MEETINGS)) << Narrow(Status());
}

TEST_F(PasswordChangeTest, ARefusedChangeIsReportedFromTheMeetingList)
{
    Scenario(R"({"users": [{"name": "alice", "password": "secret", "password_expiry_days": 5}]})");
    OpenList();
    HWND box = WaitBox(L"Password Expired");
    ASSERT_NE(box, nullptr) << "the hand-over to the list asks too";
    EXPECT_EQ(BoxText(box), L"Your password will expire in 5 day(s). Would you like to change it now?");
    EXPECT_EQ(manager->passwordPromptOrigin, 0);
    Answer(box, IDYES);
    HWND dialog = WaitDialog();
    ASSERT_NE(dialog, nullptr);
    Fill(dialog, L"not-the-password", L"new-pass", L"new-pass");
    HWND warn = WaitBox(L"Warn");
    ASSERT_NE(warn, nullptr);
    EXPECT_EQ(BoxText(warn), L"Failed to change password.");
    Answer(warn, IDOK);
    ASSERT_TRUE(wintest::WaitFor([&] { return !Changer()->DialogOpen(); }, 10000));
    EXPECT_TRUE(Changer()->BuffersClear());
    EXPECT_TRUE(Logged("Failed to change password.")) << LogText();
    wintest::PumpFor(300);
    EXPECT_EQ(PostedParam(PLM_PASSWORD_CHANGE_ENDED), static_cast<WPARAM>(-1)) << "not from the login";
    EXPECT_NE(App().MeetingList(), nullptr);
}

} // namespace

namespace {

TEST_F(PasswordChangeTest, TheProgramsEndClosesAnOpenPromptAndDialog)
{
    OpenList();
    Prompt(-1, 1);
    HWND box = WaitBox(L"Password Expired");
    ASSERT_NE(box, nullptr);
    Prompt(3, 1);
    auto visibleBoxes = [] {
        int n = 0;
        for (HWND w = FindWindowExW(nullptr, nullptr, kDialogClass, L"Password Expired"); w;
             w = FindWindowExW(nullptr, w, kDialogClass, L"Password Expired"))
            n += IsWindowVisible(w) ? 1 : 0;
        return n;
    };
    ASSERT_TRUE(wintest::WaitFor([&] { return visibleBoxes() == 2; }));
    Answer(box, IDYES);
    ASSERT_NE(WaitDialog(), nullptr);
    // Both threads are told to end and joined well within their bound.
    const DWORD start = GetTickCount();
    manager.reset();
    EXPECT_LT(GetTickCount() - start, 3000u);
    EXPECT_EQ(FindBox(L"Password Expired"), nullptr);
    EXPECT_EQ(FindBox(L"Change Password"), nullptr);
}

} // namespace
