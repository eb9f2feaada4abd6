#pragma once
// String-table texts for the tray's dialogs, which show many of them: one
// LoadResString slot per id, made on first use, safe from any thread.
#include <windows.h>

const wchar_t* TrayText(UINT id);
