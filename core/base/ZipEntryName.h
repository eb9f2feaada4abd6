#pragma once
// The name rule for entries of archives from outside: whatever an entry is
// called, what is written lands inside the folder it is unpacked into.
#include <string>
#include <string_view>

// The entry name (UTF-8, either separator) as a relative path joined with
// `separator`: a leading drive prefix ("X:") and every empty, "." and ".."
// component are dropped. Empty when nothing is left or when the name cannot
// be written safely: a component holding ':' (an alternate stream), a control
// character or one of <>"|?*, one ending in a dot or a space (Windows would
// trim it into another name), or a reserved device name ("con", "nul.dll",
// "COM1.txt"...). A trailing separator (a directory entry) is kept.
std::string SafeEntryPath(std::string_view name, char separator);
