// Installs the program's crash filter, then fails with an access violation.
#include "core/app/CrashDump.h"

#include <cstdio>
#include <cwchar>

int main()
{
    InstallCrashFilter();
    std::fputws(CrashDumpPath(), stdout);
    std::fflush(stdout);
    volatile int* nowhere = nullptr;
    *nowhere = 1;
    return 0;
}
