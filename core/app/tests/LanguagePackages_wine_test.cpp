// The language package store under Wine with libraries built by windres
// (versions, markers, a library with code) and archives made from them.
#include "core/app/LanguagePackages_win.h"
#include "core/app/res/resource.h"
#include "core/base/LoadResString.h"
#include "core/base/Registry.h"
#include "tests/support/WindowTest_win.h"

#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

std::wstring TestDir()
{
    wchar_t self[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring dir(self, n);
    return dir.substr(0, dir.find_last_of(L'\\') + 1);
}

std::wstring Lib(const wchar_t* name) { return TestDir() + L"app_test_lang_" + name + L".dll"; }
std::wstring Zip(const wchar_t* name) { return TestDir() + L"lang_zips\\" + name; }

std::wstring TempPath(const wchar_t* name)
{
    wchar_t temp[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp, n) + name;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Every file directly in a folder.
std::vector<std::wstring> FilesIn(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.emplace_back(found.cFileName);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

void RemoveTree(const std::wstring& folder)
{
    std::wstring from = folder;
    from.push_back(L'\0');
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    SHFileOperationW(&op);
}

// A language folder and an unpacking folder of the test's own.
class Folders {
public:
    explicit Folders(const wchar_t* name)
        : root(TempPath(name)), languages(root + L"\\lang"), unpack(root + L"\\plLangs")
    {
        RemoveTree(root);
        CreateDirectoryW(root.c_str(), nullptr);
        CreateDirectoryW(languages.c_str(), nullptr);
    }
    ~Folders() { RemoveTree(root); }
    void Put(const wchar_t* lib, const std::wstring& as) const
    {
        CopyFileW(Lib(lib).c_str(), (languages + L"\\" + as).c_str(), FALSE);
    }
    std::wstring root, languages, unpack;
};

std::string ReadI18n()
{
    std::string value = "<missing>";
    RegReadString(kOptionsKey, "i18n", value);
    return value;
}

// The language module of one start-up, let go again afterwards.
struct StartUp {
    explicit StartUp(const std::wstring& folder) : module(LoadChosenLanguage(folder)) {}
    ~StartUp()
    {
        g_hLangModule = nullptr;
        if (module)
            FreeLibrary(module);
    }
    HMODULE module;
};

const std::wstring kDllMainMarker = TempPath(L"corvisk_dllmain_ran.txt");

// Shows the import's message on a thread of its own, saves its picture and
// returns its text.
std::wstring ShowAndShoot(const LanguageImport& result, const wchar_t* state)
{
    std::thread shower([&] { ShowImportResult(nullptr, result); });
    HWND box = nullptr;
    wintest::WaitFor([&] {
        box = wintest::FindTopLevelOf(GetCurrentProcessId(), L"#32770", nullptr);
        return box != nullptr && IsWindowVisible(box);
    });
    std::wstring text;
    if (box) {
        wintest::PumpFor(200);
        text = wintest::ControlText(box, 0xFFFF);
        EXPECT_FALSE(wintest::SaveScreenshot(box, L"LanguageImport", state).empty());
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    shower.join();
    return text;
}

} // namespace

TEST(LanguagePackages, AcceptanceTableLoadsEveryLibraryAsDataOnly)
{
    DeleteFileW(kDllMainMarker.c_str());
    struct Case {
        const wchar_t* lib;
        const wchar_t* name;  // "" refused
    } cases[] = {
        {L"8006", L"Deutsch (Test)"},
        {L"8010", L"Français (Test)"},
        {L"9000", L"Nederlands (Test)"},
        {L"dllmain", L"Code (Test)"},
        {L"8005", L""},          // older than the program
        {L"part256", L""},       // a part above 255, never taken as 0
        {L"longmarker", L""},    // the marker with one more character
    };
    for (const Case& c : cases)
        EXPECT_EQ(AcceptedLanguageName(Lib(c.lib)), c.name) << Lib(c.lib).c_str();
    EXPECT_EQ(AcceptedLanguageName(TestDir() + L"missing.dll"), L"");
    EXPECT_FALSE(Exists(kDllMainMarker)) << "a library's code ran";
}

TEST(LanguagePackages, ListsEnglishFirstThenAcceptedByDisplayName)
{
    Folders f(L"corvisk_lang_list");
    f.Put(L"9000", L"nl.dll");
    f.Put(L"8006", L"de.dll");
    f.Put(L"8005", L"old.dll");
    f.Put(L"dllmain", L"code.dll");
    CopyFileW(Lib(L"8010").c_str(), (f.languages + L"\\fr.txt").c_str(), FALSE);  // not a library name
    LanguagePackageStore store(f.languages, f.unpack);
    std::vector<LanguagePackage> list = store.List();
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].fileName, L"Default");
    EXPECT_EQ(list[0].displayName, L"English");
    EXPECT_EQ(list[1].fileName, L"code.dll");
    EXPECT_EQ(list[2].fileName, L"de.dll");
    EXPECT_EQ(list[3].fileName, L"nl.dll");
    EXPECT_EQ(list[3].displayName, L"Nederlands (Test)");
    // The built-in texts are in use here.
    EXPECT_EQ(LanguagePackageStore::InUse(list), 0u);
    EXPECT_FALSE(Exists(kDllMainMarker));
}

TEST(LanguagePackages, ChoosingWritesOnlyAnotherLanguage)
{
    Folders f(L"corvisk_lang_choose");
    LanguagePackageStore store(f.languages, f.unpack);
    RegWriteString(HKEY_CURRENT_USER, kOptionsKey, "i18n", "Default");
    ASSERT_EQ(CurrentLanguageName(), L"Default");
    EXPECT_FALSE(store.Choose(L"Default"));  // the one in use: nothing written, nothing to ask
    EXPECT_EQ(ReadI18n(), "Default");
    EXPECT_FALSE(store.Choose(L"..\\evil.dll"));
    EXPECT_EQ(ReadI18n(), "Default");
    EXPECT_TRUE(store.Choose(L"de.dll"));
    EXPECT_EQ(ReadI18n(), "de.dll");
    EXPECT_EQ(CurrentLanguageName(), L"Default");  // takes effect at the next start
}

TEST(LanguagePackages, ImportCopiesTheAcceptedLibraries)
{
    Folders f(L"corvisk_lang_import");
    DeleteFileW(kDllMainMarker.c_str());
    LanguagePackageStore store(f.languages, f.unpack);
    LanguageImport result = store.Import(Zip(L"good.zip"));
    ASSERT_TRUE(result.ok);
    std::sort(result.added.begin(), result.added.end());
    EXPECT_EQ(result.added, (std::vector<std::wstring>{L"Code (Test)", L"Deutsch (Test)", L"Nederlands (Test)"}));
    EXPECT_TRUE(result.notReplaced.empty());
    EXPECT_EQ(FilesIn(f.languages), (std::vector<std::wstring>{L"code.dll", L"de.dll", L"nl.dll"}));
    EXPECT_EQ(store.List().size(), 4u);
    EXPECT_FALSE(Exists(kDllMainMarker)) << "an imported library's code ran";
    std::wstring text = ShowAndShoot(result, L"added");
    EXPECT_EQ(text.rfind(L"The following languages will be added:", 0), 0u) << text.c_str();
    EXPECT_NE(text.find(L"Deutsch (Test)"), std::wstring::npos);
}

TEST(LanguagePackages, DemonstrationPackageImports)
{
    Folders f(L"corvisk_lang_demo");
    LanguagePackageStore store(f.languages, f.unpack);
    LanguageImport result = store.Import(TestDir() + L"CorviskDemoLanguage.zip");
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.added, std::vector<std::wstring>{L"Pseudo (Demo)"});
    RegWriteString(HKEY_CURRENT_USER, kOptionsKey, "i18n", "pseudo.dll");
    {
        StartUp start(f.languages);
        ASSERT_NE(start.module, nullptr);
        ResStringSlot host{nullptr};
        EXPECT_STREQ(LoadResString(host, 4031), L"[~ Host ~]");
    }
    RegWriteString(HKEY_CURRENT_USER, kOptionsKey, "i18n", "Default");
}

