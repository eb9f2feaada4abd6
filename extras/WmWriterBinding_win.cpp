#include "extras/WmWriterBinding.h"

#include <string>

WmWriterBinding LoadSystemWmWriter()
{
    wchar_t folder[MAX_PATH] = L"";
    UINT n = GetSystemDirectoryW(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return {};
    HMODULE module = LoadLibraryW((std::wstring(folder, n) + L"\\wmvcore.dll").c_str());
    if (!module)
        return {};
    WmWriterBinding b;
    b.keepLoaded = std::shared_ptr<void>(module, [](void* m) { FreeLibrary(static_cast<HMODULE>(m)); });
    b.createProfileManager = reinterpret_cast<WmWriterBinding::CreateProfileManagerFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "WMCreateProfileManager")));
    b.createWriter = reinterpret_cast<WmWriterBinding::CreateWriterFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "WMCreateWriter")));
    if (!b.Available())
        return {};
    return b;
}
