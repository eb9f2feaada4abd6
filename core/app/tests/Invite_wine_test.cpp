// The e-mail invitation window under Wine against the local appliance: its
// controls and layout, Tab round the fields, the address list in its place,
// sending with the appliance's answers, the checks that never reach the
// network, and leaving the meeting while a worker waits.
#include "appliance/ui/Invite_win.h"
#include "core/app/tests/SetupWindowFixture_win.h"
#include "tests/support/AppLogFile_win.h"

#include <commctrl.h>

namespace {

using namespace setuptest;

RECT ClientRectIn(HWND control, HWND parent)
{
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

class InviteWindow : public ApplianceWindowTest {
protected:
    std::string Suite() const override { return "InviteWindow"; }
    void SetUp() override
    {
        ApplianceWindowTest::SetUp();
        manager->meetingName = "Weekly sync";
        ASSERT_TRUE(Program().CreateInvite());
        invite = Program().Invite();
        manager->OnThreadMessage(PLM_FOCUS_PANEL, 0, 0);
        wintest::Pump();
    }
    HWND C(InviteControl which) const { return invite->Control(which); }
    void Type(InviteControl which, const std::wstring& text) { SetWindowTextW(C(which), text.c_str()); }
    void ClickInvite()
    {
        SendMessageW(C(InviteControl::Invite), BM_CLICK, 0, 0);
        wintest::Pump();
    }
    bool WaitStatus(const wchar_t* text)
    {
        return wintest::WaitFor([&] { return invite->StatusText() == text; }, 20000);
    }
    CInvite* invite = nullptr;
};

TEST_F(InviteWindow, WindowControlsAndLayout)
{
    HWND w = invite->Window();
    ASSERT_TRUE(IsWindowVisible(w));
    wchar_t cls[64] = {};
    GetClassNameW(w, cls, 64);
    EXPECT_STREQ(cls, L"CInvite WndClass");
    RECT outer{};
    GetWindowRect(w, &outer);
    EXPECT_EQ(outer.right - outer.left, 350);
    EXPECT_EQ(outer.bottom - outer.top, 350);
    EXPECT_TRUE(GetWindowLongPtrW(w, GWL_EXSTYLE) & WS_EX_LAYERED);
    EXPECT_EQ(wintest::Text(w), L"E-mail Invite");
    int children = 0;
    for (HWND c = GetWindow(w, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        ++children;
    EXPECT_EQ(children, 13);
    EXPECT_EQ(SendMessageW(C(InviteControl::Tooltip), TTM_GETTOOLCOUNT, 0, 0), 2);
    EXPECT_EQ(invite->StatusText(), L"Ready.");
    EXPECT_EQ(wintest::Text(C(InviteControl::Invite)), L"Invite");
    EXPECT_EQ(wintest::Text(C(InviteControl::Close)), L"Close");
    EXPECT_EQ(SendMessageW(C(InviteControl::Required), EM_GETLIMITTEXT, 0, 0), 2047);
    EXPECT_EQ(SendMessageW(C(InviteControl::Coordinator), EM_GETLIMITTEXT, 0, 0), 127);
    EXPECT_EQ(SendMessageW(C(InviteControl::Message), EM_GETLIMITTEXT, 0, 0), 1023);
    Shot(w, L"invite");

    // Wider and taller: the fields stretch, the buttons move with the corner.
    const RECT field = ClientRectIn(C(InviteControl::Required), w);
    const RECT button = ClientRectIn(C(InviteControl::Invite), w);
    const RECT message = ClientRectIn(C(InviteControl::Message), w);
    SetWindowPos(w, nullptr, 0, 0, 450, 420, SWP_NOMOVE | SWP_NOZORDER);
    wintest::Pump();
    EXPECT_EQ(ClientRectIn(C(InviteControl::Required), w).right - field.right, 100);
    EXPECT_EQ(ClientRectIn(C(InviteControl::Required), w).left, field.left);
    EXPECT_EQ(ClientRectIn(C(InviteControl::Invite), w).left - button.left, 100);
    EXPECT_EQ(ClientRectIn(C(InviteControl::Invite), w).top - button.top, 70);
    EXPECT_EQ(ClientRectIn(C(InviteControl::Message), w).bottom - message.bottom, 70);
    Shot(w, L"resized");

    // Close hides; 60120 shows it again.
    SendMessageW(C(InviteControl::Close), BM_CLICK, 0, 0);
    EXPECT_FALSE(IsWindowVisible(w));
    manager->OnThreadMessage(PLM_FOCUS_PANEL, 0, 0);
    EXPECT_TRUE(IsWindowVisible(w));
}

TEST_F(InviteWindow, TabWalksTheFieldsRoundAndButtonsBecomeDefault)
{
    const InviteControl order[] = {InviteControl::Required, InviteControl::RequiredList, InviteControl::Optional,
                                   InviteControl::OptionalList, InviteControl::Coordinator, InviteControl::Message,
                                   InviteControl::Invite, InviteControl::Close};
    constexpr int n = 8;
    for (int i = 0; i < n; ++i) {
        SetFocus(C(order[i]));
        wintest::PostKey(C(order[i]), VK_TAB);
        wintest::Pump();
        EXPECT_EQ(GetFocus(), C(order[(i + 1) % n])) << i;
        // Shift+Tab: the same message with the backwards flag.
        SendMessageW(invite->Window(), CInvite::kTabMessage, reinterpret_cast<WPARAM>(C(order[i])), 1);
        EXPECT_EQ(GetFocus(), C(order[(i + n - 1) % n])) << i;
    }
    SendMessageW(invite->Window(), CInvite::kTabMessage, reinterpret_cast<WPARAM>(C(InviteControl::Message)), 0);
    EXPECT_TRUE(GetWindowLongPtrW(C(InviteControl::Invite), GWL_STYLE) & BS_DEFPUSHBUTTON);
    // Tab inserts no tab character into the message.
    EXPECT_EQ(wintest::Text(C(InviteControl::Message)), L"");
    // A field that gains the focus says "Ready.".
    SendMessageW(invite->Window(), CInvite::kReportMessage, 0, 0);
    EXPECT_EQ(invite->StatusText(), L"Sending failed. Please see log.");
    SetFocus(C(InviteControl::Coordinator));
    wintest::Pump();
    EXPECT_EQ(invite->StatusText(), L"Ready.");
}

TEST_F(InviteWindow, ListDialogTakesTheWindowsPlace)
{
    Type(InviteControl::Optional, L"ann@example.org;bob@example.org");
    RECT place{};
    GetWindowRect(invite->Window(), &place);
    SendMessageW(C(InviteControl::OptionalList), BM_CLICK, 0, 0);
    HWND dialog = invite->ListDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_FALSE(IsWindowVisible(invite->Window()));
    RECT at{};
    GetWindowRect(dialog, &at);
    EXPECT_EQ(at.left, place.left);
    EXPECT_EQ(at.top, place.top);
    EXPECT_EQ(wintest::ControlText(dialog, IDC_ADDRESS_EDIT), L"ann@example.org\r\nbob@example.org");
    Shot(dialog, L"address_list");
    wintest::SetControlText(dialog, IDC_ADDRESS_EDIT, L"cy@example.org\r\n\r\ndee@example.org");
    wintest::Click(dialog, IDOK);
    EXPECT_FALSE(IsWindowVisible(dialog));
    EXPECT_TRUE(IsWindowVisible(invite->Window()));
    EXPECT_EQ(wintest::Text(C(InviteControl::Optional)), L"cy@example.org;;dee@example.org");
    EXPECT_EQ(wintest::Text(C(InviteControl::Required)), L"");

    // Lines that would join to more than the field holds are not cut: the
    // dialog stays and the field keeps its text.
    SendMessageW(C(InviteControl::OptionalList), BM_CLICK, 0, 0);
    std::wstring lines;
    for (int i = 0; i < 120; ++i)
        lines += L"someone.with.a.long.name@example.org\r\n";
    wintest::SetControlText(dialog, IDC_ADDRESS_EDIT, lines);
    wintest::Click(dialog, IDOK);
    EXPECT_TRUE(IsWindowVisible(dialog));
    wintest::Click(dialog, IDCANCEL);
    EXPECT_EQ(wintest::Text(C(InviteControl::Optional)), L"cy@example.org;;dee@example.org");
}

TEST_F(InviteWindow, InviteSendsAndReportsTheAppliancesAnswer)
{
    AppLogFile appLog("corvisk_invite_send_test");
    struct Case {
        const char* fault;  // reply body in place of the appliance's, or null
        const wchar_t* status;
    } cases[] = {
        {nullptr, L"Sent Successfully."},
        {"error=21&*&*", L"Sending failed. Please see log."},
        {"error=0&*&*", L"Sent Successfully."},
        {"no number here", L"Sending failed. Please see log."},
        {"", L"Sending failed. Please see log."},
    };
    for (const Case& c : cases) {
        if (c.fault)
            Control(L"POST", "/__control/faults",
                    std::string(R"({"path": "/cgi-bin/MeetingInvite", "count": 1, "body": ")") + c.fault + "\"}");
        SetWindowTextW(C(InviteControl::Status), L"-");
        Type(InviteControl::Required, L"ann@example.org;bo\u00e9@example.org;cy@example.org");
        Type(InviteControl::Coordinator, L"boss@example.org");
        Type(InviteControl::Message, L"Join us");
        ClickInvite();
        // Emptied at once, before the reply.
        EXPECT_EQ(wintest::Text(C(InviteControl::Required)), L"");
        EXPECT_EQ(wintest::Text(C(InviteControl::Message)), L"");
        EXPECT_TRUE(WaitStatus(c.status)) << (c.fault ? c.fault : "plain");
    }
    Shot(invite->Window(), L"sent");
    const std::string requests = Requests();
    EXPECT_NE(requests.find("inviteguest=true&invitecount=3&t0=ann%40example%2Eorg&t1=bo%C3%A9%40example%2Eorg"
                            "&t2=cy%40example%2Eorg&optionalcount=0&custommsg=Join%20us"
                            "&techemail=boss%40example%2Eorg&dhsac=true&meetingname=Weekly%20sync"),
              std::string::npos);
    EXPECT_NE(State().find("\"coordinator\": \"boss@example.org\""), std::string::npos);
    // The details go to the log, one line for each answer.
    for (const char* line : {"Sent invite mail Successfully.", "The SSL/TLS connections is failed.",
                             "Error in sending invitation."})
        EXPECT_TRUE(appLog.Contains(line)) << line << "\n" << appLog.Text();
}

TEST_F(InviteWindow, ChecksNeverReachTheNetwork)
{
    AppLogFile appLog("corvisk_invite_checks_test");
    struct Case {
        const wchar_t* required;
        const wchar_t* optional;
        const wchar_t* coordinator;
    } cases[] = {
        {L"", L"", L""},
        {L"ann@example.org;;bob@example.org", L"", L""},
        {L"ann.example.org", L"", L""},
        {L"a!nn@example.org", L"", L""},
        {L"ann@example.org", L"", L"c@example.org,d@example.org"},
    };
    for (const Case& c : cases) {
        SetWindowTextW(C(InviteControl::Status), L"-");
        Type(InviteControl::Required, c.required);
        Type(InviteControl::Optional, c.optional);
        Type(InviteControl::Coordinator, c.coordinator);
        ClickInvite();
        EXPECT_TRUE(WaitStatus(L"Sending failed. Please see log.")) << std::string(c.required, c.required + 3);
    }
    EXPECT_EQ(logintest::CountRequests(Requests(), "/cgi-bin/MeetingInvite"), 0);
    for (const char* line : {"No required/optional mail entered.", "Invalid e-mail entered.",
                             "Required/Optional e-mail includes invalid characters.",
                             "Can not enter more than one coordinator email."})
        EXPECT_TRUE(appLog.Contains(line)) << line << "\n" << appLog.Text();
}

TEST_F(InviteWindow, LeavingWhileAWorkerWaitsEndsCleanly)
{
    Control(L"POST", "/__control/faults", R"({"path": "/cgi-bin/MeetingInvite", "delay": 4})");
    Type(InviteControl::Required, L"ann@example.org");
    ClickInvite();
    ASSERT_TRUE(wintest::WaitFor([&] { return CountBodies("inviteguest=true") == 1; }, 10000));
    EXPECT_EQ(invite->WorkersRunning(), 1u);
    const DWORD before = GetTickCount();
    Program().DestroyInvite();
    EXPECT_LT(GetTickCount() - before, 1000u);
    EXPECT_EQ(Program().Invite(), nullptr);
    // The late reply arrives and goes nowhere.
    wintest::PumpFor(5000);
    EXPECT_EQ(State().find("\"invitations\": []"), std::string::npos);
}

} // namespace
