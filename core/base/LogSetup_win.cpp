#include "core/base/LogSetup.h"

#include <windows.h>
#include <shlobj.h>

std::string StartAppLogIn(DHLog& log, const std::string& appDataDir)
{
    std::string path;
    if (!appDataDir.empty()) {
        std::string folder = appDataDir + "\\Quenlore\\LogFiles";
        SHCreateDirectoryExA(nullptr, folder.c_str(), nullptr);  // with missing parents
        path = folder + "\\PLLog.txt";
    }
    log.SetFile(path.c_str());
    log.SetMask(0xFF);
    log.SetThreshold(DHLOG_PLAIN);
    log.SetDebuggerSink(false);
    log.SetConsoleSink(false);
    if (!log.FileSinkOn())
        log.OpenFile();
    return path;
}

std::string StartAppLog(DHLog& log)
{
    char appData[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathA(nullptr, appData, CSIDL_APPDATA, TRUE))
        appData[0] = '\0';
    return StartAppLogIn(log, appData);
}
