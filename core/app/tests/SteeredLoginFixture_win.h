// The login window of the program against the local appliance that the test
// steers between steps through its control interface: each case starts from
// a scenario of its own, no faults, nothing recorded, no connection profiles
// and a log file of its own, which the case can read back.
#pragma once

#include "core/app/tests/ApplianceControl_win.h"
#include "core/app/tests/LoginWindowFixture_win.h"
#include "core/base/DHLog.h"
#include "core/base/LogSetup.h"

#include <fstream>
#include <sstream>
#include <string>
#include <utility>

namespace logintest {

inline std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

class SteeredLoginTest : public LoginWindowTest {
protected:
    // logName names the case's log file; scenario is what the appliance plays.
    explicit SteeredLoginTest(std::string logName, std::string scenario = "{}")
        : m_logName(std::move(logName)), m_scenario(std::move(scenario))
    {
    }
    void SetUp() override
    {
        Scenario(m_scenario);
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Quenlore\\SSL-VPN Parlemo\\Standalone\\Profiles");
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        m_logPath = StartAppLogIn(DHLog::Instance(), std::string(temp) + m_logName);
        ASSERT_FALSE(m_logPath.empty());
        LoginWindowTest::SetUp();
    }
    void TearDown() override
    {
        LoginWindowTest::TearDown();
        DHLog::Instance().SetFile("");
    }

    uint16_t Port() const { return static_cast<uint16_t>(std::atoi(Env("CORVISK_APPLIANCE_PORT").c_str())); }
    void Control(const char* path, const std::string& json)
    {
        const ControlReply r = ApplianceControl(Port(), L"POST", path, json);
        ASSERT_EQ(r.status, 200u) << path << " " << json << ": " << r.body;
    }
    void Scenario(const std::string& json)
    {
        Control("/__control/scenario", json);
        Control("/__control/requests/clear", "{}");
    }
    void Fault(const std::string& json) { Control("/__control/faults", json); }
    std::string Recorded() { return ApplianceControl(Port(), L"GET", "/__control/requests").body; }
    std::string State() { return ApplianceControl(Port(), L"GET", "/__control/state").body; }

    // The log's text so far (lines with their time prefix and level tag).
    std::string LogText() const { return ReadWholeFile(m_logPath); }
    bool Logged(const std::string& tagAndText) const { return LogText().find(tagAndText) != std::string::npos; }

    std::string m_logPath;

private:
    std::string m_logName;
    std::string m_scenario;
};

} // namespace logintest
