// The run sequence's branches under Wine: the first window for each launch
// mode against a test double of the appliance whose every answer the test
// chooses, the proxy-authentication rounds, the join failures with their
// message boxes and log lines, and the steps that read the registry and the
// file system.
#include "core/app/tests/ManagerFakes.h"

#include "core/app/LaunchParameters.h"
#include "core/app/RunSteps.h"
#include "core/base/LogSetup.h"
#include "core/base/Registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <fstream>
#include <iterator>
#include <memory>

namespace {

// Reads and dismisses every message box this process shows, from a thread of
// its own: the manager's boxes are modal on the thread under test.
class BoxWatcher {
public:
    BoxWatcher() : m_thread([this] { Watch(); }) {}
    ~BoxWatcher()
    {
        m_stop = true;
        m_thread.join();
    }
    std::vector<std::wstring> Texts()
    {
        std::lock_guard<std::mutex> g(m_lock);
        return m_texts;
    }
    std::vector<std::wstring> Captions()
    {
        std::lock_guard<std::mutex> g(m_lock);
        return m_captions;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_texts.clear();
        m_captions.clear();
    }

private:
    static BOOL CALLBACK Find(HWND hwnd, LPARAM lParam)
    {
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        wchar_t cls[16] = L"";
        GetClassNameW(hwnd, cls, 16);
        if (pid == GetCurrentProcessId() && std::wstring(cls) == L"#32770" && IsWindowVisible(hwnd))
            reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hwnd);
        return TRUE;
    }
    // Every visible box is told OK on every round (a lost message never
    // leaves a test waiting); its text is kept when it first shows.
    void Watch()
    {
        std::vector<HWND> previous;
        while (!m_stop) {
            std::vector<HWND> boxes;
            EnumWindows(Find, reinterpret_cast<LPARAM>(&boxes));
            for (HWND box : boxes) {
                if (std::find(previous.begin(), previous.end(), box) == previous.end()) {
                    wchar_t text[512] = L"", caption[128] = L"";
                    GetDlgItemTextW(box, 0xFFFF, text, 512);  // the box's static text
                    GetWindowTextW(box, caption, 128);
                    std::lock_guard<std::mutex> g(m_lock);
                    m_texts.push_back(text);
                    m_captions.push_back(caption);
                }
                PostMessageW(box, WM_COMMAND, IDOK, 0);
            }
            previous = boxes;
            Sleep(20);
        }
    }

    std::mutex m_lock;
    std::vector<std::wstring> m_texts;
    std::vector<std::wstring> m_captions;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

std::string TempFolder()
{
    char temp[MAX_PATH + 1] = "";
    DWORD n = GetTempPathA(sizeof(temp), temp);
    return std::string(temp, n);
}

std::string ReadFileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class FirstWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto a = std::make_unique<FakeAppliance>(log);
        appliance = a.get();
        ManagerServices s;
        s.transport = std::make_unique<FakeTransport>(log);
        s.appliance = std::move(a);
        manager = std::make_unique<CManager>(GetModuleHandleW(nullptr), std::move(s));
        manager->mainThreadId = GetCurrentThreadId();
        manager->applianceHost = "vpn.example.com";
        manager->ownDisplayName = L"Ann";
        loginWindow = CreateWindowExW(0, L"STATIC", L"login", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                                      nullptr);
        appliance->loginWindow = loginWindow;
        logDir = TempFolder() + "corvisk_run_test";
        logPath = StartAppLogIn(DHLog::Instance(), logDir);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    void TearDown() override
    {
        manager.reset();
        DestroyWindow(loginWindow);
    }
    bool Open(int mode)
    {
        manager->launchMode = mode;
        return manager->OpenFirstWindow();
    }
    int Count(const std::string& call)
    {
        std::lock_guard<std::mutex> g(log.lock);
        return static_cast<int>(std::count(log.calls.begin(), log.calls.end(), call));
    }
    bool JoinPosted()
    {
        MSG msg;
        return PeekMessageW(&msg, nullptr, PLM_JOIN_MEETING, PLM_JOIN_MEETING, PM_REMOVE) != FALSE;
    }

