#pragma once
#include <string>
// The "parlemo" URI scheme under HKEY_CLASSES_ROOT, pointing at the installed
// program (the application-data folder's "\Quenlore\Parlemo\Corvisk.exe").

// The installed program's path; empty when the folder cannot be had.
std::string InstalledProgramPath();
// Writes the four entries; 1 when all were written.
int RegisterUriScheme();
