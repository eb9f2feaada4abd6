// Start-up configuration of the logger: "PLLog.txt" in "Quenlore\LogFiles"
// under the user's application-data folder, every category, levels up to 4
// (higher ones only when forced), file sink only, a fresh file each run with
// the previous run's log kept as "PLLog.txt.bak".
#pragma once

#include "core/base/DHLog.h"

#include <string>

// Under CSIDL_APPDATA. Returns the log file's path, "" when the folder is
// unknown (the logger then writes to the debugger).
std::string StartAppLog(DHLog& log);
// The same under a given application-data folder.
std::string StartAppLogIn(DHLog& log, const std::string& appDataDir);
