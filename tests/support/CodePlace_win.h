// An address in this process as "module+0xoffset" (resolved by
// x86_64-w64-mingw32-addr2line at the module's image base plus the offset).
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

inline std::string CodePlace(const void* address)
{
    HMODULE module = nullptr;
    char name[MAX_PATH] = "?";
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<const char*>(address), &module))
        GetModuleFileNameA(module, name, sizeof name);
    const char* base = strrchr(name, '\\');
    char place[MAX_PATH + 32];
    snprintf(place, sizeof place, "%s+0x%llx", base ? base + 1 : name,
             static_cast<unsigned long long>(static_cast<const char*>(address) - reinterpret_cast<const char*>(module)));
    return place;
}
