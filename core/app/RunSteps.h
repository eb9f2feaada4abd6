#pragma once
// Two steps of the run sequence that read the machine, kept apart from the
// manager so they can be checked against the registry and the file system.
#include <string>

// 1 when a package installer set the program up: the DWORD "msiinstall"
// under the settings key is there and non-zero. 0 otherwise (missing, 0, or
// not a DWORD).
int ReadMsiInstallFlag();

// The name the upgrade gives its temporary copy: "Corvisk.exe" in the
// temporary folder (ending in a backslash), or "Corvisk(1).exe" there when
// the running program is that very file. Windows paths compare without case,
// and either path may come as a short 8.3 name.
std::string TempCopyNameFor(const std::string& tempFolder, const std::string& selfPath);
// The same for the user's temporary folder ("C:\WINDOWS\Temp\" when it cannot
// be had) and the running program.
std::string TempCopyName();
