// The client upgrade through the login road of the local appliance: the
// login window's Host finds "needupgrade" and posts 60127; the manager then
// asks, downloads the appliance's client (a small test program), starts it
// and ends its run, or shows why not. Each box is saved as a picture.
#include "core/app/tests/ApplianceControl_win.h"
#include "core/app/tests/LoginWindowFixture_win.h"

#include "core/app/SingleInstance.h"
#include "core/app/Tray.h"

#include <wincrypt.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace {

using logintest::Env;

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string TempPath(const char* name)
{
    char temp[MAX_PATH];
    DWORD n = GetTempPathA(MAX_PATH, temp);
    return std::string(temp, n) + name;
}

std::string Base64(const std::string& bytes)
{
    DWORD size = 0;
    CryptBinaryToStringA(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()),
                         CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF, nullptr, &size);
    std::string out(size, '\0');
    CryptBinaryToStringA(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()),
                         CRYPT_STRING_BASE64 | CRYPT_STRING_NOCRLF, &out[0], &size);
    out.resize(size);
    return out;
}

std::string BesideTest(const char* name)
{
    char self[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string dir(self, n);
    return ReadFile(dir.substr(0, dir.find_last_of('\\') + 1) + name);
}

std::string TestProgram() { return BesideTest("app_test_upgrade_client.exe"); }

// Answers this process's message boxes from a thread of its own: each is
// read, saved as a picture, and answered with the next button given.
class BoxAnswers {
public:
    BoxAnswers(std::wstring test, std::vector<int> buttons)
        : m_test(std::move(test)), m_buttons(std::move(buttons)), m_thread([this] { Run(); })
    {
    }
    ~BoxAnswers()
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
        while (!m_stop) {
            HWND box = wintest::FindTopLevelOf(GetCurrentProcessId(), L"#32770", nullptr);
            if (box && IsWindowVisible(box) && GetDlgItem(box, 0xFFFF) && box != m_last) {
                Sleep(150);
                std::wstring text = wintest::ControlText(box, 0xFFFF);
                size_t n;
                {
                    std::lock_guard<std::mutex> g(m_lock);
                    m_texts.push_back(text);
                    n = m_texts.size();
                }
                wintest::SaveScreenshot(box, m_test, L"box" + std::to_wstring(n));
                int button = n <= m_buttons.size() ? m_buttons[n - 1] : IDOK;
                m_last = box;
                PostMessageW(box, WM_COMMAND, button, 0);
            }
            Sleep(30);
        }
    }
    std::wstring m_test;
    std::vector<int> m_buttons;
    std::mutex m_lock;
    std::vector<std::wstring> m_texts;
    std::atomic<bool> m_stop{false};
    HWND m_last = nullptr;
    std::thread m_thread;
};

const wchar_t kOptional[] = L"A newer version of Secure Parlemo is available.\nPress Yes to upgrade or No to upgrade later.\n";
const wchar_t kRequired[] = L"A newer version of Secure Parlemo is available.\nPress OK to upgrade the client.\n";
const wchar_t kFailedOptional[] =
    L"Failed to upgrade Secure Parlemo Client, you can try later or download the new client from server.";
const wchar_t kFailedRequired[] =
    L"Failed to upgrade Secure Parlemo Client, please download the new client from server.";

class ClientUpgradeTest : public logintest::LoginWindowTest {
protected:
    void SetUp() override
    {
        LoginWindowTest::SetUp();
        if (HasFatalFailure())
            return;
        manager->tray = new CTray(manager.get());
        manager->tempCopyName = TempPath("corvisk_upgrade_download.exe");
        DeleteFileA(manager->tempCopyName.c_str());
        DeleteFileA(TempPath("corvisk_upgrade_args.txt").c_str());
        Control("/__control/faults/clear", "{}");
    }
    uint16_t Port() const { return static_cast<uint16_t>(std::atoi(Env("CORVISK_APPLIANCE_PORT").c_str())); }
    void Control(const std::string& path, const std::string& json)
    {
        logintest::ControlReply r = logintest::ApplianceControl(Port(), L"POST", path, json);
        ASSERT_EQ(r.status, 200u) << path << ": " << r.body;
    }
    void Offer(bool required, const std::string& body)
    {
        Control("/__control/scenario", std::string("{\"need_upgrade\": true, \"upgrade_required\": ") +
                                           (required ? "true" : "false") + ", \"upgrade_body\": " + body + "}");
    }
    // Host on the server page: the appliance's answer posts 60127, which the
    // main thread hands to the manager.
    WPARAM HostAsksForUpgrade()
    {
        wintest::Click(Page(), IDC_HOST);
        EXPECT_TRUE(WaitPosted(PLM_UPGRADE_CLIENT));
        return PostedParam(PLM_UPGRADE_CLIENT);
    }
    void Upgrade(WPARAM required)
    {
        posted.clear();
        manager->OnThreadMessage(PLM_UPGRADE_CLIENT, required, 0);
        wintest::Pump();
    }
    bool QuitPosted() const
    {
        for (const logintest::Posted& p : posted)
            if (p.message == PLM_QUIT)
                return true;
        return false;
    }
    bool TrayMarked() const
    {
        return reinterpret_cast<UINT_PTR>(GetPropA(manager->tray->Window(), TRAY_PROPERTY_NAME)) ==
               TRAY_PROPERTY_VALUE;
    }
    std::wstring Name() const
    {
        return L"ClientUpgrade_" + logintest::Wide(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
};

} // namespace

TEST_F(ClientUpgradeTest, YesDownloadsStartsTheNewClientAndEndsWithOne)
{
    const std::string program = TestProgram();
    ASSERT_FALSE(program.empty());
    Offer(false, "{\"base64\": \"" + Base64(program) + "\"}");
    ASSERT_EQ(HostAsksForUpgrade(), 0u);
    {
        BoxAnswers boxes(Name(), {IDYES});
        Upgrade(0);
        EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{kOptional});
    }
    EXPECT_EQ(ReadFile(manager->tempCopyName), program);
    EXPECT_FALSE(TrayMarked());
    EXPECT_TRUE(QuitPosted());
    EXPECT_EQ(manager->exitCode, 1);
    const std::string args = TempPath("corvisk_upgrade_args.txt");
    ASSERT_TRUE(wintest::WaitFor([&] { return !ReadFile(args).empty(); }, 15000));
    EXPECT_EQ(ReadFile(args), "-localhost -" + Env("CORVISK_APPLIANCE_PORT"));
}