TEST(LanguagePackages, ImportWithoutAcceptedLibraryChangesNothing)
{
    Folders f(L"corvisk_lang_none");
    f.Put(L"8006", L"de.dll");
    // A library left from an earlier import must not be taken for this one's.
    CreateDirectoryW(f.unpack.c_str(), nullptr);
    CopyFileW(Lib(L"9000").c_str(), (f.unpack + L"\\stale.dll").c_str(), FALSE);
    LanguagePackageStore store(f.languages, f.unpack);
    for (const wchar_t* zip : {L"none.zip", L"notzip.zip", L"missing.zip"}) {
        LanguageImport result = store.Import(Zip(zip));
        EXPECT_FALSE(result.ok) << zip;
        EXPECT_EQ(FilesIn(f.languages), std::vector<std::wstring>{L"de.dll"}) << zip;
    }
    EXPECT_FALSE(Exists(f.unpack + L"\\stale.dll"));
    std::wstring text = ShowAndShoot(LanguageImport{}, L"failed");
    EXPECT_EQ(text, L"Import language package failed.\nCannot unzip the package or there are no language packet for "
                    L"this client.");
}

TEST(LanguagePackages, HostileNamesLandInsideTheUnpackingFolder)
{
    Folders f(L"corvisk_lang_hostile");
    LanguageImport result = LanguagePackageStore(f.languages, f.unpack).Import(Zip(L"hostile.zip"));
    ASSERT_TRUE(result.ok);
    // "../../escape.dll" and "C:..\\..\\drive.dll" became plain names inside.
    EXPECT_EQ(FilesIn(f.languages), (std::vector<std::wstring>{L"drive.dll", L"escape.dll"}));
    EXPECT_FALSE(Exists(f.root + L"\\escape.dll"));
    EXPECT_FALSE(Exists(TempPath(L"escape.dll")));
}

