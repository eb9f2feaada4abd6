// The real login window of the program against the local appliance over
// real HTTPS: the manager with the program's services opens it, the test
// drives its pages through their controls and checks the pages, the status
// line, the messages to the main thread and the appliance's request log.
// Run by tunnel_fixture.sh; each scenario file is a test entry of its own.
#include "core/app/tests/LoginWindowFixture_win.h"
#include "core/app/tests/ApplianceControl_win.h"
#include "appliance/ui/CertificateAlert_win.h"
#include "appliance/cgi/CgiSession.h"
#include "appliance/ui/SecondFactorResources.h"
#include "appliance/https/WinHttpTransport_win.h"
#include "core/base/StoredSecret.h"

#include <atomic>
#include <thread>

using logintest::Env;
using logintest::LoginWindowTest;
using logintest::Posted;
using logintest::Wide;

namespace {

TEST_F(LoginWindowTest, ServerPageShowsThePresetServerAndItsTexts)
{
    EXPECT_EQ(wintest::Text(login->Window()), L"Secure Parlemo - 8.0.0.6");
    EXPECT_EQ(login->CurrentPage(), PageId::Server);
    const std::string server = ServerText();
    EXPECT_EQ(wintest::ControlText(Page(), IDC_SERVER_COMBO), std::wstring(server.begin(), server.end()));
    EXPECT_EQ(wintest::ControlText(Page(), IDC_SERVER_LABEL), L"Server:");
    EXPECT_EQ(wintest::ControlText(Page(), IDC_HOST), L"Host");
    EXPECT_EQ(wintest::ControlText(Page(), IDOK), L"Join");
    EXPECT_EQ(Status(), L"Welcome to Vantrel Quenlore Secure Parlemo! Please enter the server name or IP "
                        L"address to begin the meeting.\n");
    // The page paints white around its banner, which sits 40 pixels below its top.
    RECT page;
    GetClientRect(Page(), &page);
    EXPECT_EQ(wintest::ClientPixel(Page(), 2, 20), RGB(255, 255, 255));
    EXPECT_NE(wintest::ClientPixel(Page(), page.right / 2, 45), RGB(255, 255, 255));
    EXPECT_EQ(wintest::ClientPixel(Page(), page.right / 2, 35), RGB(255, 255, 255));
    Shot(L"server");
}

TEST_F(LoginWindowTest, EmptyServerAsksForOneAndSendsNothing)
{
    Server("");
    wintest::Click(Page(), IDC_HOST);
    EXPECT_EQ(Status(), L"Please enter the server name or IP address.\n");
    EXPECT_EQ(login->CurrentPage(), PageId::Server);
    EXPECT_FALSE(login->WorkerRunning());
    wintest::Click(Page(), IDOK);
    EXPECT_FALSE(login->WorkerRunning());
    Shot(L"empty");
}

TEST_F(LoginWindowTest, HostThenAliceLogsInAndHandsOverToTheMeetingList)
{
    wintest::Click(Page(), IDC_HOST);
    EXPECT_FALSE(IsWindowEnabled(wintest::FindControl(Page(), IDC_HOST))) << "Host waits for the worker";
    ASSERT_TRUE(WaitPage(PageId::Credentials));
    EXPECT_EQ(Status(), L"Please enter your username and password.\n");
    EXPECT_EQ(wintest::ControlText(Page(), IDOK), L"Login");
    EXPECT_EQ(wintest::ControlText(Page(), IDC_NAME_LABEL), L"Name:");
    Shot(L"credentials");

    Credentials(L"", L"");
    EXPECT_EQ(Status(), L"The user name and password must be provided.\n");
    EXPECT_EQ(login->CurrentPage(), PageId::Credentials);

    Credentials(L"alice", L"wrong");
    EXPECT_EQ(login->CurrentPage(), PageId::Credentials);
    EXPECT_EQ(PostedParam(PLM_SHOW_ACTIVE_MEETINGS), static_cast<WPARAM>(-1));
    EXPECT_EQ(Status(), L"Login failed: wrong user name or password.") << "the appliance's text is shown";
    EXPECT_EQ(login->StatusKind(), STATUS_ERROR);
    Shot(L"wrong_password");

    Credentials(L"alice", L"secret");
    ASSERT_TRUE(WaitPosted(PLM_SHOW_ACTIVE_MEETINGS));
    EXPECT_EQ(PostedParam(PLM_SHOW_ACTIVE_MEETINGS), 1u);
    EXPECT_FALSE(manager->ownSessionId.empty()) << "the session's cookie is the program's";
    EXPECT_EQ(manager->ownDisplayName, L"alice");
}

// The proxy set in the manager (a server, no credentials): the domain query
// goes through the open tinyproxy, whose log records the tunnel.
TEST_F(LoginWindowTest, HostThroughTheProxyReachesTheCredentialsPage)
{
    const std::string log = Env("CORVISK_REQUEST_LOG");
    const std::string proxyLog = "Z:" + log.substr(0, log.rfind('/')) + "/proxy.log";
    auto tunnels = [&] {
        std::ifstream in(proxyLog);
        std::string line;
        int n = 0;
        while (std::getline(in, line))
            n += line.find("CONNECT") != std::string::npos &&
                 line.find(":" + Env("CORVISK_APPLIANCE_PORT")) != std::string::npos;
        return n;
    };
    const int before = tunnels();
    manager->proxy.Enable = 1;
    manager->proxy.server.host = "127.0.0.1";
    manager->proxy.server.port = static_cast<uint16_t>(std::atoi(Env("CORVISK_PROXY_PORT").c_str()));
    HostToCredentials();
    EXPECT_GT(tunnels(), before) << proxyLog;
    Shot(L"through_proxy");
}

TEST_F(LoginWindowTest, CancelOnTheCredentialsPageReturnsToTheServerPage)
{
    HostToCredentials();
    wintest::Click(Page(), IDCANCEL);
    EXPECT_EQ(login->CurrentPage(), PageId::Server);
    EXPECT_TRUE(IsWindowEnabled(wintest::FindControl(Page(), IDC_HOST)));
}

TEST_F(LoginWindowTest, JoinLogsInAsGuestAndPostsTheListWithZero)
{
    wintest::Click(Page(), IDOK);
    EXPECT_EQ(wintest::ControlText(Page(), IDOK), L"Cancel");
    EXPECT_FALSE(IsWindowEnabled(wintest::FindControl(Page(), IDC_HOST)));
    Shot(L"joining");
    ASSERT_TRUE(WaitPosted(PLM_SHOW_ACTIVE_MEETINGS));
    EXPECT_EQ(PostedParam(PLM_SHOW_ACTIVE_MEETINGS), 0u);
    EXPECT_EQ(wintest::ControlText(Page(), IDOK), L"Join");
    EXPECT_TRUE(IsWindowEnabled(wintest::FindControl(Page(), IDC_HOST)));
    EXPECT_FALSE(manager->ownSessionId.empty());
}

TEST_F(LoginWindowTest, SecondJoinPressCancelsAndTheLateResultIsDropped)
{
    wintest::Click(Page(), IDOK);
    ASSERT_TRUE(login->WorkerRunning());
    wintest::Click(Page(), IDOK);
    // The buttons come back at once, without waiting for the worker.
    EXPECT_FALSE(login->WorkerRunning());
    EXPECT_EQ(wintest::ControlText(Page(), IDOK), L"Join");
    EXPECT_TRUE(IsWindowEnabled(wintest::FindControl(Page(), IDC_HOST)));
    wintest::PumpFor(3000);  // the worker ends meanwhile; its result is not used
    EXPECT_EQ(PostedParam(PLM_SHOW_ACTIVE_MEETINGS), static_cast<WPARAM>(-1));
    EXPECT_EQ(login->CurrentPage(), PageId::Server);
}

TEST_F(LoginWindowTest, UnresolvableHostIsReportedUnreachable)
{
    Server("no-such-host.invalid:443");
    wintest::Click(Page(), IDC_HOST);
    ASSERT_TRUE(wintest::WaitFor([&] { return !login->WorkerRunning(); }, 30000));
    EXPECT_EQ(Status(), L"server is not reachable.\n");
    EXPECT_EQ(login->StatusKind(), STATUS_ERROR);
    EXPECT_EQ(login->CurrentPage(), PageId::Server);
    EXPECT_TRUE(IsWindowEnabled(wintest::FindControl(Page(), IDC_HOST)));
    Shot(L"unreachable");
}

TEST_F(LoginWindowTest, ClosingTheFramePostsLoginClosed)
{
    SendMessageW(login->Window(), WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitPosted(PLM_LOGIN_CLOSED));
    EXPECT_EQ(manager->OnThreadMessage(PLM_LOGIN_CLOSED, 0, 0), 0) << "the program ends";
    EXPECT_EQ(manager->Appliance().LoginWindow(), nullptr);
}

} // namespace

