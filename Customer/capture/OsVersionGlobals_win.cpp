#include "Customer/capture/OsVersionGlobals.h"

DWORD g_platformId = VER_PLATFORM_WIN32_NT;

void InitOsVersionGlobals()
{
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (GetVersionExA(&info))
        g_platformId = info.dwPlatformId;
#pragma GCC diagnostic pop
}
