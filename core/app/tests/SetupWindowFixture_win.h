// The meeting setup and invitation windows of the program against the local
// appliance: a manager with the program's services, signed in as alice
// (session "sessA" of the scenario), opens the window under test; a test
// drives it through its controls and reads the window, the messages posted to
// the main thread and what the appliance recorded. Shared by the test files
// of one test program.
#pragma once

#include "appliance/cgi/CgiSession.h"
#include "appliance/ui/MeetingSetupResources.h"
#include "core/app/Manager.h"
#include "core/app/ProgramAppliance_win.h"
#include "core/app/tests/ApplianceControl_win.h"
#include "core/app/tests/MeetingInstance_win.h"
#include "core/base/ThreadMessages.h"
#include "tests/support/WindowTest_win.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace setuptest {

using meetingtest::Env;

inline uint16_t AppliancePort() { return static_cast<uint16_t>(std::atoi(Env("CORVISK_APPLIANCE_PORT").c_str())); }

inline std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// The window's rectangle on the screen.
inline RECT Rect(HWND w)
{
    RECT r{};
    GetWindowRect(w, &r);
    return r;
}

struct Posted {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// The default scenario's accounts with alice and bob signed in, plus extra
// JSON members (each with its leading comma).
inline std::string Scenario(const std::string& extra = std::string())
{
    return R"({"sessions": [{"user": "alice", "value": "sessA"}, {"user": "bob", "value": "sessB"}])" + extra + "}";
}

inline logintest::ControlReply Control(const wchar_t* verb, const std::string& path, const std::string& json = "")
{
    return logintest::ApplianceControl(AppliancePort(), verb, path, json);
}

// Answers the next message box or dialog with the given caption from another
// thread (the test thread is inside the box's own loop meanwhile): act runs on
// the box, then command is posted to it.
class BoxAnswer {
public:
    BoxAnswer(const wchar_t* caption, int command, std::function<void(HWND)> act = {})
        : m_thread([caption = std::wstring(caption), command, act, this] {
              for (int i = 0; i < 400 && !m_stop; ++i) {
                  HWND box = FindWindowW(L"#32770", caption.c_str());
                  if (box && IsWindowVisible(box)) {
                      if (act)
                          act(box);
                      PostMessageW(box, WM_COMMAND, command, 0);
                      m_answered = true;
                      return;
                  }
                  Sleep(50);
              }
          })
    {
    }
    ~BoxAnswer()
    {
        m_stop = true;
        m_thread.join();
    }
    bool Answered() const { return m_answered; }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_answered{false};
    std::thread m_thread;
};

class ApplianceWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { meetingtest::TrustRunCa(); }
    void SetUp() override
    {
        ASSERT_EQ(Control(L"POST", "/__control/scenario", Scenario(ScenarioExtra())).status, 200u);
        Control(L"POST", "/__control/requests/clear");
        wintest::SetThreadMessageSink([this](const MSG& m) { posted.push_back({m.message, m.wParam, m.lParam}); });
        manager = std::make_unique<CManager>(GetModuleHandleW(nullptr), MakeProgramServices);
        manager->mainThreadId = GetCurrentThreadId();
        manager->applianceHost = "localhost";
        manager->appliancePort = AppliancePort();
        manager->ownSessionId = "sessA";
        manager->ownDisplayName = L"alice";
        ASSERT_TRUE(manager->Appliance().CreateSession());
    }
    void TearDown() override
    {
        manager.reset();
        wintest::SetThreadMessageSink(nullptr);
    }
    virtual std::string ScenarioExtra() const { return std::string(); }

    ProgramAppliance& Program() { return static_cast<ProgramAppliance&>(manager->Appliance()); }
    std::string TestName() const { return ::testing::UnitTest::GetInstance()->current_test_info()->name(); }
    void Shot(HWND window, const wchar_t* state)
    {
        EXPECT_FALSE(wintest::SaveScreenshot(window, Wide(Suite() + "_" + TestName()), state).empty());
    }
    virtual std::string Suite() const = 0;

    bool WaitPosted(UINT message, DWORD ms = 20000)
    {
        return wintest::WaitFor([&] { return Find(message) != nullptr; }, ms);
    }
    const Posted* Find(UINT message) const
    {
        for (const Posted& p : posted)
            if (p.message == message)
                return &p;
        return nullptr;
    }
    std::string Requests() { return Control(L"GET", "/__control/requests").body; }
    std::string State() { return Control(L"GET", "/__control/state").body; }
    int CountBodies(const std::string& needle)
    {
        const std::string all = Requests();
        int n = 0;
        for (size_t at = all.find(needle); at != std::string::npos; at = all.find(needle, at + 1))
            ++n;
        return n;
    }

    std::unique_ptr<CManager> manager;
    std::vector<Posted> posted;
};

} // namespace setuptest
