// The log viewer under Wine: the real dialog on its own thread over log files
// written by hand and by the running logger, driven by its menu commands and
// list notifications, with a screenshot of each main state. Also the tray's
// two commands that open the viewer and the options dialog.
#include "core/app/LogViewer_win.h"

#include "core/app/Tray.h"
#include "core/app/res/TrayDialogs.h"
#include "core/app/res/resource.h"
#include "core/app/tests/ManagerFakes.h"
#include "core/base/DHLog.h"
#include "core/base/ThreadMessages.h"
#include "core/base/WindowUtil.h"
#include "tests/support/AppLogFile_win.h"
#include "tests/support/ThreadCount_win.h"
#include "tests/support/WindowTest_win.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

using namespace wintest;

namespace {

// Every kind of line the file may hold: the logger's tags and none, meeting
// events with role and user, CRLF and LF, a line of 10,000 bytes, invalid
// UTF-8, lines with too few TABs, a chat line and the logger's DEBUG.
const std::string kHandLog =
    "12- 9-2026 09:05\tINFO\tstarted\r\n"
    "12- 9-2026 09:05\tWARN\tHost\tAlice\tjoined late\r\n"
    "12- 9-2026 09:06\tERROR\ttunnel closed\n"
    "12- 9-2026 09:06\tTRACE\tParticipant\tBob\tasked for control\n"
    "12- 9-2026 09:06\tplain line with one tab\n"
    "no tabs at all\n"
    "12- 9-2026 09:07\tDEBUG\tHost\tAlice\tframe 12\n"
    "12- 9-2026 09:07\tDEBUGWARN\tslow frame\n"
    "12- 9-2026 09:07\tINFO\tbad bytes \xff\xfe\xc3 here\n"
    "12- 9-2026 09:08\tINFO\t" + std::string(10000, 'L') + "\r\n"
    "12- 9-2026 09:09\tWARN\tParticipant\tBob\t[Chat Log] Bob: hello all\r\n";

std::string TempFile(const char* name)
{
    char temp[MAX_PATH + 1] = "";
    DWORD n = GetTempPathA(sizeof(temp), temp);
    return std::string(temp, n) + name;
}

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

class LogViewerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = TempFile("corvisk_log_viewer_test.txt");
        WriteFile(path, kHandLog);
        viewer = std::make_unique<CLogViewer>(GetModuleHandleW(nullptr), path);
    }
    void TearDown() override
    {
        viewer.reset();
        DeleteFileA(path.c_str());
    }
    HWND OpenViewer()
    {
        viewer->Open();
        EXPECT_TRUE(WaitFor([&] { return viewer->Window() != nullptr; }));
        HWND hwnd = viewer->Window();
        list = FindControl(hwnd, IDC_LOG_LIST);
        return hwnd;
    }
    int Rows() { return ListView_GetItemCount(list); }
    std::wstring Cell(int row, int column)
    {
        wchar_t text[4096] = L"";
        ListView_GetItemText(list, row, column, text, 4096);
        return text;
    }
    std::vector<std::wstring> Column(int column)
    {
        std::vector<std::wstring> cells;
        for (int row = 0; row < Rows(); ++row)
            cells.push_back(Cell(row, column));
        return cells;
    }
    void Command(UINT id) { SendMessageW(viewer->Window(), WM_COMMAND, id, 0); }
    // The menu's items as the viewer prepares them when the pop-up opens.
    std::vector<std::wstring> PopupItems(HMENU popup, std::vector<bool>* checked = nullptr)
    {
        SendMessageW(viewer->Window(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 0);
        std::vector<std::wstring> items;
        for (int i = 0; i < GetMenuItemCount(popup); ++i) {
            wchar_t text[128] = L"";
            GetMenuStringW(popup, i, text, 128, MF_BYPOSITION);
            items.push_back(text);
            if (checked)
                checked->push_back((GetMenuState(popup, i, MF_BYPOSITION) & MF_CHECKED) != 0);
        }
        return items;
    }
    HMENU Action() { return GetSubMenu(GetMenu(viewer->Window()), 1); }

    std::string path;
    std::unique_ptr<CLogViewer> viewer;
    HWND list = nullptr;
};

} // namespace

