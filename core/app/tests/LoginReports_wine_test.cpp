// How the real login window reports what the appliance answered, under Wine
// against the local appliance, which the test steers between steps through
// its control interface (scenario, faults, recorded requests): the status
// line, the log line, the message to the main thread and the captcha page of
// each answer on the host, join and login roads; when the appliance's
// certificate is checked; the server list after the profiles changed; the
// wait cursor while a worker runs.
#include "core/app/tests/SteeredLoginFixture_win.h"

#include <fstream>
#include <sstream>

using logintest::ApplianceControl;
using logintest::CountRequests;
using logintest::Env;
using logintest::Wide;

namespace {

const char kCheckTarget[] = "/cgi-bin/welcome?standalone=true&checkcert=true";
const char kDomainsTarget[] = "/cgi-bin/userLogin?callerRole=1&QueryDomain=true";

std::string Narrow(const std::wstring& w)
{
    return std::string(w.begin(), w.end());
}


class LoginReportsTest : public logintest::SteeredLoginTest {
protected:
    LoginReportsTest() : SteeredLoginTest("corvisk_login_reports") {}

    bool WaitIdle() { return wintest::WaitFor([&] { return !login->WorkerRunning(); }, 30000); }
    bool WaitStatus(const std::wstring& text)
    {
        return wintest::WaitFor([&] { return Status() == text; }, 20000);
    }
    // Host or Join on the server page; returns when the worker's result was taken.
    void Press(int button)
    {
        ASSERT_EQ(login->CurrentPage(), PageId::Server);
        wintest::Click(Page(), button);
        ASSERT_TRUE(WaitIdle());
        wintest::Pump();
    }
    // A new server page (Cancel on the credentials page), as after each road.
    void BackToServerPage()
    {
        if (login->CurrentPage() == PageId::Credentials)
            wintest::Click(Page(), IDCANCEL);
        ASSERT_EQ(login->CurrentPage(), PageId::Server);
        Server(ServerText());
    }
    bool ServerPageUsable()
    {
        return login->CurrentPage() == PageId::Server && IsWindowEnabled(wintest::FindControl(Page(), IDC_HOST)) &&
               wintest::ControlText(Page(), IDOK) == L"Join";
    }
};

TEST_F(LoginReportsTest, NoResponseShowsTheAppliancesTextOnceThenItsOwn)
{
    // A domain query answered with headers only: first with a text of the appliance.
    Fault(R"({"path": "/cgi-bin/userLogin", "method": "GET", "body": "",
              "headers": [["X-KE-message", "The appliance is starting up."]], "count": 1})");
    Press(IDC_HOST);
    EXPECT_EQ(Status(), L"The appliance is starting up.");
    EXPECT_EQ(login->StatusKind(), STATUS_ERROR);
    EXPECT_TRUE(Logged("INFO\tLogin: no server response.\n"));
    EXPECT_TRUE(ServerPageUsable());
    Shot(L"appliance_text");

    // The same answer without a text: the program's own, not the old text again.
    Fault(R"({"path": "/cgi-bin/userLogin", "method": "GET", "body": "", "count": 1})");
    Press(IDC_HOST);
    EXPECT_EQ(Status(), L"No server response.\n");
    EXPECT_EQ(login->CurrentPage(), PageId::Server);
    EXPECT_EQ(CountRequests(Recorded(), kDomainsTarget), 2);
    Shot(L"no_response");
}

TEST_F(LoginReportsTest, ADroppedGuestLoginIsNoServerResponse)
{
    Fault(R"({"path": "/cgi-bin/userLogin", "method": "POST", "drop": "close"})");
    Press(IDOK);
    EXPECT_EQ(Status(), L"No server response.");
    EXPECT_TRUE(Logged("WARN\tLogin: No server response.\n"));
    EXPECT_EQ(PostedParam(PLM_SHOW_ACTIVE_MEETINGS), static_cast<WPARAM>(-1));
    EXPECT_TRUE(ServerPageUsable()) << "Join and Host are back";
    EXPECT_GE(CountRequests(Recorded(), "/cgi-bin/userLogin"), 1) << "the login reached the appliance";
    Shot(L"dropped");
}