namespace {

// Scenario login_domains_scenario.json: LocalDB and SSO (no credentials, user carol).
class LoginDomainsTest : public LoginWindowTest {};

TEST_F(LoginDomainsTest, SeveralDomainsShowTheChooserAndEachRoadGoesOn)
{
    wintest::Click(Page(), IDC_HOST);
    ASSERT_TRUE(WaitPage(PageId::Domains));
    EXPECT_EQ(Status(), L"Select a domain to login.\n");
    HWND list = wintest::FindControl(Page(), IDC_DOMAINS);
    ASSERT_EQ(SendMessageW(list, CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessageW(list, CB_GETCURSEL, 0, 0), 0) << "the first is chosen";
    Shot(L"domains");

    wintest::Click(Page(), IDOK);  // LocalDB: credentials
    ASSERT_EQ(login->CurrentPage(), PageId::Credentials);
    wintest::Click(Page(), IDCANCEL);
    ASSERT_EQ(login->CurrentPage(), PageId::Server);

    Server(ServerText());  // a new server page offers the profiles' servers only
    wintest::Click(Page(), IDC_HOST);
    ASSERT_TRUE(WaitPage(PageId::Domains));
    SendMessageW(wintest::FindControl(Page(), IDC_DOMAINS), CB_SETCURSEL, 1, 0);
    wintest::Click(Page(), IDOK);  // SSO: logs in at once
    ASSERT_TRUE(WaitPosted(PLM_SHOW_ACTIVE_MEETINGS));
    EXPECT_EQ(PostedParam(PLM_SHOW_ACTIVE_MEETINGS), 1u);
    EXPECT_EQ(manager->ownDisplayName, L"carol") << "the session test names the session's user";
}

TEST_F(LoginDomainsTest, CancelOnTheDomainPageClearsTheChoice)
{
    wintest::Click(Page(), IDC_HOST);
    ASSERT_TRUE(WaitPage(PageId::Domains));
    wintest::Click(Page(), IDCANCEL);
    EXPECT_EQ(login->CurrentPage(), PageId::Server);
    EXPECT_TRUE(static_cast<ProgramAppliance&>(manager->Appliance()).LastSession().domain.empty());
}

// Scenario login_sso_scenario.json: one domain, of type 8.
class LoginSsoTest : public LoginWindowTest {};

TEST_F(LoginSsoTest, OneDomainWithoutCredentialsLogsInAtOnce)
{
    wintest::Click(Page(), IDC_HOST);
    ASSERT_TRUE(WaitPosted(PLM_SHOW_ACTIVE_MEETINGS));
    EXPECT_EQ(PostedParam(PLM_SHOW_ACTIVE_MEETINGS), 1u);
    EXPECT_NE(login->CurrentPage(), PageId::Credentials);
    EXPECT_EQ(manager->ownDisplayName, L"carol");
}

// Scenario login_portals_scenario.json: portals p1 and p2.
class LoginPortalsTest : public LoginWindowTest {};

TEST_F(LoginPortalsTest, GuestJoinChoosesAPortal)
{
    wintest::Click(Page(), IDOK);
    ASSERT_TRUE(WaitPage(PageId::Portals));
    EXPECT_EQ(Status(), L"Please choose the portal where you want to login.\n");
    EXPECT_EQ(SendMessageW(wintest::FindControl(Page(), IDC_PORTALS), CB_GETCOUNT, 0, 0), 2);
    Shot(L"portals");
    SendMessageW(wintest::FindControl(Page(), IDC_PORTALS), CB_SETCURSEL, 1, 0);
    wintest::Click(Page(), IDOK);
    ASSERT_TRUE(WaitPosted(PLM_SHOW_ACTIVE_MEETINGS));
    EXPECT_EQ(PostedParam(PLM_SHOW_ACTIVE_MEETINGS), 0u);
    EXPECT_EQ(manager->portalName, "p2");
}

TEST_F(LoginPortalsTest, HostLoginChoosesAPortal)
{
    HostToCredentials();
    Credentials(L"alice", L"secret");
    ASSERT_EQ(login->CurrentPage(), PageId::Portals);
    wintest::Click(Page(), IDOK);
    ASSERT_TRUE(WaitPosted(PLM_SHOW_ACTIVE_MEETINGS));
    EXPECT_EQ(PostedParam(PLM_SHOW_ACTIVE_MEETINGS), 1u);
    EXPECT_EQ(manager->portalName, "p1");
}

} // namespace

namespace {

std::string RegString(const std::string& key, const char* name, DWORD& type)
{
    char data[512] = "";
    DWORD size = sizeof(data) - 1;
    type = 0;
    if (RegGetValueA(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size) !=
        ERROR_SUCCESS)
        return "<missing>";
    return std::string(data, type == REG_SZ && size > 0 ? size - 1 : size);
}

// The login is remembered as the profile of "host:port" in the prefix's
// registry, and the next login window offers it.
TEST_F(LoginWindowTest, ASuccessfulLoginIsRememberedAndOfferedNextTime)
{
    const std::string profiles = "Software\\Quenlore\\SSL-VPN Parlemo\\Standalone\\Profiles";
    RegDeleteTreeA(HKEY_CURRENT_USER, profiles.c_str());
    HostToCredentials();
    Credentials(L"alice", L"secret");
    ASSERT_TRUE(WaitPosted(PLM_SHOW_ACTIVE_MEETINGS));
    manager->OnThreadMessage(PLM_SHOW_ACTIVE_MEETINGS, 1, 0);  // the hand-over stores the profile
    EXPECT_EQ(manager->Appliance().LoginWindow(), nullptr);

    DWORD type = 0;
    const std::string name = RegString(profiles, "defaultProfile", type);
    ASSERT_NE(name, "<missing>");
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(RegString(profiles + "\\" + name, "server", type), ServerText());
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(RegString(profiles + "\\" + name, "user", type), "alice");
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    EXPECT_EQ(RegString(profiles + "\\" + name, "servertrusted", type), "<missing>");

    // Logout opens the login window again: the server is offered, and the
    // credentials page knows the user.
    posted.clear();
    manager->OnThreadMessage(PLM_LOGOUT, 0, 0);
    login = static_cast<ProgramAppliance&>(manager->Appliance()).Login();
    ASSERT_NE(login, nullptr);
    const std::string server = ServerText();
    EXPECT_EQ(wintest::ControlText(Page(), IDC_SERVER_COMBO), std::wstring(server.begin(), server.end()));
    EXPECT_EQ(SendMessageW(wintest::FindControl(Page(), IDC_SERVER_COMBO), CB_GETCOUNT, 0, 0), 1);
    HostToCredentials();
    EXPECT_EQ(wintest::ControlText(Page(), IDC_NAME), L"alice");
    Shot(L"remembered");

    // A second login to the same server keeps one profile.
    Credentials(L"alice", L"secret");
    ASSERT_TRUE(WaitPosted(PLM_SHOW_ACTIVE_MEETINGS));
    manager->OnThreadMessage(PLM_SHOW_ACTIVE_MEETINGS, 1, 0);
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, profiles.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD subkeys = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr);
    RegCloseKey(key);
    EXPECT_EQ(subkeys, 1u);
}

} // namespace