TEST_F(LogViewerTest, OpensWithColumnsRowsAndLayout)
{
    HWND hwnd = OpenViewer();
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(Text(hwnd), L"Log Viewer");
    EXPECT_EQ(ControlText(hwnd, IDC_LOG_DETAILS_LABEL), L"Information:");
    EXPECT_TRUE(GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED);

    HWND header = ListView_GetHeader(list);
    std::vector<std::wstring> titles;
    for (int i = 0; i < Header_GetItemCount(header); ++i) {
        wchar_t text[64] = L"";
        HDITEMW item{};
        item.mask = HDI_TEXT;
        item.pszText = text;
        item.cchTextMax = 64;
        Header_GetItem(header, i, &item);
        titles.push_back(text);
    }
    EXPECT_EQ(titles, (std::vector<std::wstring>{L"Level", L"Time", L"User", L"Role", L"Information"}));

    // Every line with two TABs is a row, in file order; the long line is one
    // row, and the third field is the role, the fourth the user.
    ASSERT_EQ(Rows(), 9);
    EXPECT_EQ(Cell(1, 2), L"Alice");
    EXPECT_EQ(Cell(1, 3), L"Host");
    EXPECT_EQ(Cell(7, 4), std::wstring(kLogInfoChars, L'L'));
    EXPECT_EQ(Cell(6, 4), L"bad bytes \xfffd\xfffd\xfffd here");
    // Level icons: error, warning, information; the debug levels show none.
    ASSERT_NE(ListView_GetImageList(list, LVSIL_SMALL), nullptr);
    EXPECT_EQ(ImageList_GetImageCount(ListView_GetImageList(list, LVSIL_SMALL)), 3);
    const struct {
        int row, image;
    } icons[] = {{0, 2}, {1, 1}, {2, 0}, {3, 2}, {4, I_IMAGENONE}, {5, I_IMAGENONE}};
    for (const auto& icon : icons) {
        LVITEMW item{};
        item.mask = LVIF_IMAGE;
        item.iItem = icon.row;
        ListView_GetItem(list, &item);
        EXPECT_EQ(item.iImage, icon.image) << icon.row;
    }
    // Centred in the work area.
    RECT work, frame;
    GetWorkArea(&work);
    GetWindowRect(hwnd, &frame);
    EXPECT_NEAR((frame.left + frame.right) / 2, (work.left + work.right) / 2, 2);
    EXPECT_NEAR((frame.top + frame.bottom) / 2, (work.top + work.bottom) / 2, 2);
    // The first row is selected and its message shown.
    EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_SELECTED), 0);
    EXPECT_EQ(ControlText(hwnd, IDC_LOG_DETAILS), L"started");

    // List, label and details box follow the client size.
    RECT client, box;
    GetClientRect(hwnd, &client);
    int w = client.right - 12, h = client.bottom - 12, listHeight = ((h - 24) * 23) / 33;
    GetWindowRect(list, &box);
    ScreenRectToClient(hwnd, &box);
    EXPECT_EQ(box.left, 6);
    EXPECT_EQ(box.top, 6);
    EXPECT_EQ(box.right - box.left, w);
    EXPECT_EQ(box.bottom - box.top, listHeight);
    GetWindowRect(FindControl(hwnd, IDC_LOG_DETAILS), &box);
    ScreenRectToClient(hwnd, &box);
    EXPECT_EQ(box.top, listHeight + 30);
    EXPECT_EQ(box.bottom - box.top, h - listHeight - 24);
    MINMAXINFO limits{};
    SendMessageW(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    EXPECT_EQ(limits.ptMinTrackSize.x, 600);
    EXPECT_EQ(limits.ptMinTrackSize.y, 540);
    PumpFor(200);
    SaveScreenshot(hwnd, L"LogViewer", L"all_lines");
}

