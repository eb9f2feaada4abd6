// The login window of the program against the local appliance: the manager
// with the program's services opens it in launch mode 4 (server preset), and
// a test drives its pages through their controls, reading the pages, the
// status line and the messages posted to the main thread. Shared by the
// login window's test files (one test program).
#pragma once

#include "appliance/cgi/CgiSession.h"
#include "appliance/ui/LoginResources.h"
#include "appliance/ui/ProfileStore.h"
#include "appliance/ui/LoginWindow_win.h"
#include "core/app/Manager.h"
#include "core/app/ProgramAppliance_win.h"
#include "core/base/ThreadMessages.h"
#include "tests/support/WindowTest_win.h"
#include "tools/TrustRoot_win.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace logintest {

inline std::string Env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? v : "";
}

inline std::wstring Wide(const char* s)
{
    return std::wstring(s, s + strlen(s));
}

struct Posted {
    UINT message;
    WPARAM wParam;
};

class LoginWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::ifstream in("Z:" + Env("CORVISK_TEST_CA_DER"), std::ios::binary);
        std::vector<char> der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_FALSE(der.empty()) << "no CA from the fixture";
        ASSERT_EQ(TrustRootCertificate(der.data(), der.size()), 0ul);
    }
    void SetUp() override
    {
        wintest::SetThreadMessageSink([this](const MSG& m) { posted.push_back({m.message, m.wParam}); });
        manager = std::make_unique<CManager>(GetModuleHandleW(nullptr), MakeProgramServices);
        manager->mainThreadId = GetCurrentThreadId();
        manager->applianceHost = "localhost";
        manager->appliancePort = static_cast<uint16_t>(std::atoi(Env("CORVISK_APPLIANCE_PORT").c_str()));
        manager->launchMode = kPresetMode;
        ASSERT_TRUE(manager->Appliance().CreateSession());
        ASSERT_TRUE(manager->OpenFirstWindow());
        login = static_cast<ProgramAppliance&>(manager->Appliance()).Login();
        ASSERT_NE(login, nullptr);
        wintest::Pump();
    }
    void TearDown() override
    {
        manager.reset();
        wintest::SetThreadMessageSink(nullptr);
    }

    HWND Page() const { return login->PageWindow(); }
    std::wstring Status() const { return login->StatusText(); }
    void Shot(const wchar_t* state)
    {
        const char* name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        EXPECT_FALSE(wintest::SaveScreenshot(login->Window(), L"LoginWindow_" + Wide(name), state).empty());
    }
    bool WaitPage(PageId id) { return wintest::WaitFor([&] { return login->CurrentPage() == id; }, 20000); }
    bool WaitPosted(UINT message)
    {
        return wintest::WaitFor([&] {
            for (const Posted& p : posted)
                if (p.message == message)
                    return true;
            return false;
        }, 20000);
    }
    WPARAM PostedParam(UINT message) const
    {
        for (const Posted& p : posted)
            if (p.message == message)
                return p.wParam;
        return static_cast<WPARAM>(-1);
    }
    void Server(const std::string& text) { wintest::SetControlText(Page(), IDC_SERVER_COMBO, std::wstring(text.begin(), text.end())); }
    std::string ServerText() const
    {
        return "localhost:" + Env("CORVISK_APPLIANCE_PORT");
    }
    // Host on the server page, then wait for the credentials page.
    void HostToCredentials()
    {
        ASSERT_EQ(login->CurrentPage(), PageId::Server);
        wintest::Click(Page(), IDC_HOST);
        ASSERT_TRUE(WaitPage(PageId::Credentials)) << "status: " << std::string(Status().begin(), Status().end());
    }
    void Credentials(const wchar_t* name, const wchar_t* password)
    {
        wintest::SetControlText(Page(), IDC_NAME, name);
        wintest::SetControlText(Page(), IDC_PASSWORD, password);
        wintest::Click(Page(), IDOK);
        wintest::Pump();
    }

    static constexpr int kPresetMode = 4;
    std::unique_ptr<CManager> manager;
    CLogin* login = nullptr;
    std::vector<Posted> posted;
};

} // namespace logintest
