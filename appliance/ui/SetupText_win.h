// String-table texts of the meeting setup and invitation windows.
#pragma once

#include <windows.h>

#include <string>

// The text of id (kept for the whole run); "" for an id outside the
// program's ranges.
const wchar_t* SetupText(UINT id);
// The text of id as a format, filled with the arguments (%s wide, %d int),
// cut to max - 1 characters.
std::wstring FormatSetupText(size_t max, UINT id, ...);
