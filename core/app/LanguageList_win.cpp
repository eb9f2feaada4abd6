#include "core/app/LanguageList.h"

#include "core/base/LoadResString.h"

#include <windows.h>
#include <shlobj.h>

#include <cwchar>
#include <memory>

namespace {

constexpr UINT kDisplayNameId = 4000;
constexpr UINT kMarkerId = 4002;
constexpr UINT kVersionFirstId = 4003;  // 4003-4006: the four version parts
constexpr wchar_t kMarker[] = L"PLLanguagePacket";
constexpr int kOldestAccepted[4] = {8, 0, 0, 6};

std::wstring Text(HMODULE module, UINT id, int capacity)
{
    std::wstring text(static_cast<size_t>(capacity), L'\0');
    int n = LoadStringW(module, id, &text[0], capacity);
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return text;
}

// A version part: one to three digits, at most 255.
int VersionPart(const std::wstring& text)
{
    if (text.empty() || text.size() > 3)
        return -1;
    int value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9')
            return -1;
        value = value * 10 + (c - L'0');
    }
    return value <= 255 ? value : -1;
}

bool Accepted(HMODULE module)
{
    if (Text(module, kMarkerId, 64) != kMarker)
        return false;
    for (int i = 0; i < 4; ++i) {
        int part = VersionPart(Text(module, kVersionFirstId + i, 5));
        if (part < 0)
            return false;
        if (part != kOldestAccepted[i])
            return part > kOldestAccepted[i];
    }
    return true;
}

std::wstring LanguageFolder()
{
    wchar_t appData[MAX_PATH] = L"";
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData)))
        return L"";
    return std::wstring(appData) + L"\\Quenlore\\Parlemo\\lang\\";
}

std::wstring BuiltInName()
{
    HMODULE own = GetModuleHandleW(nullptr);
    std::wstring name = Text(own, kDisplayNameId, 128);
    return name.empty() ? L"English" : name;
}

struct FindCloser {
    void operator()(HANDLE search) const { FindClose(search); }
};
using FindHandle = std::unique_ptr<void, FindCloser>;

} // namespace

std::vector<InstalledLanguage> ListInstalledLanguages()
{
    std::vector<InstalledLanguage> list{{L"Default", BuiltInName()}};
    std::wstring folder = LanguageFolder();
    if (folder.empty())
        return list;
    WIN32_FIND_DATAW found;
    HANDLE first = FindFirstFileW((folder + L"*.dll").c_str(), &found);
    if (first == INVALID_HANDLE_VALUE)
        return list;
    FindHandle search(first);
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        HMODULE module = LoadLibraryExW((folder + found.cFileName).c_str(), nullptr,
                                        LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        if (!module)
            continue;
        if (Accepted(module))
            list.push_back({found.cFileName, Text(module, kDisplayNameId, 128)});
        FreeLibrary(module);
    } while (FindNextFileW(search.get(), &found));
    return list;
}

std::wstring LanguageInUseDisplayName()
{
    HMODULE language = g_hLangModule.load();
    std::wstring name = language ? Text(language, kDisplayNameId, 128) : L"";
    return name.empty() ? BuiltInName() : name;
}
