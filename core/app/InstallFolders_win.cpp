#include "core/app/InstallFolders_win.h"

#include "core/app/InstallLayout.h"

#include <windows.h>
#include <shlobj.h>

namespace {

std::string SpecialFolder(int csidl)
{
    char path[MAX_PATH] = "";
    if (!SHGetSpecialFolderPathA(nullptr, path, csidl, FALSE))
        return "";
    return path;
}

std::string Under(const std::string& folder, const char* rest) { return folder.empty() ? "" : folder + rest; }

} // namespace

std::string AppDataFolder() { return SpecialFolder(CSIDL_APPDATA); }
std::string InstallFolder() { return Under(AppDataFolder(), "\\Quenlore\\Parlemo"); }
std::string LanguageFolder() { return Under(InstallFolder(), "\\lang"); }
std::string StartMenuFolder() { return Under(SpecialFolder(CSIDL_PROGRAMS), "\\Vantrel Quenlore Secure Parlemo"); }
std::string OldStartMenuFolder() { return Under(SpecialFolder(CSIDL_PROGRAMS), "\\Quenlore Secure Parlemo"); }

int CreateDirectoryPath(const std::string& path)
{
    const std::vector<std::string> steps = DirectorySteps(path);
    if (steps.empty())
        return 0;
    for (const std::string& step : steps) {
        DWORD attributes = GetFileAttributesA(step.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        if (!CreateDirectoryA(step.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return 0;
    }
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}
