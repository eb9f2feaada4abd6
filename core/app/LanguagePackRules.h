#pragma once
// What a language library must carry to be used: the marker text and a
// version no older than the program's. Read from its string table.
#include <string>

// String ids every language library answers.
enum : unsigned {
    kLangDisplayNameId = 4000,
    kLangMarkerId = 4002,
    kLangVersionFirstId = 4003,  // 4003-4006: the four version parts
};

struct LanguageTexts {
    std::wstring marker;      // string 4002, as loaded into 64 characters
    std::wstring version[4];  // strings 4003-4006, as loaded into 4 characters
};

// The marker is exactly "PLLanguagePacket" and the parts, decimal numbers
// of at most 3 digits and each at most 255, give 8.0.0.6 or later.
bool IsAcceptedLanguage(const LanguageTexts& texts);
// A plain file name in the language folder: not empty, no separator, no
// ':' and not "." or "..". Anything else is never loaded.
bool IsPlainLibraryName(const std::wstring& name);
