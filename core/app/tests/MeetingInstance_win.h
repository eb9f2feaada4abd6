// What the tests with real managers against the local appliance share: the
// fixture's settings, bounded waits, this process's thread count, the run's
// CA trusted, and one program instance (a manager with the program's services
// running its message loop on a thread of its own, as the main thread does).
#pragma once

#include "core/app/LaunchParameters.h"
#include "core/app/Manager.h"
#include "core/base/ThreadMessages.h"
#include "meeting/CMeetingLobby.h"
#include "tools/TrustRoot_win.h"
#include "tests/support/CrashTrace_win.h"
#include "tests/support/ThreadCount_win.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace meetingtest {

using ::ThreadsOfThisProcess;

inline std::string Env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? v : "";
}

// The fixture's fault file for the appliance's tunnels.
inline void WriteFaults(const std::string& json)
{
    std::ofstream("Z:" + Env("CORVISK_TUNNEL_FAULTS"), std::ios::trunc) << json;
}

inline bool WaitUntil(const std::function<bool()>& done, int ms = 20000)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (done())
            return true;
        Sleep(20);
    }
    return done();
}

// The CA of the fixture's run into this prefix's CurrentUser Root store.
inline void TrustRunCa()
{
    std::ifstream in("Z:" + Env("CORVISK_TEST_CA_DER"), std::ios::binary);
    std::vector<char> der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(der.empty()) << "no CA from the fixture";
    ASSERT_EQ(TrustRootCertificate(der.data(), der.size()), 0ul);
}

// One program instance: a manager with the program's services, running its
// message loop on a thread of its own as the program's main thread does.
class Instance {
public:
    // launch runs on the instance's thread before its loop, as Run's launch
    // step does; it gets the manager with session and proxy set up.
    Instance(const char* session, const wchar_t* name, std::function<void(CManager&)> launch)
    {
        std::promise<void> ready;
        m_thread = std::thread([&, session, name] {
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue
            m_manager = new CManager(GetModuleHandleW(nullptr), MakeProgramServices);
            CManager& m = *m_manager;
            m.mainThreadId = GetCurrentThreadId();
            m.applianceHost = "localhost";
            m.appliancePort = static_cast<uint16_t>(std::strtoul(Env("CORVISK_APPLIANCE_PORT").c_str(), nullptr, 10));
            m.ownSessionId = session;
            m.ownDisplayName = name;
            m.meetingId = "100001";
            m.Appliance().CreateSession();
            m.Appliance().ReadProxySettings(false);
            launch(m);
            ready.set_value();
            m_ended = m.RunMessageLoop();
            delete m_manager;
        });
        ready.get_future().wait();
    }
    ~Instance()
    {
        Post(PLM_QUIT);
        m_thread.join();
    }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    void Post(UINT message, WPARAM w = 0) { PostThreadMessageW(m_manager->mainThreadId, message, w, 0); }
    CManager& M() { return *m_manager; }
    // Entered: the lobby exists once the tunnel, hello and threads are up.
    bool InMeeting() { return m_manager->InMeeting() && m_manager->lobby != nullptr; }

private:
    std::thread m_thread;
    CManager* m_manager = nullptr;
    UINT m_ended = 0;
};

// For the tests that post the sharing steps themselves: the lobby's refresh,
// which would post them from the appliance's state, stops, and a list on its
// way has landed before the test sets the manager's fields.
inline void StopLobbyRefresh(CManager& m)
{
    if (!m.lobby)
        return;
    m.lobby->StopRefreshing();
    WaitUntil([&] { return !m.lobby->RequestRunning(); }, 5000);
}

// A launch with a session the appliance made (mode 3): the session test, the
// meeting's join request, then 60108 to the instance's own loop.
inline void LaunchWithSession(CManager& m)
{
    m.launchMode = kLaunchSessionMeeting;
    ASSERT_TRUE(m.OpenFirstWindow());
}

// The host as the meeting setup's "start now" leaves it: coordinator and host.
inline void StartAsHost(Instance& a)
{
    a.M().title = 1;
    a.M().role = 1;
    a.Post(PLM_START_MEETING);
}

} // namespace meetingtest
