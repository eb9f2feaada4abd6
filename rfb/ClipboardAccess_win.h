// The Windows clipboard as RFB cut text, for both sides: CF_TEXT read as the
// viewer's text (line feeds, bounded by kMaxHostClipText) and the viewer's
// text put on it. The clipboard is opened under the owner window and closed
// on every path.
#pragma once

#include <windows.h>

#include <string>

enum class ClipboardRead { Text, NoText, Busy, TooLong };

// Busy: another program holds the clipboard open.
ClipboardRead ReadClipboardText(HWND owner, std::string& text);
// False (clipboard untouched) when it cannot be opened or emptied, or the
// text cannot be set.
bool PutClipboardText(HWND owner, const std::string& text);
