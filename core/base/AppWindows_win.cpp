#include "core/base/AppWindows.h"

#include <algorithm>
#include <atomic>
#include <mutex>

int g_comProbeOk = 0;

namespace {

std::mutex g_appWindowListLock;
std::vector<HWND> g_appWindowList;
std::atomic<AppWindowListener> g_listener{nullptr};

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

void SetAppWindowListener(AppWindowListener listener)
{
    g_listener.store(listener);
}

void RegisterAppWindow(HWND hwnd)
{
    if (hwnd == nullptr || !IsWindow(hwnd))
        return;
    if (g_comProbeOk) {
        std::lock_guard<std::mutex> lock(g_appWindowListLock);
        PruneLocked();
        if (std::find(g_appWindowList.begin(), g_appWindowList.end(), hwnd) == g_appWindowList.end())
            g_appWindowList.push_back(hwnd);
    }
    if (AppWindowListener listener = g_listener.load())
        listener(hwnd);
}

std::vector<HWND> AppWindowList()
{
    std::lock_guard<std::mutex> lock(g_appWindowListLock);
    PruneLocked();
    return g_appWindowList;
}