namespace {

// Scenario login_proxy_scenario.json: the domain query answers 407 four times.
class LoginProxyTest : public LoginWindowTest {
protected:
    void ProxyOk(const wchar_t* user, const wchar_t* password)
    {
        wintest::SetControlText(Page(), IDC_PROXY_USER, user);
        wintest::SetControlText(Page(), IDC_PROXY_PASSWORD, password);
        wintest::Click(Page(), IDOK);
    }
    bool WaitStatus(const std::wstring& text)
    {
        return wintest::WaitFor([&] { return Status() == text; }, 20000);
    }
};

TEST_F(LoginProxyTest, ProxyCredentialsAreAskedThreeTimesThenTheServerPageReturns)
{
    wintest::Click(Page(), IDC_HOST);
    ASSERT_TRUE(WaitPage(PageId::Proxy));
    EXPECT_EQ(Status(), L"Enter the user name and password for proxy server.\n");
    EXPECT_EQ(wintest::ControlText(Page(), IDC_PROXY_USER_LABEL), L"Proxy User:");
    Shot(L"proxy");

    ProxyOk(L"", L"");
    EXPECT_EQ(Status(), L"Enter proxy user and password.\n");
    EXPECT_FALSE(login->WorkerRunning()) << "nothing is sent";

    ProxyOk(L"tester", L"secret");
    ASSERT_TRUE(WaitStatus(L"you can try 3 times, 2 time(s) remain."));
    EXPECT_EQ(login->CurrentPage(), PageId::Proxy);
    // The credentials are written at once.
    char user[64] = "";
    DWORD size = sizeof(user);
    EXPECT_EQ(RegGetValueA(HKEY_CURRENT_USER, "Software\\Quenlore\\SSL-VPN Parlemo\\Standalone\\Proxy", "User",
                           RRF_RT_REG_SZ, nullptr, user, &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(user, "tester");
    BYTE secret[256];
    size = sizeof(secret);
    EXPECT_EQ(RegGetValueA(HKEY_CURRENT_USER, "Software\\Quenlore\\SSL-VPN Parlemo\\Standalone\\Proxy", "npx0",
                           RRF_RT_REG_BINARY, nullptr, secret, &size),
              ERROR_SUCCESS);
    Shot(L"two_left");

    ProxyOk(L"tester", L"secret");
    ASSERT_TRUE(WaitStatus(L"you can try 3 times, 1 time(s) remain."));
    // The third 407 clears the login state, the server and session kept.
    ASSERT_FALSE(manager->applianceAddress.empty());
    static_cast<ProgramAppliance&>(manager->Appliance()).PreparedSession().domain = "stale";
    ProxyOk(L"tester", L"secret");
    ASSERT_TRUE(WaitPage(PageId::Server));
    EXPECT_EQ(login->proxyTries, 0) << "the count starts again";
    EXPECT_EQ(manager->launchMode, 0);
    EXPECT_TRUE(manager->applianceAddress.empty());
    EXPECT_TRUE(static_cast<ProgramAppliance&>(manager->Appliance()).LastSession().domain.empty());
    EXPECT_EQ(manager->applianceHost, "localhost");

    // The appliance answers normally now: the road goes on.
    Server(ServerText());
    wintest::Click(Page(), IDC_HOST);
    ASSERT_TRUE(WaitPage(PageId::Credentials));
}

// A counted 407 and then another answer: the road goes on and the count
// starts again.
TEST_F(LoginProxyTest, AnAnswerOtherThanA407StartsTheCountAgain)
{
    const uint16_t port = static_cast<uint16_t>(std::atoi(Env("CORVISK_APPLIANCE_PORT").c_str()));
    const logintest::ControlReply r = logintest::ApplianceControl(
        port, L"POST", "/__control/faults", R"({"path": "/cgi-bin/userLogin", "method": "GET", "status": 407, "count": 2})");
    ASSERT_EQ(r.status, 200u) << r.body;
    wintest::Click(Page(), IDC_HOST);
    ASSERT_TRUE(WaitPage(PageId::Proxy));
    ProxyOk(L"tester", L"secret");
    ASSERT_TRUE(WaitStatus(L"you can try 3 times, 2 time(s) remain."));
    EXPECT_EQ(login->proxyTries, 1);
    ProxyOk(L"tester", L"secret");
    ASSERT_TRUE(WaitPage(PageId::Credentials)) << "status: " << std::string(Status().begin(), Status().end());
    EXPECT_EQ(login->proxyTries, 0);
}

} // namespace

namespace {

// Scenario launch_proxy_scenario.json: the session test answers 407 four
// times. A launch from a link asks with the proxy-authentication dialog.
class LaunchProxyTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { LoginWindowTestTrust(); }
    static void LoginWindowTestTrust()
    {
        std::ifstream in("Z:" + Env("CORVISK_TEST_CA_DER"), std::ios::binary);
        std::vector<char> der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_EQ(TrustRootCertificate(der.data(), der.size()), 0ul);
    }
    void SetUp() override
    {
        manager = std::make_unique<CManager>(GetModuleHandleW(nullptr), MakeProgramServices);
        manager->mainThreadId = GetCurrentThreadId();
        manager->applianceHost = "localhost";
        manager->appliancePort = static_cast<uint16_t>(std::atoi(Env("CORVISK_APPLIANCE_PORT").c_str()));
        manager->ownSessionId = "no-such-session";
        manager->launchMode = 1;
        ASSERT_TRUE(manager->Appliance().CreateSession());
    }
    // Answers each dialog in turn with the given button and texts; then
    // closes one warning box when asked.
    struct Answer {
        int button;
        const wchar_t* user;
        const wchar_t* password;
    };
    std::thread Answerer(std::vector<Answer> answers, bool closeWarning)
    {
        return std::thread([this, answers, closeWarning] {
            for (const Answer& a : answers) {
                HWND dlg = nullptr;
                for (int i = 0; i < 400 && !dlg; ++i, Sleep(50))
                    dlg = wintest::FindTopLevel(nullptr, L"Proxy Authentication");
                if (!dlg)
                    return;
                ++dialogs;
                if (dialogs == 1)
                    wintest::SaveScreenshot(dlg, L"LaunchProxy", L"dialog");
                wintest::SetControlText(dlg, 1053, a.user);
                wintest::SetControlText(dlg, 1048, a.password);
                PostMessageW(dlg, WM_COMMAND, static_cast<WPARAM>(a.button), 0);
                for (int i = 0; i < 200 && IsWindow(dlg); ++i)
                    Sleep(25);
            }
            if (!closeWarning)
                return;
            HWND box = nullptr;
            for (int i = 0; i < 400 && !box; ++i, Sleep(50))
                box = wintest::FindTopLevel(nullptr, L"Warn");
            if (box) {
                EnumChildWindows(box, [](HWND child, LPARAM texts) -> BOOL {
                    *reinterpret_cast<std::wstring*>(texts) += wintest::Text(child) + L"|";
                    return TRUE;
                }, reinterpret_cast<LPARAM>(&warningText));
                PostMessageW(box, WM_COMMAND, IDOK, 0);
                warned = true;
            }
        });
    }
    std::unique_ptr<CManager> manager;
    std::atomic<int> dialogs{0};
    std::atomic<bool> warned{false};
    std::wstring warningText;
};

TEST_F(LaunchProxyTest, OkAsksAgainAndTheThirdAnswerEndsWithAWarning)
{
    std::thread t = Answerer({{IDOK, L"tester", L"pw1"}, {IDOK, L"tester2", L""}}, true);
    EXPECT_FALSE(manager->OpenFirstWindow()) << "three 407s end the run";
    t.join();
    EXPECT_EQ(dialogs.load(), 2);
    EXPECT_TRUE(warned.load());
    EXPECT_NE(warningText.find(L"Proxy Authentication Failed"), std::wstring::npos) << std::string(warningText.begin(), warningText.end());
    EXPECT_EQ(manager->proxy.server.user, "tester2");
    s_mem plain;
    ASSERT_TRUE(DecryptStoredString(plain, manager->proxy.server.password));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(plain.Data()), strnlen(reinterpret_cast<const char*>(plain.Data()), plain.Length())), "pw1")
        << "an empty password leaves the stored one";
}

