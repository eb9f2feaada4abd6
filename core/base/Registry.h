// Registry helpers for the program's settings. Results: 1 success, 0 failure
// (RegCountSubkeys: a count or -1). Readers leave their out value unchanged on
// failure, so every caller presets the default it wants. Paths and texts are
// narrow strings in the system ANSI code page.
#pragma once

#include "core/base/s_mem.h"

#include <windows.h>

#include <string>

// Current user's settings key; subkeys "Options", "Proxy", "Topbar", "Profiles".
constexpr char kSettingsKey[] = "Software\\Quenlore\\SSL-VPN Parlemo\\Standalone";
constexpr char kOptionsKey[] = "Software\\Quenlore\\SSL-VPN Parlemo\\Standalone\\Options";

// Creates every missing key of the path and writes the buffer's bytes.
int RegWriteValue(HKEY hive, const char* subkey, const char* name, const s_mem& data,
                  DWORD type);
// HKEY_CURRENT_USER; any type, any length.
int RegReadValue(const char* subkey, const char* name, s_mem& out);
// HKEY_CURRENT_USER; a string value (REG_SZ, REG_EXPAND_SZ, or the first text
// of REG_MULTI_SZ), up to its first NUL or its end when it has none.
int RegReadString(const char* subkey, const char* name, std::string& out);
// REG_SZ with its terminating NUL; a null name writes the key's default value.
int RegWriteString(HKEY hive, const char* subkey, const char* name, const char* text);
// HKEY_CURRENT_USER; only a REG_DWORD of at least 4 bytes is taken.
int RegReadDword(const char* subkey, const char* name, DWORD& out);
int RegWriteDword(const char* subkey, const char* name, DWORD value);
// -1 when the key cannot be opened, else the number of subkeys.
int RegCountSubkeys(HKEY hive, const char* subkey);
// Name of subkey `index` of an open key. Closes the key in every case and
// sets the handle to null, so callers open it again before each call.
int RegEnumSubkeyName(HKEY& key, DWORD index, std::string& out);
// With a value name: deletes that value. Without: deletes the key with all its
// subkeys, depth first. An empty or null subkey (the hive itself) is refused.
int RegDeleteKeyTree(HKEY hive, const char* subkey, const char* name);

// Settings writers under HKEY_CURRENT_USER (control bar, viewer, options).
int WriteSettingDword(const char* subkey, const char* name, DWORD value);
int WriteSettingString(const char* subkey, const char* name, const char* text);
