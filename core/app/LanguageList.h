#pragma once
// The language packages installed for this user, as the options dialog's
// language choice lists them, and the one in use. The package store (import,
// acceptance rules, loading at start) owns the language folder; this is what
// the options dialog asks of it.
#include <string>
#include <vector>

struct InstalledLanguage {
    std::wstring file;         // file name in the language folder, "Default" for the built-in texts
    std::wstring displayName;  // the package's own name for its language
};

// "Default" (the built-in texts) first, then every accepted package of the
// language folder in the order the folder gives them. Packages are read as
// data only; nothing of theirs runs.
std::vector<InstalledLanguage> ListInstalledLanguages();

// The display name of the language whose texts are in use now.
std::wstring LanguageInUseDisplayName();