TEST_F(LaunchProxyTest, CancelEndsTheRun)
{
    std::thread t = Answerer({{IDCANCEL, L"", L""}}, false);
    EXPECT_FALSE(manager->OpenFirstWindow());
    t.join();
    EXPECT_EQ(dialogs.load(), 1);
    EXPECT_EQ(manager->Appliance().LoginWindow(), nullptr);
}

} // namespace

namespace {

// The appliance presents the certificate named by CORVISK_FIXTURE_CERT
// (rogue, wrongname or expired): the alert shows the one failed test.
class LoginAlertTest : public LoginWindowTest {
protected:
    struct Seen {
        std::wstring authority, name, validity, issuer, subject, from, to;
        std::atomic<bool> shown{false};
        std::atomic<bool> done{false};
    };
    // The answerer reads window texts, which the main thread must answer:
    // wait for it while pumping.
    void Finish(std::thread& t, Seen& seen)
    {
        wintest::WaitFor([&] { return seen.done.load(); }, 60000);
        t.join();
    }
    // Answers the next alert with the button; returns what it showed.
    std::thread Answer(int button, Seen& seen, const wchar_t* state)
    {
        return std::thread([button, &seen, state] {
            struct Done {
                Seen& s;
                ~Done() { s.done = true; }
            } done{seen};
            HWND alert = nullptr;
            for (int i = 0; i < 200 && !alert; ++i, Sleep(50))
                alert = wintest::FindTopLevel(nullptr, L"Security Alert");
            if (!alert)
                return;
            Sleep(200);
            seen.shown = true;
            seen.authority = wintest::ControlText(alert, 290);
            seen.name = wintest::ControlText(alert, 291);
            seen.validity = wintest::ControlText(alert, 289);
            seen.issuer = wintest::ControlText(alert, 282);
            seen.subject = wintest::ControlText(alert, 283);
            seen.from = wintest::ControlText(alert, 284);
            seen.to = wintest::ControlText(alert, 285);
            const std::string cert = Env("CORVISK_FIXTURE_CERT");
            wintest::SaveScreenshot(alert, L"LoginAlert_" + std::wstring(cert.begin(), cert.end()), state);
            PostMessageW(alert, WM_COMMAND, static_cast<WPARAM>(button), 0);
        });
    }
};

TEST_F(LoginAlertTest, TheFailedTestIsShownCancelStopsAlwaysTrustIsRemembered)
{
    const std::string cert = Env("CORVISK_FIXTURE_CERT");
    const std::wstring before = Status();
    Seen seen;
    std::thread t = Answer(IDCANCEL, seen, L"alert");
    wintest::Click(Page(), IDC_HOST);
    const bool answered = wintest::WaitFor([&] { return seen.shown && !login->WorkerRunning(); }, 30000);
    Finish(t, seen);
    ASSERT_TRUE(answered);
    wintest::PumpFor(300);

    const std::wstring authorityBad = L"The certificate for this server was issued by an unknown/untrusted authority.";
    const std::wstring nameBad = L"The hostname for this server does not match the hostname in the certificate.";
    const std::wstring datesBad = L"The certificate for this server has expired or is not yet valid.";
    EXPECT_EQ(seen.authority == authorityBad, cert == "rogue") << cert;
    EXPECT_EQ(seen.name == nameBad, cert == "wrongname") << cert;
    EXPECT_EQ(seen.validity == datesBad, cert == "expired") << cert;
    if (cert != "rogue")
        EXPECT_EQ(seen.authority, L"The Certificate is issued by a trusted authority.");
    if (cert != "wrongname")
        EXPECT_EQ(seen.name, L"Hostname in certificate match the server hostname.");
    if (cert != "expired")
        EXPECT_EQ(seen.validity, L"The certificate date is valid.");
    else
        EXPECT_EQ(seen.from + L" " + seen.to, L"2025-1-1 2025-2-1");
    EXPECT_FALSE(seen.subject.empty());
    EXPECT_FALSE(seen.issuer.empty());

    // Cancel: nothing more sent or posted, the buttons back, the status kept.
    EXPECT_EQ(login->CurrentPage(), PageId::Server);
    EXPECT_TRUE(IsWindowEnabled(wintest::FindControl(Page(), IDC_HOST)));
    EXPECT_EQ(Status(), before);
    EXPECT_TRUE(posted.empty() || PostedParam(PLM_SHOW_ACTIVE_MEETINGS) == static_cast<WPARAM>(-1));

    // Always Trust: the login goes on, and the profile keeps the certificate.
    Seen second;
    std::thread t2 = Answer(293, second, L"always_trust");
    wintest::Click(Page(), IDC_HOST);
    const bool onCredentials = WaitPage(PageId::Credentials);
    Finish(t2, second);
    ASSERT_TRUE(onCredentials) << "status: " << std::string(Status().begin(), Status().end());
    ASSERT_TRUE(second.shown);
    ConnectionProfile p;
    ASSERT_TRUE(static_cast<ProgramAppliance&>(manager->Appliance()).Profiles().FindByServer(ServerText(), p));
    EXPECT_TRUE(p.servertrusted);
    EXPECT_EQ(p.certthumbprint, Env("CORVISK_SERVER_SHA1"));

    // The next window goes through without an alert or a certificate check.
    Credentials(L"alice", L"secret");
    ASSERT_TRUE(WaitPosted(PLM_SHOW_ACTIVE_MEETINGS));
    manager->OnThreadMessage(PLM_SHOW_ACTIVE_MEETINGS, 1, 0);
    manager->OnThreadMessage(PLM_LOGOUT, 0, 0);
    login = static_cast<ProgramAppliance&>(manager->Appliance()).Login();
    ASSERT_NE(login, nullptr);
    Seen third;
    std::thread t3 = Answer(IDCANCEL, third, L"unexpected");
    wintest::Click(Page(), IDC_HOST);
    EXPECT_TRUE(WaitPage(PageId::Credentials));
    // Let the answerer give up waiting: no alert came.
    Finish(t3, third);
    EXPECT_FALSE(third.shown);
}

// OK accepts the certificate for this server alone: the login goes on, a
// second Host in the same window asks nothing, and nothing is kept in the
// profile. View shows the system's view over the alert, which stays.
TEST_F(LoginAlertTest, OkAcceptsForThisServerAndViewShowsTheSystemsViewOverTheAlert)
{
    if (Env("CORVISK_FIXTURE_CERT") != "rogue")
        GTEST_SKIP() << "one certificate is enough";
    ProfileStore& profiles = static_cast<ProgramAppliance&>(manager->Appliance()).Profiles();
    profiles.RemoveAll();  // false when there is none
    std::atomic<bool> viewShown{false}, viewClosed{false}, alertStayed{false}, done{false};
    std::thread answerer([&] {
        struct Done {
            std::atomic<bool>& d;
            ~Done() { d = true; }
        } mark{done};
        HWND alert = nullptr;
        for (int i = 0; i < 200 && !alert; ++i, Sleep(50))
            alert = wintest::FindTopLevel(nullptr, L"Security Alert");
        if (!alert)
            return;
        Sleep(200);
        PostMessageW(alert, WM_COMMAND, kAlertView, 0);
        HWND view = nullptr;
        for (int i = 0; i < 200 && !view; ++i, Sleep(50))
            view = wintest::FindTopLevel(nullptr, L"Certificate");
        if (view) {
            viewShown = true;
            Sleep(300);
            wintest::SaveScreenshot(view, L"LoginAlert_rogue", L"view");
            PostMessageW(view, WM_COMMAND, IDOK, 0);
            for (int i = 0; i < 100 && IsWindow(view); ++i)
                Sleep(50);
            viewClosed = !IsWindow(view);
        }
        alertStayed = IsWindow(alert) && IsWindowVisible(alert);
        PostMessageW(alert, WM_COMMAND, IDOK, 0);
    });
    wintest::Click(Page(), IDC_HOST);
    const bool onCredentials = WaitPage(PageId::Credentials);
    wintest::WaitFor([&] { return done.load(); }, 60000);
    answerer.join();
    EXPECT_TRUE(viewShown) << "Wine's cryptui has the certificate view";
    EXPECT_TRUE(viewClosed);
    EXPECT_TRUE(alertStayed);
    ASSERT_TRUE(onCredentials) << "status: " << std::string(Status().begin(), Status().end());
    ConnectionProfile p;
    EXPECT_FALSE(profiles.FindByServer(ServerText(), p) && p.servertrusted) << "OK trusts only this once";

    // Back to the server page and Host again: accepted, no alert.
    wintest::Click(Page(), IDCANCEL);
    ASSERT_EQ(login->CurrentPage(), PageId::Server);
    Server(ServerText());
    Seen again;
    std::thread t = Answer(IDCANCEL, again, L"unexpected");
    wintest::Click(Page(), IDC_HOST);
    EXPECT_TRUE(WaitPage(PageId::Credentials)) << "status: " << std::string(Status().begin(), Status().end());
    Finish(t, again);
    EXPECT_FALSE(again.shown);
    Credentials(L"alice", L"secret");
    ASSERT_TRUE(WaitPosted(PLM_SHOW_ACTIVE_MEETINGS));
    EXPECT_EQ(PostedParam(PLM_SHOW_ACTIVE_MEETINGS), 1u);
}

// A profile that always trusts another certificate: the domain query is
// refused, the certificate is checked once, and the alert shows the one
// presented now.
TEST_F(LoginAlertTest, ATrustedProfileWhoseCertificateChangedShowsTheAlert)
{
    if (Env("CORVISK_FIXTURE_CERT") != "rogue")
        GTEST_SKIP() << "one certificate is enough";
    ProfileStore& profiles = static_cast<ProgramAppliance&>(manager->Appliance()).Profiles();
    profiles.RemoveAll();  // false when there is none
    ASSERT_TRUE(profiles.Trust(ServerText(), "CN=old", "0123456789abcdef0123456789abcdef01234567", 1));
    const std::wstring before = Status();
    Seen seen;
    std::thread t = Answer(IDCANCEL, seen, L"changed_certificate");
    wintest::Click(Page(), IDC_HOST);
    const bool answered = wintest::WaitFor([&] { return seen.shown && !login->WorkerRunning(); }, 30000);
    Finish(t, seen);
    ASSERT_TRUE(answered) << "status: " << std::string(Status().begin(), Status().end());
    wintest::PumpFor(300);
    EXPECT_EQ(seen.authority, L"The certificate for this server was issued by an unknown/untrusted authority.");
    EXPECT_EQ(login->CurrentPage(), PageId::Server);
    EXPECT_EQ(Status(), before) << "not reported unreachable";
    profiles.RemoveAll();
}

} // namespace

