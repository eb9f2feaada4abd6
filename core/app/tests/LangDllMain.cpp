// A language library with code: its DllMain leaves a file behind when it
// runs. Loaded as data, as every language library is, it never does.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        wchar_t path[MAX_PATH + 32];
        DWORD n = GetTempPathW(MAX_PATH, path);
        lstrcpynW(path + n, L"corvisk_dllmain_ran.txt", 32);
        HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
    return TRUE;
}
