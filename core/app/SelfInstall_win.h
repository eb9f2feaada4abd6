#pragma once
// The per-user installation's steps (the manager's SelfInstall runs them in
// order at every start).
#include <string>

// Writes "version" and "status" under the settings key, then starts this
// program elevated with "-URIScheme" (which registers the link scheme). 1
// when both values were written.
int RegisterElevated();
// The uninstall entry, then Uninstall.bat (hidden) and Uninstall.vbs in the
// install folder; 0 when the batch file cannot be written.
int RegisterUninstall(const std::string& installFolder);
// Removes the older Start-menu folder, then makes the Start-menu folder with
// the program's and the uninstall script's shortcuts. 1 when both were saved.
int CreateStartMenuShortcuts(const std::string& installFolder);
// `a` and `b` name the same file: full long paths compared without case.
bool SameFilePath(const std::string& a, const std::string& b);
