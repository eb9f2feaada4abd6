// The polling panels as real windows against a test double of the program:
// writing a poll through the panel's controls and the in-place edit box,
// opening it, counting crafted submits, ending it, the final results and
// their detail list; the answering panel's clicks and submit; the boxes and
// the save dialog on their own thread; scrolling a tree of 1000 options.
#include "extras/CPolling.h"

#include "extras/CPollRet_win.h"
#include "extras/CPollTree_win.h"
#include "extras/PollContext.h"
#include "extras/PollResources.h"
#include "tests/support/HostPath.h"
#include "tests/support/WindowTest_win.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>
#include <string>
#include <vector>

namespace {

class FakePollContext : public PollContext {
public:
    struct Packet {
        int type;
        std::string text;
    };
    std::mutex lock;
    std::vector<Packet> sent;
    PollPeople others{{"s1", "Ann"}, {"s2", "Bob"}, {"s3", "Cy"}};
    bool active = false;
    bool owner = false;
    std::vector<std::wstring> log;

    bool SendPollPacket(uint8_t type, std::string_view text) override
    {
        std::lock_guard<std::mutex> l(lock);
        sent.push_back({type, std::string(text)});
        return true;
    }
    std::string OwnSessionId() override { return "me1"; }
    std::string OwnDisplayName() override { return "Me \xC3\x84"; }
    PollPeople OtherParticipants() override { return others; }
    void SetPollFlags(bool a, bool o) override
    {
        active = a;
        owner = o;
    }
    void LogPollEvent(int, const wchar_t* format) override { log.push_back(format); }
    size_t SentCount()
    {
        std::lock_guard<std::mutex> l(lock);
        return sent.size();
    }
};

std::string Fixture(const char* name)
{
    std::ifstream in(std::string(CORVISK_POLL_FIXTURES) + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void ClickAt(HWND hwnd, POINT p, bool twice = false)
{
    LPARAM at = MAKELPARAM(p.x, p.y);
    PostMessageW(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(hwnd, WM_LBUTTONUP, 0, at);
    if (twice)
        PostMessageW(hwnd, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    wintest::Pump();
}

POINT Middle(const RECT& r)
{
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

POINT RowOf(CPollTree& tree, const PollNode* node)
{
    tree.Repaint();
    for (const auto& row : tree.Rows())
        if (row.node == node)
            return Middle(row.rect);
    ADD_FAILURE() << "no row";
    return POINT{};
}

// Types text into the in-place box and presses Enter.
void Type(CPollTree& tree, const std::wstring& text)
{
    ASSERT_TRUE(IsWindowVisible(tree.EditBox()));
    SetWindowTextW(tree.EditBox(), text.c_str());
    wintest::PostKey(tree.EditBox(), VK_RETURN);
    wintest::Pump();
}

void ChooseKindAndNew(HWND panel, int index)
{
    SendDlgItemMessageW(panel, IDC_POLL_KIND, CB_SETCURSEL, index, 0);
    wintest::Click(panel, IDC_POLL_NEW);
}

class PollingPanel : public ::testing::Test {
protected:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_BAR_CLASSES | ICC_COOL_CLASSES | ICC_WIN95_CLASSES};
        InitCommonControlsEx(&icc);
    }
    void Show(CPolling& panel)
    {
        SetWindowPos(panel.Window(), HWND_TOP, 40, 40, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        wintest::Pump();
    }
    // A box or dialog of the popup thread: a visible dialog of this process
    // other than the panels, with the title when one is given.
    HWND FindPopup(const wchar_t* title)
    {
        struct Search {
            const wchar_t* title;
            HWND found;
        } search{title, nullptr};
        EnumWindows(
            [](HWND hwnd, LPARAM lParam) -> BOOL {
                auto* s = reinterpret_cast<Search*>(lParam);
                DWORD process = 0;
                GetWindowThreadProcessId(hwnd, &process);
                wchar_t cls[32] = {};
                GetClassNameW(hwnd, cls, 32);
                if (process != GetCurrentProcessId() || !IsWindowVisible(hwnd) || std::wstring(cls) != L"#32770" ||
                    GetWindowThreadProcessId(hwnd, nullptr) == GetCurrentThreadId())
                    return TRUE;
                if (s->title && wintest::Text(hwnd) != s->title)
                    return TRUE;
                s->found = hwnd;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.found;
    }
    HWND WaitForBox(const wchar_t* title)
    {
        HWND box = nullptr;
        wintest::WaitFor([&] { return (box = FindPopup(title)) != nullptr; }, 10000);
        return box;
    }
    // Types a path into the file dialog the popup thread shows and presses
    // OK. The file name box is a combo box (1148) or an edit (1152).
    void ChooseFile(const std::string& path)
    {
        HWND dialog = nullptr;
        HWND name = nullptr;
        ASSERT_TRUE(wintest::WaitFor([&] {
            dialog = FindPopup(nullptr);
            name = dialog ? wintest::FindControl(dialog, 1148) : nullptr;
            if (dialog && !name)
                name = wintest::FindControl(dialog, 1152);
            return name != nullptr;
        })) << "no file dialog";
        HWND edit = FindWindowExW(name, nullptr, L"Edit", nullptr);
        SetWindowTextW(edit ? edit : name, std::wstring(path.begin(), path.end()).c_str());
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        wintest::WaitFor([&] { return !IsWindow(dialog); }, 10000);
        wintest::PumpFor(100);
    }
    // Every static text of a box.
    static std::wstring BoxText(HWND box)
    {
        std::wstring all;
        EnumChildWindows(
            box,
            [](HWND child, LPARAM lParam) -> BOOL {
                *reinterpret_cast<std::wstring*>(lParam) += wintest::Text(child) + L"|";
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&all));
        return all;
    }
    void Answer(HWND box, int id)
    {
        PostMessageW(box, WM_COMMAND, id, 0);
        wintest::WaitFor([&] { return !IsWindow(box); }, 10000);
        wintest::PumpFor(100);
    }
    FakePollContext context;
};

const std::string kSubmitS1 = "PL_POLLING_SUBMIT: s1|Ann\r\nPL_RADIO_QIZ: 1\r\nPL_CHECK_QIZ: 0;2;\r\nPL_SHORT_QIZ: yes\r\n";
const std::string kSubmitS2 = "PL_POLLING_SUBMIT: s2|Bob\r\nPL_RADIO_QIZ: 1\r\nPL_CHECK_QIZ: 2;\r\nPL_SHORT_QIZ: \r\n";

} // namespace

TEST_F(PollingPanel, PanelsStartHiddenInTheirFirstState)
{
    CPolling editing(&context, nullptr, 1);
    CPolling answering(&context, nullptr, 2);
    ASSERT_TRUE(editing.Window());
    ASSERT_TRUE(answering.Window());
    EXPECT_FALSE(IsWindowVisible(editing.Window()));
    EXPECT_FALSE(IsWindowVisible(answering.Window()));
    EXPECT_EQ(editing.GetState(), CPolling::State::Editing);
    EXPECT_EQ(SendDlgItemMessageW(editing.Window(), IDC_POLL_KIND, CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(SendDlgItemMessageW(editing.Window(), IDC_POLL_KIND, CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(SendMessageW(editing.Editor()->EditBox(), EM_GETLIMITTEXT, 0, 0), 255);
    // Open enabled; nothing to save, edit or clear yet.
    int expected[] = {1, 0, 0, 0, 0, 0, 0};
    for (int n = 0; n < 7; ++n)
        EXPECT_EQ(CPolling::ToolbarButtonState(2000 + n), expected[n]) << n;
    // Closing the editing panel hides it.
    Show(editing);
    SendMessageW(editing.Window(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindowVisible(editing.Window()));
}

// The coordinator writes three questions through the panel's controls and
// the in-place box.
TEST_F(PollingPanel, EditorBuildsThePollThroughItsControls)
{
    CPolling panel(&context, nullptr, 1);
    Show(panel);
    CPollTree& tree = *panel.Editor();

    // Blank text for a new question removes it.
    ChooseKindAndNew(panel.Window(), 0);
    Type(tree, L"  \t ");
    EXPECT_EQ(tree.Tree().QuestionCount(), 0u);

    // A new radio question opens its first option for typing.
    ChooseKindAndNew(panel.Window(), 0);
    Type(tree, L"Which day\r\n suits?");
    ASSERT_EQ(tree.Tree().QuestionCount(), 1u);
    EXPECT_EQ(tree.Tree().Root().children[0]->text, "Which day suits?");
    EXPECT_EQ(tree.Editing(), CPollTree::EditMode::NewOption);
    Type(tree, L"Monday");
    wintest::Click(panel.Window(), IDC_POLL_ADD);  // after the selected option
    Type(tree, L"Dienstag \u00e4\u00f6\u00fc");
    wintest::Click(panel.Window(), IDC_POLL_ADD);
    Type(tree, L"\u6c34\u66dc\u65e5");

    ChooseKindAndNew(panel.Window(), 1);
    Type(tree, L"Bring what?");
    Type(tree, L"Notes");
    for (const wchar_t* o : {L"Laptop", L"Coffee"}) {
        wintest::Click(panel.Window(), IDC_POLL_ADD);
        Type(tree, o);
    }
    // A new short question gets an empty answer box, not an edit.
    ChooseKindAndNew(panel.Window(), 2);
    Type(tree, L"Anything else?");
    EXPECT_EQ(tree.Editing(), CPollTree::EditMode::None);
    EXPECT_TRUE(tree.Tree().modified);

    PollRecord record;
    EXPECT_EQ(tree.Tree().BuildOpenText(true, &record), Fixture("three_kinds.plp"));

    // Double-clicking the short answer box edits nothing in editing mode;
    // double-clicking an option edits it, and blank text leaves it.
    PollNode* box = tree.Tree().Root().children[2]->children[0].get();
    ClickAt(tree.Window(), RowOf(tree, box), true);
    EXPECT_EQ(tree.Editing(), CPollTree::EditMode::None);
    PollNode* monday = tree.Tree().Root().children[0]->children[0].get();
    ClickAt(tree.Window(), RowOf(tree, monday), true);
    EXPECT_EQ(tree.Editing(), CPollTree::EditMode::Existing);
    Type(tree, L"   ");
    EXPECT_EQ(monday->text, "Monday");
    // The toolbar follows the selection: Monday is first (no Up), has a next.
    EXPECT_EQ(tree.Selected(), monday);
    EXPECT_EQ(CPolling::ToolbarButtonState(IDC_POLL_TB_UP), 0);
    EXPECT_EQ(CPolling::ToolbarButtonState(IDC_POLL_TB_DOWN), 1);
    EXPECT_EQ(CPolling::ToolbarButtonState(IDC_POLL_TB_SAVE), 1);
    SendMessageW(panel.Window(), WM_COMMAND, IDC_POLL_TB_UP, 0);  // disabled: ignored
    EXPECT_EQ(monday->IndexInParent(), 0u);
    SendMessageW(panel.Window(), WM_COMMAND, IDC_POLL_TB_DOWN, 0);
    EXPECT_EQ(monday->IndexInParent(), 1u);
    SendMessageW(panel.Window(), WM_COMMAND, IDC_POLL_TB_UP, 0);
    EXPECT_EQ(monday->IndexInParent(), 0u);
    tree.Select(nullptr);
    wintest::SaveScreenshot(panel.Window(), L"PollingPanel", L"editor_three_kinds");
}

TEST_F(PollingPanel, OpeningWithoutQuestionsOrParticipantsWarnsAndSendsNothing)
{
    CPolling panel(&context, nullptr, 1);
    Show(panel);
    wintest::Click(panel.Window(), IDC_POLL_OPEN);
    HWND box = WaitForBox(L"Warning");
    ASSERT_TRUE(box);
    EXPECT_NE(BoxText(box).find(L"no questions"), std::wstring::npos);
    Answer(box, IDOK);

    panel.Editor()->Tree().LoadPollFile(Fixture("one_check.plp"));
    context.others.clear();
    wintest::Click(panel.Window(), IDC_POLL_OPEN);
    box = WaitForBox(L"Warning");
    ASSERT_TRUE(box);
    EXPECT_NE(BoxText(box).find(L"no users"), std::wstring::npos);
    Answer(box, IDOK);
    EXPECT_EQ(context.SentCount(), 0u);
    EXPECT_EQ(panel.GetState(), CPolling::State::Editing);
    EXPECT_FALSE(context.active);
}

// Three asked, two answer (with a repeated and a forged submit among them),
// the coordinator ends the poll: 2/3, the third under "No Answer.".
TEST_F(PollingPanel, OpenCountEndAndShowTheFinalResults)
{
    CPolling panel(&context, nullptr, 1);
    Show(panel);
    ASSERT_TRUE(panel.Editor()->LoadPollFile(Fixture("three_kinds.plp")));
    wintest::Click(panel.Window(), IDC_POLL_OPEN);
    ASSERT_EQ(context.SentCount(), 1u);
    EXPECT_EQ(context.sent[0].type, 14);
    EXPECT_EQ(context.sent[0].text, Fixture("three_kinds.plp"));
    EXPECT_TRUE(context.active);
    EXPECT_TRUE(context.owner);
    EXPECT_EQ(panel.GetState(), CPolling::State::Open);
    EXPECT_EQ(wintest::ControlText(panel.Window(), IDC_POLL_STATUS), L"Polling Status: 0/3");
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(panel.Window(), IDC_POLL_END)));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(panel.Window(), IDC_POLL_NEW)));
    for (int c = 2000; c <= 2006; ++c)
        EXPECT_EQ(CPolling::ToolbarButtonState(c), 0) << c;
    // A disabled toolbar command does nothing.
    SendMessageW(panel.Window(), WM_COMMAND, IDC_POLL_TB_CLEAR, 0);
    EXPECT_EQ(panel.Editor()->Tree().QuestionCount(), 3u);

    panel.OnRecvSubmit(kSubmitS1.c_str());
    panel.OnRecvSubmit("PL_POLLING_SUBMIT: s1|Ann\r\nPL_RADIO_QIZ: 0\r\n");  // again
    panel.OnRecvSubmit("PL_POLLING_SUBMIT: zz|Mallory\r\nPL_RADIO_QIZ: 0\r\n");
    panel.OnRecvSubmit("PL_POLLING_OPEN: ");
    panel.OnRecvSubmit(kSubmitS2.c_str());
    wintest::Pump();
    EXPECT_EQ(wintest::ControlText(panel.Window(), IDC_POLL_STATUS), L"Polling Status: 2/3");
    wintest::SaveScreenshot(panel.Window(), L"PollingPanel", L"results_open");

    wintest::Click(panel.Window(), IDC_POLL_END);
    ASSERT_EQ(context.SentCount(), 2u);
    EXPECT_EQ(context.sent[1].type, 17);
    EXPECT_EQ(context.sent[1].text, "");
    EXPECT_EQ(context.log, (std::vector<std::wstring>{L"%sOpen a polling. \n", L"%sFinish current polling. \n"}));
    EXPECT_EQ(panel.GetState(), CPolling::State::Closed);
    EXPECT_FALSE(context.active);
    EXPECT_FALSE(context.owner);
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(panel.Window(), IDC_POLL_NEW_POLL)));
    EXPECT_EQ(CPolling::ToolbarButtonState(IDC_POLL_TB_SAVE), 1);  // results not saved

    CPollRet& results = *panel.ResultView();
    std::vector<std::string> noAnswer;
    size_t radioB = 0;
    for (size_t i = 0; i < results.Rows().size(); ++i) {
        if (results.Rows()[i].kind == 7)
            noAnswer.push_back(results.Rows()[i].detail);
        if (results.Rows()[i].text == "b. Dienstag \xC3\xA4\xC3\xB6\xC3\xBC")
            radioB = i;
    }
    ASSERT_EQ(noAnswer.size(), 3u);
    EXPECT_EQ(noAnswer[0], "<No Answer.>\r\n    Cy\r\n");
    EXPECT_EQ(noAnswer[1], "<No Answer.>\r\n    Cy\r\n");
    EXPECT_EQ(noAnswer[2], "<No Answer.>\r\n    Bob\r\n    Cy\r\n");
    EXPECT_EQ(results.Rows()[radioB].count, " 2/ 3");
    wintest::SaveScreenshot(panel.Window(), L"PollingPanel", L"results_final");

    // A row opens its detail list; "Back" returns.
    results.Repaint();
    ClickAt(results.Window(), Middle(results.RowRect(radioB)));
    ASSERT_TRUE(IsWindowVisible(panel.DetailWindow()));
    EXPECT_FALSE(IsWindowVisible(results.Window()));
    EXPECT_EQ(wintest::ControlText(panel.DetailWindow(), IDC_POLL_DETAIL_TEXT),
              L"<b. Dienstag \u00e4\u00f6\u00fc>\r\n    Ann\r\n    Bob\r\n");
    wintest::SaveScreenshot(panel.Window(), L"PollingPanel", L"detail_list");
    wintest::Click(panel.DetailWindow(), IDOK);
    EXPECT_FALSE(IsWindowVisible(panel.DetailWindow()));
    EXPECT_TRUE(IsWindowVisible(results.Window()));

    // A late submit counts nothing and sends nothing.
    panel.OnRecvSubmit("PL_POLLING_SUBMIT: s3|Cy\r\nPL_RADIO_QIZ: 0\r\nPL_CHECK_QIZ: \r\nPL_SHORT_QIZ: \r\n");
    wintest::Pump();
    EXPECT_EQ(context.SentCount(), 2u);
    EXPECT_EQ(panel.GetState(), CPolling::State::Closed);

    // "New Polling" asks to save the results; No goes back to editing.
    wintest::Click(panel.Window(), IDC_POLL_NEW_POLL);
    HWND box = WaitForBox(L"Polling");
    ASSERT_TRUE(box);
    Answer(box, IDNO);
    EXPECT_EQ(panel.GetState(), CPolling::State::Editing);
    EXPECT_EQ(panel.Editor()->Tree().QuestionCount(), 0u);
}

// The last awaited answer, or a departure that leaves none awaited, ends the
// poll on the client that opened it: 17 goes out once.
TEST_F(PollingPanel, TheLastAnswerOrDepartureEndsThePollOnce)
{
    CPolling panel(&context, nullptr, 1);
    Show(panel);
    ASSERT_TRUE(panel.Editor()->LoadPollFile(Fixture("three_kinds.plp")));
    wintest::Click(panel.Window(), IDC_POLL_OPEN);
    panel.OnRecvSubmit(kSubmitS1.c_str());
    wintest::Pump();
    // s3 leaves (seen at two refreshes), s2 renamed.
    panel.SyncParticipants({{"s1", "Ann"}, {"s2", "Robert"}});
    panel.SyncParticipants({{"s1", "Ann"}, {"s2", "Robert"}});
    EXPECT_EQ(wintest::ControlText(panel.Window(), IDC_POLL_STATUS), L"Polling Status: 2/3");
    EXPECT_EQ(panel.GetState(), CPolling::State::Open);
    panel.OnRecvSubmit(kSubmitS2.c_str());
    wintest::Pump();
    ASSERT_EQ(context.SentCount(), 2u);
    EXPECT_EQ(context.sent[1].type, 17);
    EXPECT_EQ(panel.GetState(), CPolling::State::Closed);
    EXPECT_EQ(context.log.back(), L"%sAll users submitted the polling, the polling is finished. \n");
    panel.SyncParticipants({});
    panel.OnRecvSubmit(kSubmitS2.c_str());
    wintest::Pump();
    EXPECT_EQ(context.SentCount(), 2u);
    EXPECT_EQ(panel.Tally().Record()[0].noAnswer.count("s3"), 1u);
}

// A coordinator's panel that did not open the poll counts nothing and never
// ends another's poll.
TEST_F(PollingPanel, APanelThatOpenedNoPollCountsNothing)
{
    CPolling panel(&context, nullptr, 1);
    panel.OnRecvSubmit(kSubmitS1.c_str());
    panel.OnRecvSubmit("PL_POLLING_SUBMIT: x");
    wintest::Pump();
    EXPECT_EQ(context.SentCount(), 0u);
    EXPECT_EQ(panel.GetState(), CPolling::State::Editing);
}

TEST_F(PollingPanel, TheAnsweringPanelAnswersAndSubmits)
{
    CPolling panel(&context, nullptr, 2);
    // Not a poll text, or one without questions: nothing shown (it could be
    // neither submitted nor closed), and no poll is active.
    for (const char* text : {"PL_POLLING_OPEN: ", "PL_POLLING_OPEN: \r\n", "PL_POLLING_OPEN: \r\nPL_ANS: x\r\n"}) {
        context.active = true;
        panel.ShowReceivedPoll(text);
        wintest::Pump();
        EXPECT_FALSE(IsWindowVisible(panel.Window())) << text;
        EXPECT_FALSE(context.active) << text;
    }
    // Packet 17 with the panel hidden sends nothing.
    panel.SubmitAnswers();
    wintest::Pump();
    EXPECT_EQ(context.SentCount(), 0u);

    panel.ShowReceivedPoll(Fixture("three_kinds.plp").c_str());
    wintest::Pump();
    ASSERT_TRUE(IsWindowVisible(panel.Window()));
    SetWindowPos(panel.Window(), HWND_TOP, 40, 40, 0, 0, SWP_NOSIZE);
    CPollTree& tree = *panel.Editor();
    auto& qs = tree.Tree().Root().children;
    ClickAt(tree.Window(), RowOf(tree, qs[0].get()));  // a question: nothing
    ClickAt(tree.Window(), RowOf(tree, qs[0]->children[0].get()));
    ClickAt(tree.Window(), RowOf(tree, qs[0]->children[2].get()));  // moves the choice
    ClickAt(tree.Window(), RowOf(tree, qs[0]->children[2].get()));  // and keeps it
    ClickAt(tree.Window(), RowOf(tree, qs[1]->children[0].get()));
    ClickAt(tree.Window(), RowOf(tree, qs[1]->children[1].get()));
    ClickAt(tree.Window(), RowOf(tree, qs[1]->children[1].get()));  // untick
    ClickAt(tree.Window(), RowOf(tree, qs[1]->children[2].get()));
    ClickAt(tree.Window(), RowOf(tree, qs[2]->children[0].get()));  // one click edits nothing
    EXPECT_EQ(tree.Editing(), CPollTree::EditMode::None);
    ClickAt(tree.Window(), RowOf(tree, qs[2]->children[0].get()), true);
    Type(tree, L"gr\u00fc\u00df");
    tree.Select(nullptr);
    wintest::SaveScreenshot(panel.Window(), L"PollingPanel", L"answering_choices_made");

    wintest::Click(panel.Window(), IDC_POLL_SUBMIT);
    ASSERT_EQ(context.SentCount(), 1u);
    EXPECT_EQ(context.sent[0].type, 16);
    EXPECT_EQ(context.sent[0].text, "PL_POLLING_SUBMIT: me1|Me \xC3\x84\r\nPL_RADIO_QIZ: 2\r\nPL_CHECK_QIZ: 0;2;\r\n"
                                    "PL_SHORT_QIZ: gr\xC3\xBC\xC3\x9F\r\n");
    EXPECT_FALSE(IsWindowVisible(panel.Window()));
    EXPECT_EQ(tree.Tree().QuestionCount(), 0u);
    EXPECT_EQ(context.log.back(), L"%sSubmit the answers. \n");

    // Closing the window submits as well; so does packet 17, once.
    panel.ShowReceivedPoll(Fixture("one_check.plp").c_str());
    wintest::Pump();
    SendMessageW(panel.Window(), WM_CLOSE, 0, 0);
    ASSERT_EQ(context.SentCount(), 2u);
    EXPECT_EQ(context.sent[1].text, "PL_POLLING_SUBMIT: me1|Me \xC3\x84\r\nPL_CHECK_QIZ: \r\n");
    panel.ShowReceivedPoll(Fixture("one_check.plp").c_str());
    wintest::Pump();
    ClickAt(tree.Window(), RowOf(tree, tree.Tree().Root().children[0]->children[1].get()));
    panel.SubmitAnswers();
    panel.SubmitAnswers();
    wintest::Pump();
    ASSERT_EQ(context.SentCount(), 3u);
    EXPECT_EQ(context.sent[2].text, "PL_POLLING_SUBMIT: me1|Me \xC3\x84\r\nPL_CHECK_QIZ: 1;\r\n");
}

TEST_F(PollingPanel, ATreeOfAThousandOptionsScrolls)
{
    CPolling panel(&context, nullptr, 2);
    std::string text = "PL_POLLING_OPEN: \r\nPL_CHECK_QIZ: Many\r\n";
    for (int i = 0; i < 1000; ++i)
        text += "PL_ANS: option " + std::to_string(i) + "\r\n";
    panel.ShowReceivedPoll((text + "\r\n").c_str());
    wintest::Pump();
    CPollTree& tree = *panel.Editor();
    tree.Repaint();
    EXPECT_EQ(tree.ScrollOffset(), 0);
    SendMessageW(tree.Window(), WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), 0);
    wintest::Pump();
    int wheel = tree.ScrollOffset();
    EXPECT_GT(wheel, 0);
    SendMessageW(tree.Window(), WM_VSCROLL, SB_PAGEDOWN, 0);
    EXPECT_GT(tree.ScrollOffset(), wheel);
    SendMessageW(tree.Window(), WM_VSCROLL, SB_BOTTOM, 0);
    SCROLLINFO si{};
    si.cbSize = sizeof(si);
    si.fMask = SIF_ALL;
    GetScrollInfo(tree.Window(), SB_VERT, &si);
    EXPECT_EQ(si.nPos, tree.ScrollOffset());
    EXPECT_GT(si.nMax, 1000 * 10);
    wintest::SaveScreenshot(panel.Window(), L"PollingPanel", L"thousand_options_bottom");
}

// "Save the questions?" before opening a modified poll: Yes, then the real
// save dialog; the file written matches its fixture and the poll goes out.
TEST_F(PollingPanel, SavingTheQuestionsBeforeOpeningWritesThePollFile)
{
    CPolling panel(&context, nullptr, 1);
    Show(panel);
    CPollTree& tree = *panel.Editor();
    ChooseKindAndNew(panel.Window(), 1);
    Type(tree, L"Q");
    Type(tree, L"A");
    wintest::Click(panel.Window(), IDC_POLL_ADD);
    Type(tree, L"B");
    wintest::Click(panel.Window(), IDC_POLL_OPEN);
    HWND ask = WaitForBox(L"Polling");
    ASSERT_TRUE(ask);
    EXPECT_EQ(context.SentCount(), 0u);
    Answer(ask, IDYES);
    std::string path = ::testing::TempDir() + "saved_one_check";
    DeleteFileA((path + ".plp").c_str());
    ChooseFile(path);
    ASSERT_TRUE(wintest::WaitFor([&] { return context.SentCount() == 1; }));
    std::ifstream in(path + ".plp", std::ios::binary);
    std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(saved, Fixture("one_check.plp"));
    EXPECT_EQ(context.sent[0].text, Fixture("one_check.plp"));
    EXPECT_FALSE(tree.Tree().modified);
    EXPECT_EQ(panel.GetState(), CPolling::State::Open);
}

// Leaving the meeting with a box open: the panel closes it, joins its thread
// and goes; nothing is sent afterwards.
TEST_F(PollingPanel, DestroyingThePanelClosesItsOpenBox)
{
    auto panel = std::make_unique<CPolling>(&context, nullptr, 1);
    Show(*panel);
    panel->Editor()->NewQuestion(kPollCheckQuestion);
    Type(*panel->Editor(), L"Q");
    Type(*panel->Editor(), L"A");
    wintest::Click(panel->Window(), IDC_POLL_OPEN);
    HWND ask = WaitForBox(L"Polling");
    ASSERT_TRUE(ask);
    panel.reset();
    EXPECT_FALSE(IsWindow(ask));
    wintest::PumpFor(200);
    EXPECT_EQ(context.SentCount(), 0u);
}

// The receive thread only posts: nothing of the panel changes until the main
// thread handles the message, and the status of a thousand asked fits.
TEST_F(PollingPanel, SubmitsFromTheReceiveThreadAreHandledOnTheMainThread)
{
    for (int i = 0; i < 1000; ++i)
        context.others["p" + std::to_string(1000 + i)] = "P" + std::to_string(i);
    context.others.erase("s1");
    context.others.erase("s2");
    context.others.erase("s3");
    CPolling panel(&context, nullptr, 1);
    Show(panel);
    ASSERT_TRUE(panel.Editor()->LoadPollFile(Fixture("one_check.plp")));
    wintest::Click(panel.Window(), IDC_POLL_OPEN);
    EXPECT_EQ(wintest::ControlText(panel.Window(), IDC_POLL_STATUS), L"Polling Status: 0/1000");
    std::thread receive([&] {
        for (int i = 0; i < 1000; ++i) {
            std::string submit = "PL_POLLING_SUBMIT: p" + std::to_string(1000 + i) + "|P\r\nPL_CHECK_QIZ: 1;\r\n";
            panel.OnRecvSubmit(submit.c_str());
        }
    });
    receive.join();
    EXPECT_EQ(panel.Tally().Answered(), 0u);
    EXPECT_EQ(panel.GetState(), CPolling::State::Open);
    wintest::Pump();
    EXPECT_EQ(panel.GetState(), CPolling::State::Closed);
    EXPECT_EQ(panel.Tally().Answered(), 1000u);
    EXPECT_EQ(panel.Tally().Record()[0].options[1].voters.size(), 1000u);
    ASSERT_EQ(context.SentCount(), 2u);
    EXPECT_EQ(context.sent[1].type, 17);
    wintest::SaveScreenshot(panel.Window(), L"PollingPanel", L"results_thousand_asked");
}

// The panel's controls notify it as focus moves (the kind list's CBN_SETFOCUS
// when the panel is activated): only a click or command ends an edit, so a
// new question started from outside keeps its box.
TEST_F(PollingPanel, FocusNotificationsDoNotEndAnEdit)
{
    CPolling panel(&context, nullptr, 1);
    Show(panel);
    panel.Editor()->NewQuestion(kPollRadioQuestion);
    SendMessageW(panel.Window(), WM_COMMAND, MAKEWPARAM(IDC_POLL_KIND, CBN_SETFOCUS),
                 reinterpret_cast<LPARAM>(GetDlgItem(panel.Window(), IDC_POLL_KIND)));
    SetFocus(GetDlgItem(panel.Window(), IDC_POLL_KIND));
    wintest::Pump();
    EXPECT_EQ(panel.Editor()->Editing(), CPollTree::EditMode::NewQuestion);
    EXPECT_EQ(panel.Editor()->Tree().QuestionCount(), 1u);
    Type(*panel.Editor(), L"Kept");
    EXPECT_EQ(panel.Editor()->Tree().Root().children[0]->text, "Kept");
}

// The results saved through the real dialog match their fixture; "New
// Polling" then asks nothing. Opening the ".plpr" shows the final results in
// state 3; opening a ".plp" fills the editor unmodified.
TEST_F(PollingPanel, ResultAndPollFilesThroughTheDialogs)
{
    context.others = {{"77", "Dave"}, {"1a2b", "Carol \xC3\x89"}, {"1A2B", "Bob"}};
    CPolling panel(&context, nullptr, 1);
    Show(panel);
    ASSERT_TRUE(panel.Editor()->LoadPollFile(Fixture("three_kinds.plp")));
    wintest::Click(panel.Window(), IDC_POLL_OPEN);
    std::string plpr = Fixture("three_kinds.plpr");
    size_t first = plpr.find("PL_POLLING_SUBMIT: ");
    size_t second = plpr.find("PL_POLLING_SUBMIT: ", first + 1);
    panel.OnRecvSubmit(plpr.substr(first, second - first - 2).c_str());
    panel.OnRecvSubmit(plpr.substr(second, plpr.size() - second - 2).c_str());
    wintest::Pump();
    wintest::Click(panel.Window(), IDC_POLL_END);
    ASSERT_EQ(panel.GetState(), CPolling::State::Closed);
    ASSERT_EQ(CPolling::ToolbarButtonState(IDC_POLL_TB_SAVE), 1);

    std::string results = ::testing::TempDir() + "saved_results";
    DeleteFileA((results + ".plpr").c_str());
    SendMessageW(panel.Window(), WM_COMMAND, IDC_POLL_TB_SAVE, 0);
    ChooseFile(results);
    ASSERT_TRUE(wintest::WaitFor([&] { return panel.ResultsSaved(); }));
    std::ifstream in(results + ".plpr", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), plpr);
    EXPECT_EQ(CPolling::ToolbarButtonState(IDC_POLL_TB_SAVE), 0);
    // Saved: "New Polling" asks nothing.
    wintest::Click(panel.Window(), IDC_POLL_NEW_POLL);
    EXPECT_EQ(panel.GetState(), CPolling::State::Editing);
    wintest::PumpFor(300);
    EXPECT_EQ(FindPopup(nullptr), nullptr);

    SendMessageW(panel.Window(), WM_COMMAND, IDC_POLL_TB_OPEN, 0);
    ChooseFile(results + ".plpr");
    ASSERT_TRUE(wintest::WaitFor([&] { return panel.GetState() == CPolling::State::Closed; }));
    EXPECT_TRUE(panel.ResultsSaved());
    EXPECT_EQ(panel.Tally().Asked(), 3u);
    EXPECT_EQ(panel.Tally().Record()[1].options[2].voters.size(), 2u);
    EXPECT_EQ(panel.Tally().Record()[0].noAnswer.size(), 2u);  // Carol chose nothing, Dave sent nothing
    wintest::SaveScreenshot(panel.Window(), L"PollingPanel", L"results_opened_from_file");

    wintest::Click(panel.Window(), IDC_POLL_NEW_POLL);
    ASSERT_EQ(panel.GetState(), CPolling::State::Editing);
    std::string poll = ::testing::TempDir() + "opened.plp";
    {
        std::ofstream out(poll, std::ios::binary);
        out << Fixture("three_kinds.plp");
    }
    SendMessageW(panel.Window(), WM_COMMAND, IDC_POLL_TB_OPEN, 0);
    ChooseFile(poll);
    ASSERT_TRUE(wintest::WaitFor([&] { return panel.Editor()->Tree().QuestionCount() == 3; }));
    EXPECT_FALSE(panel.Editor()->Tree().modified);
    EXPECT_EQ(panel.Editor()->Tree().BuildOpenText(true, nullptr), Fixture("three_kinds.plp"));
}

// A new item at the end of a long poll: the tree scrolls to it and the
// in-place box lies over the window's visible part.
TEST_F(PollingPanel, ANewItemAtTheEndOfALongPollIsEditedInView)
{
    CPolling panel(&context, nullptr, 1);
    Show(panel);
    std::string text = "PL_POLLING_OPEN: \r\nPL_CHECK_QIZ: Many\r\n";
    for (int i = 0; i < 300; ++i)
        text += "PL_ANS: option " + std::to_string(i) + "\r\n";
    CPollTree& tree = *panel.Editor();
    ASSERT_TRUE(tree.LoadPollFile(text + "\r\n"));
    tree.Select(tree.Tree().Root().children[0]->children.back().get());
    wintest::Click(panel.Window(), IDC_POLL_ADD);
    ASSERT_EQ(tree.Editing(), CPollTree::EditMode::NewOption);
    EXPECT_GT(tree.ScrollOffset(), 0);
    RECT box{}, client{};
    GetWindowRect(tree.EditBox(), &box);
    MapWindowPoints(nullptr, tree.Window(), reinterpret_cast<POINT*>(&box), 2);
    GetClientRect(tree.Window(), &client);
    EXPECT_GE(box.top, 0);
    EXPECT_LE(box.bottom, client.bottom);
    Type(tree, L"the last");
    EXPECT_EQ(tree.Tree().Root().children[0]->children.back()->text, "the last");
    EXPECT_EQ(tree.Tree().Root().children[0]->children.size(), 301u);
}