namespace {

// Answers the next message box of this process titled caption with the
// button, keeping the texts it showed. The main thread pumps meanwhile
// (the box is modal on it).
class BoxAnswer {
public:
    BoxAnswer(const wchar_t* caption, int button)
        : m_thread([this, caption, button] {
              HWND box = nullptr;
              for (int i = 0; i < 400 && !box; ++i, Sleep(50))
                  box = wintest::FindTopLevel(nullptr, caption);
              if (box) {
                  EnumChildWindows(box, [](HWND child, LPARAM texts) -> BOOL {
                      *reinterpret_cast<std::wstring*>(texts) += wintest::Text(child) + L"|";
                      return TRUE;
                  }, reinterpret_cast<LPARAM>(&texts));
                  PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(button), 0);
                  shown = true;
              }
              done = true;
          })
    {
    }
    ~BoxAnswer()
    {
        wintest::WaitFor([&] { return done.load(); }, 60000);
        m_thread.join();
    }
    std::wstring texts;
    std::atomic<bool> shown{false};
    std::atomic<bool> done{false};

private:
    std::thread m_thread;
};

// Scenario login_accounts_scenario.json: alice has a session elsewhere and
// is asked before it ends; zoe's password is not ASCII.
class LoginAccountsTest : public LoginWindowTest {};

