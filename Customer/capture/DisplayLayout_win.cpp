#include "Customer/capture/DisplayLayout.h"

#include "Customer/capture/ScreenFormat.h"

#include <windows.h>

#include <cstring>

namespace {

using EnumDisplayDevicesAFn = BOOL(WINAPI*)(LPCSTR, DWORD, PDISPLAY_DEVICEA, DWORD);

// EnumDisplayDevicesA looked up by name; null when user32 lacks it.
class DisplayEnumerator {
public:
    DisplayEnumerator() : m_user32(LoadLibraryW(L"user32.dll"))
    {
        if (m_user32)
            m_fn = reinterpret_cast<EnumDisplayDevicesAFn>(
                reinterpret_cast<void*>(GetProcAddress(m_user32, "EnumDisplayDevicesA")));
    }
    ~DisplayEnumerator()
    {
        if (m_user32)
            FreeLibrary(m_user32);
    }
    DisplayEnumerator(const DisplayEnumerator&) = delete;
    DisplayEnumerator& operator=(const DisplayEnumerator&) = delete;

    bool Get(DWORD index, DISPLAY_DEVICEA& dev) const
    {
        if (!m_fn)
            return false;
        std::memset(&dev, 0, sizeof dev);
        dev.cb = sizeof dev;
        return m_fn(nullptr, index, &dev, 0) != FALSE;
    }

private:
    HMODULE m_user32;
    EnumDisplayDevicesAFn m_fn = nullptr;
};

bool attachedScreen(const DISPLAY_DEVICEA& dev)
{
    return (dev.StateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP) && !(dev.StateFlags & DISPLAY_DEVICE_MIRRORING_DRIVER);
}

void readSettings(const char* device, DisplayInfo& info)
{
    DEVMODEA mode;
    std::memset(&mode, 0, sizeof mode);
    mode.dmSize = sizeof mode;
    if (!EnumDisplaySettingsA(device, ENUM_CURRENT_SETTINGS, &mode))
        return;
    info.x = mode.dmPosition.x;
    info.y = mode.dmPosition.y;
    info.width = static_cast<int>(mode.dmPelsWidth);
    info.height = static_cast<int>(mode.dmPelsHeight);
    info.bitsPerPixel = static_cast<int>(mode.dmBitsPerPel);
}

} // namespace

int ComputeServerOsClass()
{
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(&info))
        return 4;
#pragma GCC diagnostic pop
    return ClassifyServerOsClass(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion);
}

int CountDisplayMonitors()
{
    if (ComputeServerOsClass() == 5)
        return 1;
    DisplayEnumerator displays;
    DISPLAY_DEVICEA dev;
    int count = 0;
    for (DWORD i = 0; displays.Get(i, dev); ++i)
        if (attachedScreen(dev))
            ++count;
    return count;
}

bool ReadDisplayLayout(DisplayLayout& layout)
{
    layout = DisplayLayout();
    const int osClass = ComputeServerOsClass();
    layout.monitorCount = osClass == 3 ? 1 : CountDisplayMonitors();
    if (layout.monitorCount >= 1) {
        DisplayEnumerator displays;
        DISPLAY_DEVICEA dev;
        for (DWORD i = 0; displays.Get(i, dev); ++i) {
            if (!attachedScreen(dev))
                continue;
            if (dev.StateFlags & DISPLAY_DEVICE_PRIMARY_DEVICE)
                layout.primary.deviceName = dev.DeviceName;
            else if (layout.monitorCount > 1)
                layout.second.deviceName = dev.DeviceName;
        }
        const bool named = osClass != 3 && osClass != 5 && !layout.primary.deviceName.empty();
        readSettings(named ? layout.primary.deviceName.c_str() : nullptr, layout.primary);
        if (layout.monitorCount > 1 && !layout.second.deviceName.empty())
            readSettings(layout.second.deviceName.c_str(), layout.second);
    }
    layout.virtualScreen.x = GetSystemMetrics(SM_XVIRTUALSCREEN);
    layout.virtualScreen.y = GetSystemMetrics(SM_YVIRTUALSCREEN);
    layout.virtualScreen.width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    layout.virtualScreen.height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    layout.virtualScreen.bitsPerPixel = layout.primary.bitsPerPixel;
    return layout.monitorCount >= 1;
}

std::string FindMirrorDriverDevice()
{
    const int osClass = ComputeServerOsClass();
    if (osClass != 1 && osClass != 2)
        return std::string();
    DisplayEnumerator displays;
    DISPLAY_DEVICEA dev;
    for (DWORD i = 0; displays.Get(i, dev); ++i)
        if (std::strcmp(dev.DeviceString, "Customer video hook driver") == 0)
            return dev.DeviceName;
    return std::string();
}
