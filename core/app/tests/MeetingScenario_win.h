// The local appliance of a meeting test, steered between its steps: its
// port, and its scenario put back so kicks and ended meetings of one test do
// not reach the next.
#pragma once

#include "core/app/tests/ApplianceControl_win.h"
#include "core/app/tests/MeetingInstance_win.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace meetingtest {

inline uint16_t AppliancePort()
{
    return static_cast<uint16_t>(std::strtoul(Env("CORVISK_APPLIANCE_PORT").c_str(), nullptr, 10));
}

inline void ResetAppliance()
{
    std::ifstream in("Z:" + Env("CORVISK_FIXTURE_SCENARIO"));
    std::string scenario((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(scenario.empty());
    ASSERT_EQ(logintest::ApplianceControl(AppliancePort(), L"POST", "/__control/scenario", scenario).status, 200u);
}

} // namespace meetingtest