TEST_F(LogViewerTest, LevelFiltersAndTheFilterMenu)
{
    OpenViewer();
    const struct {
        UINT command;
        std::vector<std::wstring> infos;
    } cases[] = {
        {IDM_LOG_FILTER_WARN, {L"joined late", L"[Chat Log] Bob: hello all"}},
        {IDM_LOG_FILTER_INFO, {L"started", L"asked for control", L"bad bytes \xfffd\xfffd\xfffd here",
                               std::wstring(kLogInfoChars, L'L')}},
        {IDM_LOG_FILTER_ERROR, {L"tunnel closed"}},
        {IDM_LOG_FILTER_DEBUGWARN, {L"slow frame"}},
        {IDM_LOG_FILTER_DEBUGINFO, {}},
    };
    for (const auto& c : cases) {
        Command(c.command);
        EXPECT_EQ(Column(4), c.infos) << c.command;
        if (c.command == IDM_LOG_FILTER_WARN) {
            PumpFor(200);
            SaveScreenshot(viewer->Window(), L"LogViewer", L"filter_warning");
        }
    }
    Command(IDM_LOG_FILTER_ALL);
    EXPECT_EQ(Rows(), 9);  // DEBUG lines only under ALL

    // The debug items follow the logger's threshold: Debug Error from 5,
    // Debug Warn from 6, Debug Info from 7.
    HMENU filter = GetSubMenu(Action(), 1);
    const int saved = DHLog::Instance().Threshold();
    const struct {
        int threshold;
        std::vector<std::wstring> items;
    } menus[] = {
        {4, {L"Info", L"Warning", L"Error", L"ALL"}},
        {5, {L"Info", L"Warning", L"Error", L"Debug Error", L"ALL"}},
        {6, {L"Info", L"Warning", L"Error", L"Debug Error", L"Debug Warn", L"ALL"}},
        {8, {L"Info", L"Warning", L"Error", L"Debug Error", L"Debug Warn", L"Debug Info", L"ALL"}},
    };
    for (const auto& m : menus) {
        DHLog::Instance().SetThreshold(m.threshold);
        std::vector<bool> checked;
        EXPECT_EQ(PopupItems(filter, &checked), m.items) << m.threshold;
        EXPECT_TRUE(checked.back()) << "ALL is the filter in use";
    }
    Command(IDM_LOG_FILTER_ERROR);
    std::vector<bool> checked;
    PopupItems(filter, &checked);
    EXPECT_EQ(checked, (std::vector<bool>{false, false, true, false, false, false, false}));
    DHLog::Instance().SetThreshold(saved);
}