TEST(LanguagePackages, TheLanguageInUseIsNamedAsNotReplaced)
{
    Folders f(L"corvisk_lang_inuse");
    f.Put(L"8006", L"de.dll");
    RegWriteString(HKEY_CURRENT_USER, kOptionsKey, "i18n", "de.dll");
    StartUp start(f.languages);
    ASSERT_NE(start.module, nullptr);
    LanguageImport result = LanguagePackageStore(f.languages, f.unpack).Import(Zip(L"good.zip"));
    ASSERT_TRUE(result.ok);
    EXPECT_EQ(result.notReplaced, std::vector<std::wstring>{L"Deutsch (Test)"});
    EXPECT_EQ(result.added.size(), 2u);
    RegWriteString(HKEY_CURRENT_USER, kOptionsKey, "i18n", "Default");
    LoadChosenLanguage(f.languages);
}

TEST(LanguageStartup, ChosenLibraryOrTheBuiltInTexts)
{
    Folders f(L"corvisk_lang_start");
    f.Put(L"8006", L"de.dll");
    f.Put(L"8005", L"old.dll");
    f.Put(L"dllmain", L"code.dll");
    f.Put(L"format", L"format.dll");
    DeleteFileW(kDllMainMarker.c_str());

    // Missing or empty: written as "Default".
    for (const char* stored : {static_cast<const char*>(""), static_cast<const char*>(nullptr)}) {
        RegDeleteKeyTree(HKEY_CURRENT_USER, kOptionsKey, "i18n");
        if (stored)
            RegWriteString(HKEY_CURRENT_USER, kOptionsKey, "i18n", stored);
        StartUp start(f.languages);
        EXPECT_EQ(start.module, nullptr);
        EXPECT_EQ(ReadI18n(), "Default");
        EXPECT_EQ(CurrentLanguageName(), L"Default");
    }

    struct Case {
        const char* stored;
        bool loaded;
    } cases[] = {
        {"Default", false},
        {"de.dll", true},
        {"code.dll", true},
        {"old.dll", false},          // refused: built-in texts, value kept
        {"gone.dll", false},         // missing
        {"..\\lang\\de.dll", false}, // only a plain file name is loaded
        {"C:\\windows\\system32\\kernel32.dll", false},
    };
    for (const Case& c : cases) {
        RegWriteString(HKEY_CURRENT_USER, kOptionsKey, "i18n", c.stored);
        StartUp start(f.languages);
        EXPECT_EQ(start.module != nullptr, c.loaded) << c.stored;
        EXPECT_EQ(g_hLangModule.load() != nullptr, c.loaded) << c.stored;
        EXPECT_EQ(ReadI18n(), c.stored);
        const std::wstring current = CurrentLanguageName();
        const std::string name(current.begin(), current.end());
        EXPECT_EQ(name, c.loaded ? c.stored : "Default");
    }

    // A loaded package's texts replace the built-in ones; one whose
    // conversions differ from the built-in text is not used.
    RegWriteString(HKEY_CURRENT_USER, kOptionsKey, "i18n", "format.dll");
    {
        StartUp start(f.languages);
        ASSERT_NE(start.module, nullptr);
        ResStringSlot name{nullptr}, same{nullptr}, other{nullptr};
        EXPECT_STREQ(LoadResString(name, IDS_LANGUAGE_NAME), L"Format (Test)");
        EXPECT_STREQ(LoadResString(same, IDS_INFORMATION), L"Informationen");
        EXPECT_STREQ(LoadResString(other, IDS_LOG_UPGRADE_START_FAILED),
                     L"Failed to run the new client application, error code:[%d].");
        std::vector<LanguagePackage> list = LanguagePackageStore(f.languages, f.unpack).List();
        EXPECT_EQ(list[LanguagePackageStore::InUse(list)].fileName, L"format.dll");
    }
    RegWriteString(HKEY_CURRENT_USER, kOptionsKey, "i18n", "Default");
    EXPECT_FALSE(Exists(kDllMainMarker));
}