TEST_F(LoginReportsTest, UpgradeAnswersAskTheProgramOnBothRoads)
{
    struct Case {
        const char* scenario;
        int button;
        WPARAM required;
        const wchar_t* status;
        const char* log;
    };
    const Case cases[] = {
        {R"({"upgrade_required": true})", IDC_HOST, 1,
         L"A new client has been available, please download from server.\n",
         "WARN\tNew version is available, please download the new client.\n"},
        {R"({"upgrade_required": true})", IDOK, 1,
         L"A new client has been available, please download from server.\n",
         "WARN\tNew version is available, please download the new client.\n"},
        {R"({"need_upgrade": true})", IDOK, 0,
         L"A new client has been available, please download the new client.\n",
         "WARN\tNew version is available, need to upgrade the client.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.scenario) + (c.button == IDOK ? " join" : " host"));
        Scenario(c.scenario);
        posted.clear();
        Press(c.button);
        ASSERT_TRUE(WaitPosted(PLM_UPGRADE_CLIENT));
        EXPECT_EQ(PostedParam(PLM_UPGRADE_CLIENT), c.required);
        EXPECT_EQ(Status(), c.status);
        EXPECT_TRUE(Logged(c.log));
        EXPECT_EQ(PostedParam(PLM_SHOW_ACTIVE_MEETINGS), static_cast<WPARAM>(-1));
        EXPECT_TRUE(ServerPageUsable()) << "the window stays usable";
        if (c.required)
            Shot(c.button == IDOK ? L"upgrade_required_join" : L"upgrade_required_host");
    }
}

TEST_F(LoginReportsTest, AnUnresolvableHostIsUnreachableOnBothRoads)
{
    for (int button : {IDC_HOST, IDOK}) {
        SCOPED_TRACE(button == IDOK ? "join" : "host");
        DHLog::Instance().SetFile(m_logPath.c_str());  // a fresh file
        Server("no-such-host.invalid:443");
        Press(button);
        EXPECT_EQ(Status(), L"server is not reachable.\n");
        EXPECT_EQ(login->StatusKind(), STATUS_ERROR);
        EXPECT_TRUE(Logged("ERROR\tLogin: server is not reachable.\n")) << LogText();
        EXPECT_TRUE(ServerPageUsable());
    }
    EXPECT_EQ(Recorded(), "[]\n") << "nothing reached the appliance";
}

TEST_F(LoginReportsTest, NoPortalOnEachRoad)
{
    // Host: the appliance offers no domain to this client.
    Scenario(R"({"domains": []})");
    Press(IDC_HOST);
    EXPECT_EQ(Status(), L"No portal enable Secure Parlemo.\n");
    EXPECT_TRUE(Logged("ERROR\tNo portal enable Secure Parlemo.\n"));
    EXPECT_TRUE(ServerPageUsable());

    // Join: no portal takes guests.
    Scenario("{}");
    Fault(R"({"path": "/cgi-bin/userLogin", "method": "POST", "match": "guestLogin=meeting",
              "body": "error:no available portal\r\n", "count": 1})");
    Press(IDOK);
    EXPECT_EQ(Status(), L"No portal enable Secure Parlemo.\n");
    EXPECT_TRUE(Logged("WARN\tNo portal enable Secure Parlemo.\n"));
    EXPECT_EQ(PostedParam(PLM_SHOW_ACTIVE_MEETINGS), static_cast<WPARAM>(-1));

    // Login: the user's portal lets nobody host.
    Fault(R"({"path": "/cgi-bin/userLogin", "method": "POST", "match": "username=alice",
              "headers": [["X-KE-portal", "noenableportal"]], "count": 1})");
    HostToCredentials();
    Credentials(L"alice", L"secret");
    EXPECT_EQ(Status(), L"You cannot host a meeting under this domain.\n");
    EXPECT_TRUE(Logged("Login: You cannot host a meeting under this domain.\n"));
    EXPECT_NE(LogText().find("WARN\t"), std::string::npos);
    EXPECT_EQ(login->CurrentPage(), PageId::Credentials);
    EXPECT_EQ(PostedParam(PLM_SHOW_ACTIVE_MEETINGS), static_cast<WPARAM>(-1));
    Shot(L"cannot_host");
}

// Wine's browser launcher runs a recorder instead of a browser: the captcha
// page's address is written to a file beside the run's certificates.
class CaptchaRecorder {
public:
    CaptchaRecorder()
    {
        const std::string ca = Env("CORVISK_TEST_CA_DER");
        const std::string dir = ca.substr(0, ca.find_last_of('/'));
        m_record = dir + "/captcha.txt";
        const std::string script = dir + "/browser.sh";
        std::ofstream("Z:" + script, std::ios::binary) << "printf '%s\\n' \"$1\" >> '" << m_record << "'\n";
        DeleteFileA(("Z:" + m_record).c_str());
        const std::string browsers = "/bin/sh " + script;
        RegSetKeyValueA(HKEY_CURRENT_USER, "Software\\Wine\\WineBrowser", "Browsers", REG_SZ, browsers.c_str(),
                        static_cast<DWORD>(browsers.size() + 1));
    }
    ~CaptchaRecorder() { RegDeleteKeyValueA(HKEY_CURRENT_USER, "Software\\Wine\\WineBrowser", "Browsers"); }
    // The addresses opened so far, one a line; waits up to 15 s for count of them.
    std::string Opened(size_t count) const
    {
        std::string text;
        for (int i = 0; i < 300; ++i) {
            text = logintest::ReadWholeFile("Z:" + m_record);
            size_t lines = 0;
            for (char c : text)
                lines += c == '\n';
            if (lines >= count)
                break;
            wintest::PumpFor(50);
        }
        return text;
    }

private:
    std::string m_record;
};