    CallLog log;
    FakeAppliance* appliance = nullptr;
    std::unique_ptr<CManager> manager;
    HWND loginWindow = nullptr;
    std::string logDir, logPath;
};

} // namespace

// A link launch whose session test fails (an expired session among them)
// opens the login window as a plain start, never the meeting list.
TEST_F(FirstWindow, BrowserSessionThatFailsOpensTheLogin)
{
    for (int result : {33, 24, 11}) {
        log.Clear();
        appliance->sessionTestResults = {result};
        EXPECT_TRUE(Open(kLaunchBrowserSession)) << result;
        EXPECT_EQ(manager->launchMode, 0) << result;
        EXPECT_TRUE(log.Has("CreateLogin")) << result;
        EXPECT_FALSE(log.Has("CreateMeetingList 1")) << result;
        EXPECT_EQ(manager->openedFromList, 0);
    }
    log.Clear();
    appliance->sessionTestResults = {0};
    EXPECT_TRUE(Open(kLaunchBrowserSession));
    EXPECT_EQ(manager->launchMode, kLaunchBrowserSession);
    EXPECT_TRUE(log.Has("CreateMeetingList 1"));
    EXPECT_FALSE(log.Has("CreateLogin"));
    EXPECT_EQ(manager->openedFromList, 1);
}

// Mode 3: a session that holds posts the join; one that does not logs in.
TEST_F(FirstWindow, SessionAndMeetingJoinsOrLogsIn)
{
    appliance->sessionTestResults = {0};
    EXPECT_TRUE(Open(kLaunchSessionMeeting));
    EXPECT_TRUE(JoinPosted());
    EXPECT_FALSE(log.Has("CreateLogin"));

    appliance->sessionTestResults = {33};
    EXPECT_TRUE(Open(kLaunchSessionMeeting));
    EXPECT_FALSE(JoinPosted());
    EXPECT_EQ(manager->launchMode, 0);
    EXPECT_TRUE(log.Has("CreateLogin"));
}

// Cancel in the proxy dialog ends the run at once in every mode that tests.
TEST_F(FirstWindow, ProxyDialogCancelEndsTheRun)
{
    BoxWatcher boxes;
    for (int mode : {kLaunchBrowserSession, kLaunchMeetingLink, kLaunchSessionMeeting}) {
        log.Clear();
        appliance->sessionTestResults = {19};
        appliance->meetingTestResults = {19};
        appliance->proxyDialogAnswers = {false};
        EXPECT_FALSE(Open(mode)) << mode;
        EXPECT_EQ(Count("SessionTest") + Count("MeetingTest"), 1) << mode;
        EXPECT_EQ(Count("AskProxyCredentials"), 1) << mode;
        EXPECT_FALSE(log.Has("CreateLogin")) << mode;
        EXPECT_FALSE(log.Has("RunJoinWorker")) << mode;
        EXPECT_FALSE(JoinPosted()) << mode;
    }
    Sleep(100);
    EXPECT_TRUE(boxes.Texts().empty());
}

// Each 19 asks for credentials and tries again; the third 19 gives up with
// "Proxy Authentication Failed" and the run ends. Credentials that work on
// the second or third try go on as if the proxy had never asked.
TEST_F(FirstWindow, ProxyRefusalsAreTriedThreeTimes)
{
    BoxWatcher boxes;
    appliance->sessionTestResults = {19, 19, 19};
    appliance->proxyDialogAnswers = {true, true};
    EXPECT_FALSE(Open(kLaunchBrowserSession));
    EXPECT_EQ(Count("SessionTest"), 3);
    EXPECT_EQ(Count("AskProxyCredentials"), 2);
    EXPECT_FALSE(log.Has("CreateLogin"));
    EXPECT_FALSE(log.Has("CreateMeetingList 1"));
    ASSERT_EQ(boxes.Texts().size(), 1u);
    EXPECT_EQ(boxes.Texts()[0], L"Proxy Authentication Failed");
    EXPECT_EQ(boxes.Captions()[0], L"Warn");

    struct {
        std::deque<int> results;
        int dialogs;
    } recovered[] = {{{19, 0}, 1}, {{19, 19, 0}, 2}};
    for (auto& c : recovered) {
        log.Clear();
        boxes.Clear();
        appliance->sessionTestResults = c.results;
        appliance->proxyDialogAnswers = {true, true};
        EXPECT_TRUE(Open(kLaunchBrowserSession));
        EXPECT_EQ(Count("AskProxyCredentials"), c.dialogs);
        EXPECT_TRUE(log.Has("CreateMeetingList 1"));
        EXPECT_TRUE(boxes.Texts().empty());
    }
}

