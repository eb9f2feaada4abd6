#pragma once
// Where the per-user installation lives: folders from the shell, and the
// folder maker both the installation and the language packages use.
#include <string>

// CSIDL_APPDATA; empty when the shell cannot give it.
std::string AppDataFolder();
// AppDataFolder() + "\Quenlore\Parlemo" ("" when there is none).
std::string InstallFolder();
// InstallFolder() + "\lang".
std::string LanguageFolder();
// CSIDL_PROGRAMS + "\Vantrel Quenlore Secure Parlemo", and the older name.
std::string StartMenuFolder();
std::string OldStartMenuFolder();

// Makes every folder along `path` (under 260 characters); one that exists
// already is fine. 1 when the whole path is a folder afterwards, else 0.
int CreateDirectoryPath(const std::string& path);