TEST_F(ClientUpgradeTest, NoGoesOnWithTheLoginWindow)
{
    Offer(false, "{\"base64\": \"" + Base64(TestProgram()) + "\"}");
    HostAsksForUpgrade();
    {
        BoxAnswers boxes(Name(), {IDNO});
        Upgrade(0);
        EXPECT_EQ(boxes.Texts(), std::vector<std::wstring>{kOptional});
    }
    EXPECT_FALSE(QuitPosted());
    EXPECT_EQ(GetFileAttributesA(manager->tempCopyName.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(TrayMarked());
    EXPECT_TRUE(IsWindowEnabled(wintest::FindControl(Page(), IDC_HOST)));
    Shot(L"after_no");
}

// An error status, a cut body, an HTML page or a program that will not
// start: optional, the run goes on; required, it ends with 0. Nothing that
// is not a whole Windows program is ever started.
TEST_F(ClientUpgradeTest, FailuresAreShownAndNothingElseIsStarted)
{
    const std::string html = "\"<html><body>Please log in again</body></html>\"";
    std::string dud(0x200, '\0');  // a PE header and nothing behind it
    dud[0] = 'M';
    dud[1] = 'Z';
    dud[0x3C] = static_cast<char>(0x80);
    dud.replace(0x80, 4, std::string("PE\0\0", 4));
    const std::string program = "{\"base64\": \"" + Base64(TestProgram()) + "\"}";
    struct Case {
        const char* name;
        bool required;
        std::string body;
        std::string fault;  // "" none
        bool downloadFails;
    } cases[] = {
        {"status500", false, program, "{\"path\": \"/cgi-bin/meetingstart\", \"status\": 500}", true},
        {"status500_required", true, program, "{\"path\": \"/cgi-bin/meetingstart\", \"status\": 500}", true},
        {"cut", false, program, "{\"path\": \"/cgi-bin/meetingstart\", \"truncate\": 1000}", true},
        {"html", false, html, "", true},
        {"html_required", true, html, "", true},
        {"wont_start", false, "{\"base64\": \"" + Base64(dud) + "\"}", "", false},
        // A signed copy changed afterwards: its signature does not verify.
        // (Wine's trust provider checks the digest but not the signer's
        // chain, so a copy signed by an untrusted certificate cannot be
        // refused here.)
        {"altered_signature", false, "{\"base64\": \"" + Base64(BesideTest("upgrade_signed\\altered.exe")) + "\"}",
         "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Control("/__control/faults/clear", "{}");
        Offer(c.required, c.body);
        if (!c.fault.empty())
            Control("/__control/faults", c.fault);
        manager->exitCode = 0;
        BoxAnswers boxes(Name() + L"_" + logintest::Wide(c.name), {c.required ? IDOK : IDYES});
        Upgrade(c.required ? 1 : 0);
        std::vector<std::wstring> expected{c.required ? kRequired : kOptional};
        if (c.downloadFails)
            expected.push_back(c.required ? kFailedRequired : kFailedOptional);
        EXPECT_TRUE(wintest::WaitFor([&] { return boxes.Texts().size() >= expected.size(); }, 5000));
        EXPECT_EQ(boxes.Texts(), expected);
        EXPECT_EQ(QuitPosted(), c.required);
        EXPECT_EQ(manager->exitCode, 0);
        // The tray is marked again, so a new start still finds this instance.
        EXPECT_TRUE(TrayMarked());
        if (c.downloadFails)
            EXPECT_EQ(GetFileAttributesA(manager->tempCopyName.c_str()), INVALID_FILE_ATTRIBUTES);
        EXPECT_TRUE(ReadFile(TempPath("corvisk_upgrade_args.txt")).empty());
    }
}
