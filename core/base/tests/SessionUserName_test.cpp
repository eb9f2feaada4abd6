#include "core/base/SessionUserName.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

ProcessEntry P(uint32_t pid, const wchar_t* name, uint32_t session, bool known = true)
{
    ProcessEntry e;
    e.pid = pid;
    e.exeName = name;
    e.sessionKnown = known;
    e.session = session;
    return e;
}

TEST(FindSessionShell, Table)
{
    struct Case { std::vector<ProcessEntry> list; uint32_t session; uint32_t pid; };
    const Case cases[] = {
        {{}, 1, 0},
        {{P(10, L"services.exe", 0), P(20, L"explorer.exe", 1)}, 1, 20},
        {{P(20, L"EXPLORER.EXE", 1)}, 1, 20},
        // Terminal server: another user's shell comes first in the list.
        {{P(30, L"explorer.exe", 2), P(40, L"explorer.exe", 1)}, 1, 40},
        {{P(30, L"explorer.exe", 2)}, 1, 0},
        // A session that cannot be read is nobody's.
        {{P(50, L"explorer.exe", 1, false), P(60, L"explorer.exe", 1)}, 1, 60},
        {{P(70, L"explorer.exe.bak", 1), P(71, L"xexplorer.exe", 1), P(72, L"explorer", 1)}, 1, 0},
        {{P(0, L"explorer.exe", 1)}, 1, 0},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
        EXPECT_EQ(FindSessionShell(cases[i].list, cases[i].session), cases[i].pid) << "case " << i;
}

} // namespace