TEST_F(LoginReportsTest, TheGeoFilterOpensTheCaptchaPageAtTheNumericAddress)
{
    CaptchaRecorder recorder;
    const std::wstring denied = L"Access is denied by GeoIP && Botnet Filter.";

    Scenario(R"({"geobot": "blocked"})");
    Press(IDC_HOST);
    EXPECT_EQ(Status(), denied);
    EXPECT_EQ(login->StatusKind(), STATUS_ERROR);
    Shot(L"geobot");
    // The address the worker resolved "localhost" to, never the name.
    const std::string address = manager->applianceAddress;
    ASSERT_TRUE(address == "127.0.0.1" || address == "[::1]" || address == "::1") << address;
    const std::string host = address == "::1" ? "[::1]" : address;
    const std::string page = "https://" + host + "/cgi-bin/geoBotCaptcha?target=kx\n";
    EXPECT_EQ(recorder.Opened(1), page);

    Press(IDOK);
    EXPECT_EQ(Status(), denied);
    EXPECT_TRUE(ServerPageUsable());
    EXPECT_EQ(recorder.Opened(2), page + page);

    // The login itself refused by the filter.
    Scenario("{}");
    Fault(R"({"path": "/cgi-bin/userLogin", "method": "POST", "match": "username=alice",
              "headers": [["X-KE-geobot", "blocked"]], "count": 1})");
    HostToCredentials();
    Credentials(L"alice", L"secret");
    EXPECT_EQ(Status(), denied);
    EXPECT_EQ(recorder.Opened(3), page + page + page);
    const std::string log = LogText();
    const std::string line = "ERROR\tAccess is denied by GeoIP && Botnet Filter.";
    size_t lines = 0;
    for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1))
        ++lines;
    EXPECT_EQ(lines, 3u) << log;
}

TEST_F(LoginReportsTest, AnExpiredPasswordCallsThePromptFromTheLoginWindow)
{
    Scenario(R"({"users": [{"name": "alice", "password": "secret"},
                            {"name": "pat", "password": "old-pass", "password_expiry_days": -1}]})");
    HostToCredentials();
    Credentials(L"pat", L"old-pass");
    EXPECT_EQ(manager->passwordPromptOrigin, 1) << "the prompt knows it came from the login window";
    HWND box = nullptr;
    ASSERT_TRUE(wintest::WaitFor([&] { return (box = wintest::FindTopLevel(L"#32770", L"Password Expired")) != nullptr; }))
        << "the prompt shows on a thread of its own";
    EXPECT_EQ(manager->passwordExpired, 0) << "told once";
    PostMessageW(box, WM_COMMAND, IDNO, 0);
    EXPECT_TRUE(wintest::WaitFor([&] { return !IsWindow(box); }));
    EXPECT_EQ(PostedParam(PLM_SHOW_ACTIVE_MEETINGS), static_cast<WPARAM>(-1)) << "the prompt goes on from here";
    EXPECT_EQ(login->CurrentPage(), PageId::Credentials);
}

TEST_F(LoginReportsTest, AnAnswerWithoutARowReturnsToTheServerPage)
{
    HostToCredentials();
    Fault(R"({"path": "/cgi-bin/userLogin", "method": "POST", "match": "username=alice", "drop": "close"})");
    Credentials(L"alice", L"secret");
    EXPECT_EQ(login->CurrentPage(), PageId::Server);
    EXPECT_TRUE(manager->ownDisplayName.empty()) << "the login state is cleared";
    EXPECT_EQ(PostedParam(PLM_SHOW_ACTIVE_MEETINGS), static_cast<WPARAM>(-1));
    EXPECT_TRUE(IsWindowEnabled(wintest::FindControl(Page(), IDC_HOST)));
    Shot(L"back_to_server");
}