TEST_F(LogViewerTest, UserFilterKeepsTheUsersMet)
{
    OpenViewer();
    // Opening "Action" rebuilds its "User Filter" pop-up.
    EXPECT_EQ(PopupItems(Action()), (std::vector<std::wstring>{L"Refresh", L"Filter", L"User Filter"}));
    HMENU users = GetSubMenu(Action(), 2);
    std::vector<std::wstring> items;
    for (int i = 0; i < GetMenuItemCount(users); ++i) {
        wchar_t text[64] = L"";
        GetMenuStringW(users, i, text, 64, MF_BYPOSITION);
        items.push_back(text);
    }
    EXPECT_EQ(items, (std::vector<std::wstring>{L"Alice", L"Bob", L"All Users"}));
    EXPECT_EQ(GetMenuItemID(users, 1), static_cast<UINT>(IDM_LOG_USER_FIRST + 1));

    Command(IDM_LOG_USER_FIRST + 1);  // Bob
    EXPECT_EQ(Column(2), (std::vector<std::wstring>{L"Bob", L"Bob"}));
    SendMessageW(viewer->Window(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(Action()), 0);
    users = GetSubMenu(Action(), 2);
    EXPECT_EQ(GetMenuItemCount(users), 3) << "the users met stay listed while one is chosen";
    EXPECT_TRUE(GetMenuState(users, 1, MF_BYPOSITION) & MF_CHECKED);
    // Changing the level keeps the user.
    Command(IDM_LOG_FILTER_WARN);
    EXPECT_EQ(Column(4), std::vector<std::wstring>{L"[Chat Log] Bob: hello all"});
    // A command past the users met changes nothing.
    Command(IDM_LOG_USER_FIRST + 7);
    EXPECT_EQ(Rows(), 1);
    PumpFor(200);
    SaveScreenshot(viewer->Window(), L"LogViewer", L"user_bob");
    Command(IDM_LOG_USER_ALL);
    Command(IDM_LOG_FILTER_ALL);
    EXPECT_EQ(Rows(), 9);
}

TEST_F(LogViewerTest, DetailsShowTheSelectedLine)
{
    HWND hwnd = OpenViewer();
    ListView_SetItemState(list, 8, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    EXPECT_EQ(ControlText(hwnd, IDC_LOG_DETAILS), L"[Chat Log]\r\nBob: hello all");
    PumpFor(200);
    SaveScreenshot(hwnd, L"LogViewer", L"chat_details");
    ListView_SetItemState(list, 7, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_EQ(ControlText(hwnd, IDC_LOG_DETAILS), std::wstring(2600, L'L'));
}

TEST_F(LogViewerTest, RefreshReadsTheFileTheLoggerIsWriting)
{
    // The running logger holds its file open for writing.
    AppLogFile log("corvisk_log_viewer_live");
    DHLog& logger = DHLog::Instance();
    logger.Print(DHLOG_CAT_STARTUP, DHLOG_WARN, true, "first warning\n");
    viewer = std::make_unique<CLogViewer>(GetModuleHandleW(nullptr), log.Path());
    OpenViewer();
    Command(IDM_LOG_FILTER_WARN);
    EXPECT_EQ(Column(4), std::vector<std::wstring>{L"first warning"});
    logger.Print(DHLOG_CAT_STARTUP, DHLOG_WARN, true, "second warning\n");
    Command(IDM_LOG_REFRESH);
    EXPECT_EQ(Column(4), (std::vector<std::wstring>{L"first warning", L"second warning"}));
}

TEST_F(LogViewerTest, OneViewerAndANewOneAfterClosing)
{
    size_t threadsBefore = ThreadsOfThisProcess();
    HWND first = OpenViewer();
    viewer->Open();
    viewer->Open();
    PumpFor(300);
    EXPECT_EQ(viewer->Window(), first);
    int viewers = 0;
    EnumThreadWindows(GetWindowThreadProcessId(first, nullptr), [](HWND hwnd, LPARAM count) -> BOOL {
        wchar_t title[64] = L"";
        GetWindowTextW(hwnd, title, 64);
        *reinterpret_cast<int*>(count) += std::wstring(title) == L"Log Viewer";
        return TRUE;
    }, reinterpret_cast<LPARAM>(&viewers));
    EXPECT_EQ(viewers, 1);

    // Closing ends the dialog and its thread; no hidden viewer stays.
    Command(IDM_LOG_EXIT);
    EXPECT_TRUE(WaitFor([&] { return viewer->Window() == nullptr; }));
    EXPECT_FALSE(IsWindow(first));
    EXPECT_TRUE(WaitFor([&] { return ThreadsOfThisProcess() <= threadsBefore; }, 3000));

    // The next one opens with its own menu, whole.
    HWND second = OpenViewer();
    ASSERT_NE(second, nullptr);
    HMENU menu = GetMenu(second);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(GetMenuItemCount(menu), 2);
    EXPECT_EQ(GetMenuItemCount(GetSubMenu(menu, 1)), 3);
    EXPECT_EQ(Rows(), 9);
    SendMessageW(second, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitFor([&] { return viewer->Window() == nullptr; }));
}

TEST_F(LogViewerTest, MissingFileLeavesAnEmptyList)
{
    DeleteFileA(path.c_str());
    HWND hwnd = OpenViewer();
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(Rows(), 0);
    Command(IDM_LOG_REFRESH);
    EXPECT_EQ(Rows(), 0);
}

namespace {

class TrayCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        manager = MakeFakeManager(log);
        logPath = TempFile("corvisk_tray_log_test.txt");
        WriteFile(logPath, kHandLog);
        manager->logPath = logPath;
        manager->tray = new CTray(manager.get());
    }
    void TearDown() override
    {
        DeleteAndClear(manager->tray);
        manager.reset();
        DeleteFileA(logPath.c_str());
    }
    CallLog log;
    std::unique_ptr<CManager> manager;
    std::string logPath;
};

} // namespace

TEST_F(TrayCommandsTest, ViewLogAndSettingsOpenTheirWindows)
{
    HWND tray = manager->tray->Window();
    SendMessageW(tray, WM_COMMAND, IDM_TRAY_VIEW_LOG, 0);
    ASSERT_NE(manager->tray->LogViewer(), nullptr);
    ASSERT_TRUE(WaitFor([&] { return manager->tray->LogViewer()->Window() != nullptr; }));
    EXPECT_EQ(ListView_GetItemCount(FindControl(manager->tray->LogViewer()->Window(), IDC_LOG_LIST)), 9);

    // A frame's Settings reach the tray through the main thread.
    EXPECT_TRUE(manager->OnThreadMessage(PLM_OPEN_OPTIONS, 0, 0));
    EXPECT_TRUE(WaitFor([&] { return log.Has("OpenOptions"); }, 3000));
}
