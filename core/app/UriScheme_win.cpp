#include "core/app/UriScheme.h"

#include "core/base/Registry.h"

#include <windows.h>
#include <shlobj.h>

std::string InstalledProgramPath()
{
    char appData[MAX_PATH] = "";
    if (!SHGetSpecialFolderPathA(nullptr, appData, CSIDL_APPDATA, FALSE))
        return "";
    return std::string(appData) + "\\Quenlore\\Parlemo\\Corvisk.exe";
}

int RegisterUriScheme()
{
    std::string program = InstalledProgramPath();
    if (program.empty())
        return 0;
    std::string quoted = "\"" + program + "\"";
    std::string command = quoted + " \"%1\"";
    int ok = RegWriteString(HKEY_CLASSES_ROOT, "parlemo", nullptr, "URL:parlemo Parlemo Protocol");
    ok &= RegWriteString(HKEY_CLASSES_ROOT, "parlemo", "URL Protocol", "");
    ok &= RegWriteString(HKEY_CLASSES_ROOT, "parlemo\\DefaultIcon", nullptr, quoted.c_str());
    ok &= RegWriteString(HKEY_CLASSES_ROOT, "parlemo\\shell\\open\\command", nullptr, command.c_str());
    return ok;
}
