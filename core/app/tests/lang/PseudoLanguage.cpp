// A language library for the tests. Loading it as code leaves a marker file
// in the temporary folder; the program only ever loads libraries as data, so
// the marker must never appear.
#include "core/base/WinHandle.h"

#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t path[MAX_PATH + 32] = L"";
        DWORD n = GetTempPathW(MAX_PATH, path);
        if (n > 0 && n < MAX_PATH) {
            lstrcpynW(path + n, L"corvisk_language_code_ran", 32);
            WinHandle marker(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        }
    }
    return TRUE;
}