// Mode 4 is a plain login whose server field holds "host:port".
TEST_F(FirstWindow, PresetServerFillsTheServerField)
{
    manager->applianceHost = "vpn.example.com";
    manager->appliancePort = 8443;
    EXPECT_TRUE(Open(kLaunchPresetServer));
    EXPECT_EQ(manager->launchMode, 0);
    EXPECT_TRUE(log.Has("CreateLogin"));
    EXPECT_TRUE(log.Has("SetLoginServer vpn.example.com:8443"));
    EXPECT_LT(log.IndexOf("CreateLogin"), log.IndexOf("SetLoginServer vpn.example.com:8443"));
    EXPECT_FALSE(log.Has("SessionTest"));
}

// A meeting link whose meeting is missing says so and logs in.
TEST_F(FirstWindow, MeetingLinkToAMissingMeetingOpensTheLogin)
{
    BoxWatcher boxes;
    appliance->meetingTestResults = {60};
    EXPECT_TRUE(Open(kLaunchMeetingLink));
    EXPECT_FALSE(log.Has("RunJoinWorker"));
    EXPECT_TRUE(log.Has("CreateLogin"));
    EXPECT_EQ(manager->launchMode, 0);
    ASSERT_EQ(boxes.Texts().size(), 1u);
    EXPECT_EQ(boxes.Texts()[0], L"The meeting does not exist, you can join another meeting.");
    EXPECT_EQ(boxes.Captions()[0], L"Warning");
}

// The join worker's failure codes: each one's box text and log line, the
// lines with "%s" carrying the event prefix without a role; a code outside
// the table shows and logs nothing; every failure opens the login.
TEST_F(FirstWindow, JoinFailuresShowTheirTextAndLogWithTheEventPrefix)
{
    struct {
        int code;
        const wchar_t* box;  // null: no box
        const char* line;    // null: no log line
    } cases[] = {
        {24, L"No server response.", "Login: No server response.\n"},
        {11, L"Login Failed.", "Login Failed.\n"},
        {52, L"Create the Secure Parlemo session Failed.", nullptr},
        {33, L"Session is expired, you need login again.", "\tAnn\tSession is expired, you need login again.\n"},
        {50, L"The meeting room is full.", "\tAnn\tJoin the meeting failed, the meeting room is full.\n"},
        {51, L"Cannot find the portal.", "\tAnn\tJoin the meeting failed, cannot find the portal.\n"},
        {55, L"Cannot find the ParlemoSettings.",
         "\tAnn\tJoin the meeting failed, cannot find the ParlemoSettings.\n"},
        {99, nullptr, nullptr},
    };
    BoxWatcher boxes;
    for (const auto& c : cases) {
        log.Clear();
        boxes.Clear();
        logPath = StartAppLogIn(DHLog::Instance(), logDir);  // a fresh file per case
        manager->role = 1;
        manager->title = 1;
        appliance->meetingTestResults = {0};
        appliance->joinResult = c.code;
        EXPECT_TRUE(Open(kLaunchMeetingLink)) << c.code;
        EXPECT_TRUE(log.Has("RunJoinWorker")) << c.code;
        EXPECT_EQ(manager->launchMode, 0) << c.code;
        EXPECT_TRUE(log.Has("CreateLogin")) << c.code;
        EXPECT_EQ(manager->role.load(), 0) << c.code;  // reset before the worker ran
        Sleep(100);  // a box that should not come has its chance
        std::vector<std::wstring> texts = boxes.Texts();
        if (c.box) {
            ASSERT_EQ(texts.size(), 1u) << c.code;
            // Static controls may keep or drop a trailing line feed.
            std::wstring shown = texts[0];
            while (!shown.empty() && (shown.back() == L'\n' || shown.back() == L'\r'))
                shown.pop_back();
            EXPECT_EQ(shown, c.box) << c.code;
            EXPECT_EQ(boxes.Captions()[0], L"Warning") << c.code;
        } else {
            EXPECT_TRUE(texts.empty()) << c.code;
        }
        std::string file = ReadFileText(logPath);
        if (c.line) {
            EXPECT_NE(file.find(c.line), std::string::npos) << c.code << ": " << file;
        } else {
            for (const auto& other : cases) {
                if (other.line) {
                    EXPECT_EQ(file.find(other.line), std::string::npos) << c.code << ": " << file;
                }
            }
        }
    }
    // A worker that joined: no box, no login, the loop goes on.
    log.Clear();
    boxes.Clear();
    appliance->meetingTestResults = {0};
    appliance->joinResult = 0;
    EXPECT_TRUE(Open(kLaunchMeetingLink));
    EXPECT_FALSE(log.Has("CreateLogin"));
    EXPECT_EQ(manager->launchMode, kLaunchMeetingLink);
}

