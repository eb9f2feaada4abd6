#include "core/base/AppWindows.h"

#include <algorithm>
#include <atomic>
#include <mutex>

int g_comProbeOk = 0;

namespace {

std::mutex g_appWindowListLock;
std::vector<HWND> g_appWindowList;
std::atomic<AppWindowListener> g_listener{nullptr};
std::mutex g_hiddenWindowListLock;
std::vector<HWND> g_hiddenWindowList;

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
    {
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

void SetHiddenFromShare(HWND hwnd, bool hidden)
{
    if (hwnd == nullptr)
        return;
    std::lock_guard<std::mutex> lock(g_hiddenWindowListLock);
    auto it = std::find(g_hiddenWindowList.begin(), g_hiddenWindowList.end(), hwnd);
    if (hidden && it == g_hiddenWindowList.end())
        g_hiddenWindowList.push_back(hwnd);
    else if (!hidden && it != g_hiddenWindowList.end())
        g_hiddenWindowList.erase(it);
}

std::vector<HWND> HiddenWindowList()
{
    std::lock_guard<std::mutex> lock(g_hiddenWindowListLock);
    g_hiddenWindowList.erase(std::remove_if(g_hiddenWindowList.begin(), g_hiddenWindowList.end(),
                                            [](HWND h) { return !IsWindow(h); }),
                             g_hiddenWindowList.end());
    return g_hiddenWindowList;
}
