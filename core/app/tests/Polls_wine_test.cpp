// A poll between two programs in one meeting, through the local appliance
// (which relays poll packets to everyone, the sender included): alice writes
// and opens a poll in her polling panel, bob's answering panel shows it, bob
// submits, and alice's panel counts the last awaited answer and ends the poll. Each program is
// a manager with the program's services on a thread of its own; the panels
// are driven with messages sent to their windows. Run by tunnel_fixture.sh
// with lobby_commands_scenario.json.
#include "core/app/tests/MeetingScenario_win.h"
#include "extras/CPollRet_win.h"
#include "extras/CPollTree_win.h"
#include "extras/CPolling.h"
#include "extras/PollResources.h"
#include "tests/support/AppLogFile_win.h"
#include "tests/support/WindowTest_win.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace {

using namespace meetingtest;

// Types into the editor's in-place box, as Enter ends it (sent: handled on
// the program's own thread).
void TypeInPlace(CPolling& panel, const wchar_t* text)
{
    HWND edit = panel.Editor()->EditBox();
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(edit) != FALSE; }, 5000));
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    SendMessageW(edit, WM_KEYDOWN, VK_RETURN, 0);
}

} // namespace

TEST(PollBetweenPrograms, OpenAnswerAndTheLastAnswerEndsIt)
{
    TrustRunCa();
    // The programs' log, shown when the test fails.
    AppLogShownOnFailure log("polls_between_programs");
    WriteFaults("[]");
    ResetAppliance();
    Instance a("sessA", L"Alice", [](CManager&) {});
    Instance b("sessB", L"Bob", [](CManager&) {});
    StartAsHost(a);
    ASSERT_TRUE(WaitUntil([&] { return a.InMeeting(); })) << "the host did not enter";
    ASSERT_EQ(logintest::ApplianceControl(AppliancePort(), L"POST", "/__control/participant",
                                          R"({"meeting": "100001", "session": "sessA", "caller_role": 1})")
                  .status,
              200u);
    b.Post(PLM_JOIN_MEETING);
    ASSERT_TRUE(WaitUntil([&] { return b.InMeeting(); })) << "bob did not enter";
    ASSERT_TRUE(a.M().Appliance().ReadParticipants());
    ASSERT_TRUE(b.M().Appliance().ReadParticipants());

    CPolling& editing = *a.M().polling1;
    HWND panel = editing.Window();
    ASSERT_TRUE(panel);
    // The lobby's polling button: the panel shows.
    a.Post(PLM_TOGGLE_POLLING);
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(panel) != FALSE; }, 5000));

    // A radio question with two answers, through the panel's controls.
    SendDlgItemMessageW(panel, IDC_POLL_KIND, CB_SETCURSEL, 0, 0);
    SendMessageW(panel, WM_COMMAND, IDC_POLL_NEW, 0);
    TypeInPlace(editing, L"Lunch?");
    TypeInPlace(editing, L"Yes");
    SendMessageW(panel, WM_COMMAND, IDC_POLL_ADD, 0);
    TypeInPlace(editing, L"No");
    // Opened as saved: no question about saving first.
    editing.Editor()->Tree().modified = false;
    SendMessageW(panel, WM_COMMAND, IDC_POLL_OPEN, 0);
    EXPECT_EQ(editing.GetState(), CPolling::State::Open);
    EXPECT_EQ(a.M().pollOwner, 1);

    // Bob's answering panel shows the poll; alice's own echo shows nothing.
    CPolling& answering = *b.M().polling2;
    ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(answering.Window()) != FALSE; })) << "bob saw no poll";
    EXPECT_EQ(b.M().pollActive, 1);
    EXPECT_FALSE(IsWindowVisible(a.M().polling2->Window()));
    wintest::SaveScreenshot(answering.Window(), L"PollBetweenPrograms", L"bob_answering");

    // Bob chooses "No" with a click on its row, then submits.
    HWND tree = answering.Editor()->Window();
    RedrawWindow(tree, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    SendMessageW(tree, WM_NULL, 0, 0);
    POINT no{};
    for (const auto& r : answering.Editor()->Rows())
        if (r.node->text == "No")
            no = POINT{(r.rect.left + r.rect.right) / 2, (r.rect.top + r.rect.bottom) / 2};
    ASSERT_GT(no.y, 0);
    SendMessageW(tree, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(no.x, no.y));
    wintest::SaveScreenshot(answering.Window(), L"PollBetweenPrograms", L"bob_chose_no");
    SendMessageW(answering.Window(), WM_COMMAND, IDC_POLL_SUBMIT, 0);
    EXPECT_FALSE(IsWindowVisible(answering.Window()));

    // Bob was the only one asked: his answer is the last, and alice's
    // program ends the poll by itself (17 to everyone) with the final counts.
    ASSERT_TRUE(WaitUntil([&] {
        return wintest::ControlText(panel, IDC_POLL_STATUS) == L"Polling Status: 1/1";
    })) << "alice counted nothing";
    ASSERT_TRUE(WaitUntil([&] { return editing.GetState() == CPolling::State::Closed; }));
    EXPECT_EQ(a.M().pollOwner, 0);
    EXPECT_EQ(a.M().pollActive, 0);
    ASSERT_TRUE(WaitUntil([&] { return b.M().pollActive == 0; })) << "bob never saw the end";
    const PollRecord& record = editing.Tally().Record();
    ASSERT_EQ(record.size(), 1u);
    ASSERT_EQ(record[0].options.size(), 2u);
    EXPECT_EQ(record[0].options[1].voters.count("sessB"), 1u);
    EXPECT_EQ(record[0].options[0].voters.size(), 0u);
    EXPECT_EQ(record[0].noAnswer.count("sessB"), 0u);
    EXPECT_FALSE(IsWindowVisible(a.M().polling2->Window()));
    wintest::SaveScreenshot(panel, L"PollBetweenPrograms", L"alice_final_results");
}
