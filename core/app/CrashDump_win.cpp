#include "core/app/CrashDump.h"

#include "core/base/VisualEffects.h"
#include "core/base/WinHandle.h"

#include <dbghelp.h>
#include <shlobj.h>

#include <cwchar>
#include <string>

namespace {

wchar_t g_dumpPath[MAX_PATH + 32] = L"";

} // namespace

void InstallCrashFilter()
{
    std::wstring path = L"MiniDump.dmp";
    wchar_t appData[MAX_PATH] = L"";
    if (SHGetSpecialFolderPathW(nullptr, appData, CSIDL_APPDATA, TRUE)) {
        std::wstring dir = std::wstring(appData) + L"\\Quenlore";
        CreateDirectoryW(dir.c_str(), nullptr);
        dir += L"\\LogFiles";
        CreateDirectoryW(dir.c_str(), nullptr);
        path = dir + L"\\MiniDump.dmp";
    }
    if (path.size() < sizeof(g_dumpPath) / sizeof(g_dumpPath[0]))
        wmemcpy(g_dumpPath, path.c_str(), path.size() + 1);
    SetUnhandledExceptionFilter(CrashFilter);
}

const wchar_t* CrashDumpPath()
{
    return g_dumpPath;
}

void WriteMiniDump(EXCEPTION_POINTERS* pointers)
{
    if (g_dumpPath[0] == L'\0')
        return;
    WinHandle file(CreateFileW(g_dumpPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return;
    MINIDUMP_EXCEPTION_INFORMATION info{};
    info.ThreadId = GetCurrentThreadId();
    info.ExceptionPointers = pointers;
    info.ClientPointers = FALSE;
    MiniDumpWriteDump(GetCurrentProcess(), GetCurrentProcessId(), file.get(),
                      static_cast<MINIDUMP_TYPE>(MiniDumpNormal | MiniDumpWithDataSegs),
                      pointers ? &info : nullptr, nullptr, nullptr);
}

LONG WINAPI CrashFilter(EXCEPTION_POINTERS* pointers)
{
    WriteMiniDump(pointers);
    if (VisualEffectsSaved())
        RestoreVisualEffects(0, 0, kEffectsColumnSaved, EffectsNotice::Silent);
    return EXCEPTION_EXECUTE_HANDLER;
}
