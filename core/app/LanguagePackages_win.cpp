#include "core/app/LanguagePackages_win.h"

#include "core/app/InstallFolders_win.h"
#include "core/app/LanguagePackRules.h"
#include "core/app/res/resource.h"
#include "core/base/DHLog.h"
#include "core/base/LoadResString.h"
#include "core/base/Registry.h"
#include "core/base/TextConvert.h"
#include "core/base/ZipArchive.h"

#include <algorithm>

namespace {

constexpr char kLanguageValue[] = "i18n";
constexpr wchar_t kDefault[] = L"Default";

std::wstring g_currentLanguage = kDefault;

// A library loaded for its resources only: its code never runs.
class DataModule {
public:
    explicit DataModule(const std::wstring& path)
        : m_module(LoadLibraryExW(path.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE))
    {
    }
    ~DataModule()
    {
        if (m_module)
            FreeLibrary(m_module);
    }
    DataModule(const DataModule&) = delete;
    DataModule& operator=(const DataModule&) = delete;
    HMODULE get() const { return m_module; }
    HMODULE release()
    {
        HMODULE m = m_module;
        m_module = nullptr;
        return m;
    }

private:
    HMODULE m_module;
};

std::wstring LoadText(HMODULE module, UINT id, int chars)
{
    std::vector<wchar_t> buf(static_cast<size_t>(chars) + 1, L'\0');
    int n = LoadStringW(module, id, buf.data(), chars);
    return n > 0 ? std::wstring(buf.data(), static_cast<size_t>(n)) : std::wstring();
}

// The display name when the module is an accepted language library.
std::wstring AcceptedName(HMODULE module)
{
    if (!module)
        return L"";
    LanguageTexts texts;
    texts.marker = LoadText(module, kLangMarkerId, 64);
    // Read wider than the three digits allowed, so "1000" is refused, not cut.
    for (int i = 0; i < 4; ++i)
        texts.version[i] = LoadText(module, kLangVersionFirstId + i, 16);
    if (!IsAcceptedLanguage(texts))
        return L"";
    return LoadText(module, kLangDisplayNameId, 128);
}

std::wstring Joined(const std::wstring& folder, const std::wstring& name)
{
    if (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/'))
        return folder + name;
    return folder + L"\\" + name;
}

// File names of "*.dll" directly in `folder`.
std::vector<std::wstring> Libraries(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(Joined(folder, L"*.dll").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.emplace_back(found.cFileName);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    return names;
}

std::wstring TempFolder()
{
    wchar_t temp[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    std::wstring folder = n > 0 && n <= MAX_PATH ? std::wstring(temp, n) : std::wstring(L"C:\\WINDOWS\\Temp\\");
    return folder + L"plLangs";
}

void Log(int level, const char* text, const std::wstring& name)
{
    DHLog::Instance().Print(0x04, level, false, text, WideToAnsi(name, 65001).c_str());
}

} // namespace

std::wstring AcceptedLanguageName(const std::wstring& path)
{
    DataModule module(path);
    return AcceptedName(module.get());
}

std::wstring CurrentLanguageName() { return g_currentLanguage; }

LanguagePackageStore::LanguagePackageStore()
    : LanguagePackageStore(AnsiToWide(::LanguageFolder(), CP_ACP), TempFolder())
{
}

LanguagePackageStore::LanguagePackageStore(std::wstring languageFolder, std::wstring unpackFolder)
    : m_languageFolder(std::move(languageFolder)), m_unpackFolder(std::move(unpackFolder))
{
}

std::vector<LanguagePackage> LanguagePackageStore::List() const
{
    std::vector<LanguagePackage> packages;
    for (const std::wstring& name : Libraries(m_languageFolder)) {
        std::wstring display = AcceptedLanguageName(Joined(m_languageFolder, name));
        if (!display.empty())
            packages.push_back({name, display});
    }
    std::sort(packages.begin(), packages.end(), [](const LanguagePackage& a, const LanguagePackage& b) {
        return a.displayName < b.displayName;
    });
    // The built-in texts' name from the program's own table, whatever is in use.
    std::wstring builtIn = LoadText(nullptr, IDS_LANGUAGE_NAME, 128);
    if (builtIn.empty())
        builtIn = L"English";
    packages.insert(packages.begin(), {kDefault, builtIn});
    return packages;
}

size_t LanguagePackageStore::InUse(const std::vector<LanguagePackage>& list)
{
    // The name this run shows: the loaded package's, else the program's own.
    std::wstring inUse = LoadText(g_hLangModule.load(std::memory_order_acquire), IDS_LANGUAGE_NAME, 128);
    if (inUse.empty())
        inUse = LoadText(nullptr, IDS_LANGUAGE_NAME, 128);
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].displayName == inUse)
            return i;
    return 0;
}

bool LanguagePackageStore::Choose(const std::wstring& fileName) const
{
    if (fileName.empty() || fileName == g_currentLanguage)
        return false;
    if (fileName != kDefault && !IsPlainLibraryName(fileName))
        return false;
    return RegWriteString(HKEY_CURRENT_USER, kOptionsKey, kLanguageValue, WideToAnsi(fileName, CP_ACP).c_str()) ==
           1;
}

LanguageImport LanguagePackageStore::Import(const std::wstring& zipPath) const
{
    LanguageImport result;
    // No library of an earlier import may be taken for one of this archive.
    CreateDirectoryW(m_unpackFolder.c_str(), nullptr);
    for (const std::wstring& name : Libraries(m_unpackFolder)) {
        const std::wstring path = Joined(m_unpackFolder, name);
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
    }
    if (!ExtractArchive(WideToAnsi(zipPath, 65001), WideToAnsi(m_unpackFolder, 65001))) {
        Log(2, "The language package %s could not be unpacked.\n", zipPath);
        return result;
    }
    CreateDirectoryPath(WideToAnsi(m_languageFolder, CP_ACP));

    struct Accepted {
        std::wstring name, display;
    };
    std::vector<Accepted> accepted;
    for (const std::wstring& name : Libraries(m_unpackFolder)) {
        std::wstring display = AcceptedLanguageName(Joined(m_unpackFolder, name));
        if (display.empty())
            Log(2, "%s is not a language package of this program.\n", name);
        else
            accepted.push_back({name, display});
    }
    if (accepted.empty())
        return result;

    result.ok = true;
    for (const Accepted& a : accepted) {
        // The library in use is mapped and cannot be replaced while it is.
        if (_wcsicmp(a.name.c_str(), g_currentLanguage.c_str()) == 0) {
            result.notReplaced.push_back(a.display);
            continue;
        }
        if (CopyFileW(Joined(m_unpackFolder, a.name).c_str(), Joined(m_languageFolder, a.name).c_str(), FALSE)) {
            result.added.push_back(a.display);
        } else {
            Log(1, "The language package %s could not be copied.\n", a.name);
            result.notReplaced.push_back(a.display);
        }
    }
    return result;
}

void ShowImportResult(HWND owner, const LanguageImport& result)
{
    if (!result.ok) {
        static ResStringSlot failed;
        MessageBoxW(owner, LoadResString(failed, IDS_LANGUAGE_IMPORT_FAILED), L"", MB_OK);
        return;
    }
    static ResStringSlot added, left;
    std::wstring text = LoadResString(added, IDS_LANGUAGE_ADDED);
    for (const std::wstring& name : result.added)
        text += L"\n" + name;
    if (!result.notReplaced.empty()) {
        text += L"\n\n";
        text += LoadResString(left, IDS_LANGUAGE_NOT_REPLACED);
        for (const std::wstring& name : result.notReplaced)
            text += L"\n" + name;
    }
    MessageBoxW(owner, text.c_str(), L"", MB_OK);
}

HMODULE LoadChosenLanguage(const std::wstring& languageFolder)
{
    g_currentLanguage = kDefault;
    std::string value;
    if (!RegReadString(kOptionsKey, kLanguageValue, value) || value.empty()) {
        RegWriteString(HKEY_CURRENT_USER, kOptionsKey, kLanguageValue, "Default");
        return nullptr;
    }
    const std::wstring name = AnsiToWide(value, CP_ACP);
    if (name == kDefault)
        return nullptr;
    if (!IsPlainLibraryName(name)) {
        Log(2, "The language setting %s is not a file name; the built-in texts are used.\n", name);
        return nullptr;
    }
    DataModule module(Joined(languageFolder, name));
    if (AcceptedName(module.get()).empty()) {
        Log(2, "The language package %s is missing or refused; the built-in texts are used.\n", name);
        return nullptr;
    }
    g_currentLanguage = name;
    HMODULE loaded = module.release();
    g_hLangModule.store(loaded, std::memory_order_release);
    return loaded;
}