// The login window that cannot be made ends the run.
TEST_F(FirstWindow, LoginThatCannotBeMadeEndsTheRun)
{
    appliance->loginOk = false;
    appliance->loginWindow = nullptr;
    for (int mode : {static_cast<int>(kLaunchLogin), static_cast<int>(kLaunchPresetServer)})
        EXPECT_FALSE(Open(mode)) << mode;
}

TEST(RunSteps, TemporaryCopyName)
{
    const std::string temp = TempFolder();
    ASSERT_FALSE(temp.empty());
    ASSERT_EQ(temp.back(), '\\');
    // The copy must exist for its long and short names to be looked up.
    const std::string copy = temp + "Corvisk.exe";
    std::ofstream(copy, std::ios::binary) << "MZ";
    char shortName[MAX_PATH] = "";
    ASSERT_GT(GetShortPathNameA(copy.c_str(), shortName, MAX_PATH), 0u);
    std::string upper = copy;
    CharUpperBuffA(&upper[0], static_cast<DWORD>(upper.size()));

    struct {
        std::string self;
        const char* name;
    } cases[] = {
        {"C:\\Program Files\\Quenlore\\Corvisk.exe", "Corvisk.exe"},
        {temp + "Corvisk(1).exe", "Corvisk.exe"},  // the copy's copy goes back to the first name
        {temp + "Other.exe", "Corvisk.exe"},
        {"", "Corvisk.exe"},
        {copy, "Corvisk(1).exe"},
        {upper, "Corvisk(1).exe"},      // paths compare without case
        {shortName, "Corvisk(1).exe"},  // and in their long form
    };
    for (const auto& c : cases)
        EXPECT_EQ(TempCopyNameFor(temp, c.self), temp + c.name) << c.self;
    DeleteFileA(copy.c_str());

    // This test program is not the copy.
    EXPECT_EQ(TempCopyName(), temp + "Corvisk.exe");
}

// The flag a package installer leaves, read from the user's settings key.
TEST(RunSteps, MsiInstallFlag)
{
    RegDeleteKeyTree(HKEY_CURRENT_USER, kSettingsKey, "msiinstall");
    EXPECT_EQ(ReadMsiInstallFlag(), 0);  // missing
    for (DWORD v : {0u, 1u, 2u}) {
        ASSERT_TRUE(RegWriteDword(kSettingsKey, "msiinstall", v));
        EXPECT_EQ(ReadMsiInstallFlag(), v != 0 ? 1 : 0) << v;
    }
    ASSERT_TRUE(RegWriteString(HKEY_CURRENT_USER, kSettingsKey, "msiinstall", "1"));
    EXPECT_EQ(ReadMsiInstallFlag(), 0);  // not a DWORD
    RegDeleteKeyTree(HKEY_CURRENT_USER, kSettingsKey, "msiinstall");
}
