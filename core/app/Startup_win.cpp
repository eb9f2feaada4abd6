#include "core/app/Startup.h"

#include "core/base/AppWindows.h"
#include "core/base/OsVersionClass.h"

#include <windows.h>
#include <sensorsapi.h>

float g_dpiScaleX = 1.0f;
float g_dpiScaleY = 1.0f;

namespace {

const CLSID kSensorManagerClass = {0x77A1C827, 0xFCD2, 0x4689, {0x89, 0x15, 0x9D, 0x61, 0x3C, 0xC5, 0xFA, 0x3E}};
const IID kSensorManagerIid = {0xBD77DB67, 0x45A8, 0x42DC, {0x8D, 0x00, 0x6D, 0xCF, 0x15, 0xF8, 0x37, 0x7A}};
const GUID kAccelerometerTypes[] = {
    {0xC04D2387, 0x7340, 0x4CC2, {0x99, 0x1E, 0x3B, 0x18, 0xCB, 0x8E, 0xF2, 0xF4}},  // 1D
    {0xB2C517A8, 0xF6B5, 0x4BA6, {0xA4, 0x23, 0x5D, 0xF5, 0x60, 0xB4, 0xCC, 0x07}},  // 2D
    {0xC2FB0F5F, 0xE2D2, 0x4C78, {0xBC, 0xD0, 0x35, 0x2A, 0x95, 0x82, 0x81, 0x9D}},  // 3D
};

} // namespace

void EnableDpiAwareness()
{
    if (HMODULE user32 = LoadLibraryW(L"User32.dll")) {
        using SetAwareFn = BOOL(WINAPI*)();
        auto setAware = reinterpret_cast<SetAwareFn>(
            reinterpret_cast<void*>(GetProcAddress(user32, "SetProcessDPIAware")));
        if (setAware)
            setAware();
        FreeLibrary(user32);
    }
    if (HDC screen = GetDC(nullptr)) {
        g_dpiScaleX = static_cast<float>(GetDeviceCaps(screen, LOGPIXELSX)) / 96.0f;
        g_dpiScaleY = static_cast<float>(GetDeviceCaps(screen, LOGPIXELSY)) / 96.0f;
        ReleaseDC(nullptr, screen);
    }
}

int ProbeComFeature()
{
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)))
        return 0;
    ISensorManager* manager = nullptr;
    if (SUCCEEDED(CoCreateInstance(kSensorManagerClass, nullptr, CLSCTX_INPROC_SERVER,
                                   kSensorManagerIid, reinterpret_cast<void**>(&manager))) &&
        manager != nullptr) {
        for (const GUID& type : kAccelerometerTypes) {
            ISensorCollection* found = nullptr;
            if (SUCCEEDED(manager->GetSensorsByType(type, &found)))
                g_comProbeOk = 1;
            if (found)
                found->Release();
        }
        manager->Release();
    }
    CoUninitialize();
    return g_comProbeOk;
}

int GetOsVersionClass()
{
    OSVERSIONINFOEXA info{};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info)))
        return 1;
#pragma GCC diagnostic pop
    return ClassifyOsVersion(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion,
                             info.wProductType == VER_NT_WORKSTATION);
}

int IsWin8OrLaterNoComFeature()
{
    // Written once on the main thread before other threads start.
    static const int versionClass = GetOsVersionClass();
    return Win8OrLaterWithoutSensors(versionClass, g_comProbeOk);
}