TEST_F(LoginReportsTest, ATrustedProfileSendsNoCertificateCheck)
{
    HostToCredentials();
    std::string recorded = Recorded();
    EXPECT_EQ(CountRequests(recorded, kCheckTarget), 1) << "a server without a profile is checked";
    BackToServerPage();

    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    auto& appliance = static_cast<ProgramAppliance&>(manager->Appliance());
    ASSERT_TRUE(appliance.Profiles().Trust(ServerText(), "CN=localhost", Env("CORVISK_SERVER_SHA1"),
                                           (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime));
    Control("/__control/requests/clear", "{}");
    HostToCredentials();
    recorded = Recorded();
    EXPECT_EQ(CountRequests(recorded, kCheckTarget), 0) << recorded;
    EXPECT_EQ(CountRequests(recorded, kDomainsTarget), 1);
}

TEST_F(LoginReportsTest, LaunchesWithASessionNeverCheckTheCertificate)
{
    struct Case {
        int mode;
        int button;
    };
    for (const Case& c : {Case{1, IDC_HOST}, Case{2, IDOK}, Case{3, IDC_HOST}}) {
        SCOPED_TRACE("launch mode " + std::to_string(c.mode));
        manager->launchMode = c.mode;
        Control("/__control/requests/clear", "{}");
        posted.clear();
        wintest::Click(Page(), c.button);
        if (c.button == IDC_HOST)
            ASSERT_TRUE(WaitPage(PageId::Credentials));
        else
            ASSERT_TRUE(WaitPosted(PLM_SHOW_ACTIVE_MEETINGS));
        const std::string recorded = Recorded();
        EXPECT_EQ(CountRequests(recorded, kCheckTarget), 0) << recorded;
        EXPECT_EQ(CountRequests(recorded, c.button == IDC_HOST ? kDomainsTarget : "/cgi-bin/userLogin"), 1);
        if (c.button == IDC_HOST) {
            BackToServerPage();
            EXPECT_EQ(manager->launchMode, 0) << "Cancel clears the launch";
        }
    }
    manager->launchMode = 0;
    // A start without a session checks again.
    Control("/__control/requests/clear", "{}");
    HostToCredentials();
    EXPECT_EQ(CountRequests(Recorded(), kCheckTarget), 1);
}

TEST_F(LoginReportsTest, ChangedProfilesRefillTheServerList)
{
    auto& appliance = static_cast<ProgramAppliance&>(manager->Appliance());
    ProfileStore& store = appliance.Profiles();
    store.RemoveAll();
    ASSERT_TRUE(store.Remember("vpn-a.example:443", L"ann", 0x01D0000000000001ull));
    ASSERT_TRUE(store.Remember("vpn-b.example:8443", L"ben", 0x01D0000000000002ull));  // the default now
    HWND combo = wintest::FindControl(Page(), IDC_SERVER_COMBO);

    PostMessageW(login->Window(), PLM_PROFILES_CHANGED, 0, 0);
    wintest::PumpFor(100);
    ASSERT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 2);
    wchar_t item[64] = L"";
    SendMessageW(combo, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(item));
    EXPECT_STREQ(item, L"vpn-a.example:443");
    EXPECT_EQ(wintest::ControlText(Page(), IDC_SERVER_COMBO), L"vpn-b.example:8443");
    Shot(L"two_profiles");

    // One removed (as the options page does): the list follows.
    ConnectionProfile b;
    ASSERT_TRUE(store.FindByServer("vpn-b.example:8443", b));
    ASSERT_TRUE(store.Remove(b.name));
    PostMessageW(login->Window(), PLM_PROFILES_CHANGED, 0, 0);
    wintest::PumpFor(100);
    ASSERT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 1);
    SendMessageW(combo, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(item));
    EXPECT_STREQ(item, L"vpn-a.example:443");
    store.RemoveAll();
}

TEST_F(LoginReportsTest, TheWaitCursorShowsWhileAWorkerRuns)
{
    const HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
    const LPARAM overClient = MAKELPARAM(HTCLIENT, WM_MOUSEMOVE);
    for (int button : {IDC_HOST, IDOK}) {
        SCOPED_TRACE(button == IDOK ? "join" : "host");
        Fault(R"({"path": "/cgi-bin/userLogin", "delay": 2, "count": 1})");
        wintest::Click(Page(), button);
        ASSERT_TRUE(login->WorkerRunning());
        EXPECT_FALSE(IsWindowEnabled(wintest::FindControl(Page(), IDC_HOST)));
        EXPECT_TRUE(SendMessageW(Page(), WM_SETCURSOR, reinterpret_cast<WPARAM>(Page()), overClient));
        EXPECT_EQ(GetCursor(), wait);
        if (button == IDC_HOST)
            Shot(L"waiting");
        ASSERT_TRUE(WaitIdle());
        wintest::Pump();
        // The worker is done: the page leaves the cursor to the window class.
        if (login->CurrentPage() == PageId::Server) {
            SendMessageW(Page(), WM_SETCURSOR, reinterpret_cast<WPARAM>(Page()), overClient);
            EXPECT_NE(GetCursor(), wait);
        }
        BackToServerPage();
    }
}

} // namespace