TEST_F(LoginAccountsTest, NonAsciiPasswordLogsIn)
{
    HostToCredentials();
    Credentials(L"zoe", L"p\u00E4ssw\u00F6rd");
    ASSERT_TRUE(WaitPosted(PLM_SHOW_ACTIVE_MEETINGS));
    EXPECT_EQ(PostedParam(PLM_SHOW_ACTIVE_MEETINGS), 1u);
}

TEST_F(LoginAccountsTest, ExistingSessionCancelStaysOnThePage)
{
    HostToCredentials();
    {
        BoxAnswer answer(L"Warning", IDCANCEL);
        Credentials(L"alice", L"secret");
        wintest::WaitFor([&] { return answer.done.load(); }, 30000);
        EXPECT_NE(answer.texts.find(L"A session already exists for alice@LocalDB. Click 'OK' to continue and "
                                    L"logout the existing session."),
                  std::wstring::npos)
            << std::string(answer.texts.begin(), answer.texts.end());
    }
    wintest::PumpFor(200);
    EXPECT_EQ(login->CurrentPage(), PageId::Credentials);
    EXPECT_EQ(PostedParam(PLM_SHOW_ACTIVE_MEETINGS), static_cast<WPARAM>(-1));
    EXPECT_TRUE(static_cast<ProgramAppliance&>(manager->Appliance()).LastSession().pendingId.empty());
}

TEST_F(LoginAccountsTest, ExistingSessionOkEndsItAndLogsIn)
{
    HostToCredentials();
    {
        BoxAnswer answer(L"Warning", IDOK);
        Credentials(L"alice", L"secret");
        wintest::WaitFor([&] { return answer.done.load(); }, 30000);
        EXPECT_TRUE(answer.shown.load());
    }
    ASSERT_TRUE(WaitPosted(PLM_SHOW_ACTIVE_MEETINGS));
    EXPECT_EQ(PostedParam(PLM_SHOW_ACTIVE_MEETINGS), 1u);
    EXPECT_TRUE(static_cast<ProgramAppliance&>(manager->Appliance()).LastSession().pendingId.empty());
}

// Scenario login_old_appliance_scenario.json: the appliance is too old.
class LoginOldApplianceTest : public LoginWindowTest {};

TEST_F(LoginOldApplianceTest, TooOldShowsTheTaskModalBox)
{
    {
        BoxAnswer answer(L"Warning", IDOK);
        wintest::Click(Page(), IDC_HOST);
        wintest::WaitFor([&] { return answer.done.load(); }, 30000);
        EXPECT_NE(answer.texts.find(L"This client can not run on the server."), std::wstring::npos);
    }
    wintest::PumpFor(200);
    EXPECT_EQ(Status(), L"This client can not run on the server. For detailed information please check log.\n");
    EXPECT_EQ(login->CurrentPage(), PageId::Server);
}

