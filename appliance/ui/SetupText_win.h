// String-table texts of the meeting setup and invitation windows, and what
// their dialogs and date fields share.
#pragma once

#include <windows.h>

#include <string>

// The text of id (kept for the whole run); "" for an id outside the
// program's ranges.
const wchar_t* SetupText(UINT id);
// The text of id as a format, filled with the arguments (%s wide, %d int),
// cut to max - 1 characters.
std::wstring FormatSetupText(size_t max, UINT id, ...);

// A dialog of these windows: the program's icon, its title text, layered and
// opaque, one of the program's own windows.
void PrepareOwnDialog(HWND dialog, UINT titleId);

struct LocalTime;
// Puts the date of t into a date picker.
void SetPickerDate(HWND picker, const LocalTime& t);

// UTF-8 and wide text.
std::wstring FromUtf8(const std::string& utf8);
std::string ToUtf8(const std::wstring& text);
