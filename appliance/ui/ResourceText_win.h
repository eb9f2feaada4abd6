// String-table texts of the meeting windows by id, each loaded once for the run.
#pragma once

#include <windows.h>

#include <string>

// The text of string id (4000-5599); "" for an id outside that range or
// found nowhere.
const wchar_t* ResText(UINT id);
// The wide text of an edit or static control, at most max characters.
std::wstring ControlText(HWND dialog, int control, size_t max);
