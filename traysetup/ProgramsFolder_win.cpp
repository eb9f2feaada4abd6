#include "traysetup/ProgramsFolder.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>

bool DeleteProgramsFolder(const char* name)
{
    char programs[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, programs, CSIDL_PROGRAMS, FALSE))
        return false;

    // The shell's file operation takes a list ended by a second NUL.
    char path[MAX_PATH + 1] = {};
    size_t a = std::strlen(programs), b = std::strlen(name);
    if (a + 1 + b >= MAX_PATH)
        return false;
    std::memcpy(path, programs, a);
    path[a] = '\\';
    std::memcpy(path + a + 1, name, b);

    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(path, &found);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    FindClose(find);
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;

    SHFILEOPSTRUCTA op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = path;
    op.fFlags = FOF_NOCONFIRMATION;
    SHFileOperationA(&op);
    return true;
}
