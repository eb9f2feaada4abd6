#include "core/AppWindows.h"

#include <algorithm>
#include <mutex>

int g_comProbeOk = 0;

namespace {

std::mutex g_appWindowListLock;
std::vector<HWND> g_appWindowList;

bool IsOwnLiveWindow(HWND hwnd)
{
    DWORD pid = 0;
    return IsWindow(hwnd) && GetWindowThreadProcessId(hwnd, &pid) != 0 &&
           pid == GetCurrentProcessId();
}

void PruneLocked()
{
    g_appWindowList.erase(std::remove_if(g_appWindowList.begin(), g_appWindowList.end(),
                                         [](HWND h) { return !IsOwnLiveWindow(h); }),
                          g_appWindowList.end());
}

} // namespace

void RegisterAppWindow(HWND hwnd)
{
    if (!g_comProbeOk || hwnd == nullptr || !IsWindow(hwnd))
        return;
    std::lock_guard<std::mutex> lock(g_appWindowListLock);
    PruneLocked();
    if (std::find(g_appWindowList.begin(), g_appWindowList.end(), hwnd) == g_appWindowList.end())
        g_appWindowList.push_back(hwnd);
}

std::vector<HWND> AppWindowList()
{
    std::lock_guard<std::mutex> lock(g_appWindowListLock);
    PruneLocked();
    return g_appWindowList;
}
