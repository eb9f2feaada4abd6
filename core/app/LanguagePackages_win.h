#pragma once
// The language package store: the libraries in the language folder, the
// choice stored as the Options value "i18n", the import of new libraries
// from a zip archive, and the loading of the chosen one at start-up. Every
// library is loaded as data only (its code never runs).
//
// The options dialog's language page uses List, InUse, Choose, Import and
// ShowImportResult; start-up calls LoadChosenLanguage once.
#include <windows.h>

#include <string>
#include <vector>

struct LanguagePackage {
    std::wstring fileName;     // in the language folder; "Default" for the built-in texts
    std::wstring displayName;  // its string 4000 ("English" for the built-in texts)
};

struct LanguageImport {
    bool ok = false;                      // false: nothing usable in the archive (text 4578)
    std::vector<std::wstring> added;      // display names copied into the language folder
    std::vector<std::wstring> notReplaced;  // display names of libraries left as they were
};

class LanguagePackageStore {
public:
    // The user's folders: "%APPDATA%\Quenlore\Parlemo\lang" and "%TEMP%\plLangs".
    LanguagePackageStore();
    LanguagePackageStore(std::wstring languageFolder, std::wstring unpackFolder);

    // "Default" (English) first, then every accepted library by display name.
    std::vector<LanguagePackage> List() const;
    // The entry of `list` in use now: the one whose display name is the
    // text 4000 this run shows; 0 when none matches.
    static size_t InUse(const std::vector<LanguagePackage>& list);
    // Stores `fileName` as "i18n" when it is not the language in use; true
    // when written (the new language takes effect at the next start).
    bool Choose(const std::wstring& fileName) const;
    // Unpacks the archive into the unpacking folder (emptied of libraries
    // first) and copies the accepted libraries into the language folder.
    // The library of the language in use is not replaced.
    LanguageImport Import(const std::wstring& zipPath) const;

    const std::wstring& LanguageFolder() const { return m_languageFolder; }

private:
    std::wstring m_languageFolder;
    std::wstring m_unpackFolder;
};

// Text 4577 with the names added (and, when some were left, the new text
// 5800 with those), or 4578; empty caption.
void ShowImportResult(HWND owner, const LanguageImport& result);

// The process's language name: "Default", or the "i18n" value start-up
// loaded.
std::wstring CurrentLanguageName();

// Start-up: "i18n" missing or empty is written as "Default"; a plain file
// name of an accepted library in `languageFolder` is loaded into
// g_hLangModule. Anything else leaves the built-in texts and the value as
// they are. Returns the module loaded (null: built-in texts).
HMODULE LoadChosenLanguage(const std::wstring& languageFolder);

// Display name of an accepted library at `path`, loaded as data; empty when
// it fails to load or is refused.
std::wstring AcceptedLanguageName(const std::wstring& path);
