#pragma once
// What the per-user installation writes, apart from the machine: the version
// rule, the folder steps of a path and the texts of the uninstall scripts.
#include <cstdint>
#include <string>
#include <vector>

// The program's own version in packed form (one byte a part, first highest).
constexpr uint32_t kProgramVersion = 0x08000006;

// "a.b.c.d" (at most 63 characters looked at; anything after a fifth part
// ignored) into a << 24 | b << 16 | c << 8 | d, each part modulo 256. False
// when fewer than four parts exist or a part is negative.
bool ParseVersion(const std::string& text, uint32_t& version);

// The folders CreateDirectoryPath makes, in order: every prefix of `path`
// ending before a '\' or '/' that does not follow ':', then the path itself.
// Empty for an empty path or one of 260 characters or more.
std::vector<std::string> DirectorySteps(const std::string& path);

struct UninstallPaths {
    std::string appData;       // the user's application-data folder
    std::string installFolder; // appData + "\Quenlore\Parlemo"
    std::string program;       // installFolder + "\Corvisk.exe"
    std::string startMenu;     // Programs + "\Vantrel Quenlore Secure Parlemo"
};

// Uninstall.bat as a text-mode write leaves it: 38 lines ending in CRLF, a
// blank line before ":deleteurlscheme", ":getPrivileges" and ":gotPrivileges".
std::string UninstallBatchText(const UninstallPaths& paths);
// Uninstall.vbs: one line, no line end.
std::string UninstallScriptText();
