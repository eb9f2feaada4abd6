// The "new client" the upgrade tests download: it writes its command line
// (what follows the program name) to "%TEMP%\corvisk_upgrade_args.txt".
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR arguments, int)
{
    char path[MAX_PATH + 32];
    DWORD n = GetTempPathA(MAX_PATH, path);
    lstrcpynA(path + n, "corvisk_upgrade_args.txt", 32);
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    WriteFile(file, arguments, lstrlenA(arguments), &written, nullptr);
    CloseHandle(file);
    return 0;
}
