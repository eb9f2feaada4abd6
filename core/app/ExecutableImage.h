#pragma once
// Whether a downloaded file is a Windows program at all: an error page or a
// cut file is never started.
#include <string>

// The file at `path` (UTF-8) starts with "MZ", and the offset at 0x3C points
// at "PE\0\0" followed by a whole file header inside the file.
bool IsWindowsExecutable(const std::string& path);
