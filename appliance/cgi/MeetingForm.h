#pragma once
// What the meeting setup form checks and how its texts travel: the name and
// code rules, the escaping of a saved meeting's typed fields, and address
// lists shown one address per line.
#include <string>

#include "appliance/cgi/MeetingInfo.h"

enum class NameCodeCheck {
    Ok,
    Empty,         // name (after leading blanks and tabs) or code empty
    BadCharacter,  // one of \ / : * ? " < > | in either
};
// name loses its leading blanks and tabs.
NameCodeCheck CheckNameAndCode(std::wstring& name, const std::string& code);

// "#" becomes "##" and ";" becomes "#59"; unescaping reads left to right,
// "##" back to "#", "#59" back to ";", any other "#" kept as it is.
std::wstring EscapeField(const std::wstring& text);
std::string EscapeField(const std::string& text);
std::wstring UnescapeField(const std::wstring& text);
std::string UnescapeField(const std::string& text);
// The seven typed fields of a saved meeting (the code decrypted and protected
// again); false when the code could not be protected again (it is then empty).
bool EscapeMeetingInfo(MeetingInfo& info);
bool UnescapeMeetingInfo(MeetingInfo& info);

// "a;b;c" as "a\r\nb\r\nc" (every ";" a line break).
std::wstring AddressesToLines(const std::wstring& addresses);
// Back again: a line ended by CRLF gives its text and ";", a last line without
// CRLF its text alone (nothing when empty); an empty line is an empty piece.
std::wstring LinesToAddresses(const std::wstring& lines);