// Scenario login_upgrade_scenario.json: a newer client is on offer.
class LoginUpgradeTest : public LoginWindowTest {};

TEST_F(LoginUpgradeTest, UpgradeOfferedAsksTheProgramAndKeepsTheWindow)
{
    wintest::Click(Page(), IDC_HOST);
    ASSERT_TRUE(WaitPosted(PLM_UPGRADE_CLIENT));
    EXPECT_EQ(PostedParam(PLM_UPGRADE_CLIENT), 0u);
    EXPECT_EQ(Status(), L"A new client has been available, please download the new client.\n");
    EXPECT_EQ(login->CurrentPage(), PageId::Server);
    EXPECT_TRUE(IsWindowEnabled(wintest::FindControl(Page(), IDC_HOST)));
    Shot(L"upgrade");
}

} // namespace

namespace {

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// The local appliance's second-factor accounts, each logging in through its
// pages (default scenario: olga one-time password, nina new PIN, sam system
// PIN, ned next code, rita RADIUS). Each account is used by one test only:
// a PIN set at the appliance stays set.
class LoginSecondFactorTest : public LoginWindowTest {
protected:
    std::wstring Message() const { return wintest::ControlText(Page(), IDC_STEP_MESSAGE); }
    void Enter(int control, const wchar_t* text) { wintest::SetControlText(Page(), control, text); }
    void Ok()
    {
        wintest::Click(Page(), IDOK);
        wintest::Pump();
    }
    // Server, Host, credentials, then the page the appliance asks for.
    void Start(const wchar_t* user, const wchar_t* password, PageId page)
    {
        if (login->CurrentPage() != PageId::Server)
            wintest::Click(Page(), IDCANCEL);
        Server(ServerText());
        HostToCredentials();
        Credentials(user, password);
        ASSERT_TRUE(WaitPage(page)) << Narrow(Status());
    }
    bool Focused(int control) const { return GetFocus() == wintest::FindControl(Page(), control); }
    // A request to the appliance's control interface; the reply's body.
    std::string Control(const char* verb, const char* path, const std::string& body = "") const
    {
        WinHttpTransport transport;
        CgiSession s(transport);
        s.applianceHost = "localhost";
        s.appliancePort = manager->appliancePort;
        CgiRequest r;
        r.verb = verb;
        r.path = path;
        r.body = body;
        const CgiReply reply = transport.Exchange(r, s);
        EXPECT_EQ(reply.status, CgiTransportStatus::Ok) << path;
        return reply.body;
    }
    // Requests the appliance has received so far.
    size_t ApplianceRequests() const
    {
        const std::string log = Control("GET", "/__control/requests");
        size_t count = 0;
        for (size_t at = log.find("\"seq\": "); at != std::string::npos; at = log.find("\"seq\": ", at + 1))
            ++count;
        return count;
    }
    bool LoggedIn() const { return PostedParam(PLM_SHOW_ACTIVE_MEETINGS) == 1u; }
    // The last code of a road: the login ends with the meeting list.
    bool LogsInWith(const wchar_t* code)
    {
        Enter(IDC_STEP_CODE, code);
        Ok();
        return WaitPosted(PLM_SHOW_ACTIVE_MEETINGS) && LoggedIn();
    }
};

TEST_F(LoginSecondFactorTest, OneTimePasswordCountsAWrongCodeAndTheRightOneLogsIn)
{
    Start(L"olga", L"otp-pass", PageId::Otp);
    EXPECT_EQ(Status(), L"Please enter the one-time password to proceed.\n");
    EXPECT_EQ(Message(), L"Please enter the one-time password.");
    EXPECT_TRUE(Focused(IDC_STEP_CODE));
    EXPECT_TRUE(GetWindowLongW(wintest::FindControl(Page(), IDC_STEP_CODE), GWL_STYLE) & ES_PASSWORD);
    Shot(L"otp");

    Enter(IDC_STEP_CODE, L"000000");
    Ok();
    EXPECT_EQ(login->CurrentPage(), PageId::Otp);
    EXPECT_EQ(Status(), L"One-time password verification failed. You have 3 times to try.");
    EXPECT_EQ(login->StatusKind(), STATUS_ERROR);
    EXPECT_EQ(Message(), L"Wrong one-time password.");
    EXPECT_FALSE(LoggedIn());
    Shot(L"otp_wrong");

    ASSERT_TRUE(LogsInWith(L"123456"));
    EXPECT_EQ(manager->Appliance().SessionTest(), 0) << "the login's session now counts";
}

TEST_F(LoginSecondFactorTest, NewPinEntriesMustMatchThenThePassCodeLogsIn)
{
    Start(L"nina", L"111111", PageId::NewPin);
    EXPECT_EQ(Status(), L"You are required to change the PIN.");
    EXPECT_EQ(wintest::ControlText(Page(), IDC_NEW_PIN_LABEL), L"New pin:");
    EXPECT_EQ(wintest::ControlText(Page(), IDC_PIN_CONFIRM_LABEL), L"Confirmation:");
    EXPECT_EQ(Message(), L"Choose a new PIN of 4 to 8 letters or digits.");
    EXPECT_TRUE(Focused(IDC_NEW_PIN));
    Shot(L"new_pin");

    // Different entries are not sent.
    const size_t before = ApplianceRequests();
    Enter(IDC_NEW_PIN, L"2468");
    Enter(IDC_PIN_CONFIRM, L"2469");
    Ok();
    EXPECT_EQ(ApplianceRequests(), before);
    EXPECT_EQ(Status(), L"The confirmation does not match the new pin. Try again!\n");
    EXPECT_EQ(wintest::ControlText(Page(), IDC_NEW_PIN), L"");
    EXPECT_EQ(wintest::ControlText(Page(), IDC_PIN_CONFIRM), L"");
    EXPECT_EQ(login->CurrentPage(), PageId::NewPin);
    Shot(L"pin_mismatch");

    Enter(IDC_NEW_PIN, L"2468");
    Enter(IDC_PIN_CONFIRM, L"2468");
    Ok();
    ASSERT_EQ(login->CurrentPage(), PageId::Passcode) << Narrow(Status());
    EXPECT_EQ(Status(), L"Please enter the new PIN and token to verify your identity.");
    EXPECT_EQ(wintest::ControlText(Page(), IDCANCEL), L"NO");
    EXPECT_EQ(Message(), L"PIN accepted. Log in with the PIN followed by the token code.");
    EXPECT_TRUE(Focused(IDC_STEP_CODE));
    Shot(L"passcode");

    ASSERT_TRUE(LogsInWith(L"2468111111"));
}

TEST_F(LoginSecondFactorTest, SystemPinRefusedAsksForANewPinAcceptedGoesToThePassCodeAWrongOneFails)
{
    Start(L"sam", L"222222", PageId::SystemPin);
    EXPECT_EQ(Status(), L"The server has generated a new PIN for you.");
    EXPECT_EQ(Message(), L"Your new PIN is 4321.");
    EXPECT_TRUE(Focused(IDCANCEL)) << "button 2 has the focus";
    EXPECT_EQ(wintest::ControlText(Page(), IDOK), L"OK");
    EXPECT_EQ(wintest::ControlText(Page(), IDCANCEL), L"Cancel");
    Shot(L"system_pin");

    // Button 2 refuses; the appliance asks for a PIN of the user's own.
    wintest::Click(Page(), IDCANCEL);
    ASSERT_EQ(login->CurrentPage(), PageId::NewPin) << Narrow(Status());
    EXPECT_EQ(Message(), L"Choose a new PIN of 4 to 8 letters or digits.");
    Shot(L"system_pin_refused");

    // An answer without a verdict is a further step: the page stays with the
    // appliance's text, and OK asks again.
    Start(L"sam", L"222222", PageId::SystemPin);
    Control("POST", "/__control/faults",
            R"({"match": "sysreply=y", "skip_handler": true, "count": 1,)"
            R"( "headers": [["X-KE-message", "The PIN is still being made."]]})");
    wintest::Click(Page(), IDOK);
    EXPECT_EQ(login->CurrentPage(), PageId::SystemPin);
    EXPECT_EQ(Message(), L"The PIN is still being made.");
    wintest::Click(Page(), IDOK);
    ASSERT_EQ(login->CurrentPage(), PageId::Passcode) << Narrow(Status());

    // A wrong pass-code is a failed login: the credentials page with the
    // appliance's text, where the pass-code is the password.
    Enter(IDC_STEP_CODE, L"4321000000");
    Ok();
    ASSERT_EQ(login->CurrentPage(), PageId::Credentials);
    EXPECT_EQ(Status(), L"Login failed: wrong pass-code.");
    Credentials(L"sam", L"4321222222");
    ASSERT_TRUE(WaitPosted(PLM_SHOW_ACTIVE_MEETINGS));
    EXPECT_TRUE(LoggedIn());
}

TEST_F(LoginSecondFactorTest, NextCodeCountsAWrongTokenAndTheRightOneBringsTheSession)
{
    Start(L"ned", L"1234333333", PageId::NextCode);
    EXPECT_EQ(Status(), L"You are required to enter an extra token to proceed.");
    EXPECT_EQ(Message(), L"Wait for the token code to change, then enter it.");
    EXPECT_TRUE(Focused(IDC_STEP_CODE));
    Shot(L"next_code");

    Enter(IDC_STEP_CODE, L"1");
    Ok();
    EXPECT_EQ(login->CurrentPage(), PageId::NextCode);
    EXPECT_EQ(Status(), L"Wrong token. You have 3 times to try.");
    EXPECT_EQ(Message(), L"Wrong token code.");
    EXPECT_FALSE(LoggedIn());
    Shot(L"next_code_wrong");

    manager->ownSessionId.clear();
    ASSERT_TRUE(LogsInWith(L"444444"));
    EXPECT_FALSE(manager->ownSessionId.empty()) << "the reply's cookie is the session";
    EXPECT_EQ(manager->Appliance().SessionTest(), 0);
}

TEST_F(LoginSecondFactorTest, RadiusAsksItsChallengesOnOnePageAWrongAnswerEndsAtTheCredentials)
{
    Start(L"rita", L"radius-pass", PageId::Radius);
    EXPECT_EQ(Status(), L"You are required to enter an extra token to proceed.");
    EXPECT_EQ(Message(), L"What is your pet's name?");
    Shot(L"radius");

    Enter(IDC_STEP_CODE, L"tom");
    Ok();
    ASSERT_EQ(login->CurrentPage(), PageId::Credentials);
    EXPECT_EQ(Status(), L"Wrong answer to the challenge.");
    Shot(L"radius_wrong");

    Credentials(L"rita", L"radius-pass");
    ASSERT_EQ(login->CurrentPage(), PageId::Radius);
    Enter(IDC_STEP_CODE, L"rex");
    Ok();
    EXPECT_EQ(login->CurrentPage(), PageId::Radius);
    EXPECT_EQ(Message(), L"Enter the code sent to your phone");
    EXPECT_EQ(wintest::ControlText(Page(), IDC_STEP_CODE), L"") << "the answer is not left in the field";
    EXPECT_FALSE(LoggedIn());
    Shot(L"radius_second");

    ASSERT_TRUE(LogsInWith(L"9876"));
    EXPECT_EQ(manager->Appliance().SessionTest(), 0);
}

// Scenario login_last_try_scenario.json: olga's appliance takes more wrong
// one-time passwords than the page allows.
class LoginLastTryTest : public LoginSecondFactorTest {};

TEST_F(LoginLastTryTest, AfterTheLastTryOkReturnsToTheServerPageAndANewPageCountsAfresh)
{
    Start(L"olga", L"otp-pass", PageId::Otp);
    for (int left = 3; left >= 0; --left) {
        Enter(IDC_STEP_CODE, L"000000");
        Ok();
        ASSERT_EQ(login->CurrentPage(), PageId::Otp);
        EXPECT_EQ(Status(), L"One-time password verification failed. You have " + std::to_wstring(left) +
                                L" times to try.");
    }
    Shot(L"no_tries_left");

    // The right code now: no request goes out.
    const size_t before = ApplianceRequests();
    Enter(IDC_STEP_CODE, L"123456");
    Ok();
    EXPECT_EQ(ApplianceRequests(), before);
    EXPECT_EQ(login->CurrentPage(), PageId::Server);
    // The login state is cleared, the second step's included.
    const CgiSession& s = static_cast<ProgramAppliance&>(manager->Appliance()).LastSession();
    EXPECT_EQ(s.secondStepKind, 0);
    EXPECT_EQ(s.tfResult, -1);
    wintest::PumpFor(300);
    EXPECT_FALSE(LoggedIn());
    Shot(L"server_after_last_try");

    Start(L"olga", L"otp-pass", PageId::Otp);
    Enter(IDC_STEP_CODE, L"000000");
    Ok();
    EXPECT_EQ(Status(), L"One-time password verification failed. You have 3 times to try.");
    ASSERT_TRUE(LogsInWith(L"123456"));
}

} // namespace
