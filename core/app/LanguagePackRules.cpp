#include "core/app/LanguagePackRules.h"

#include "core/app/InstallLayout.h"

#include <cstdint>

namespace {

// -1 when the text is not a number of 1 to 3 digits up to 255.
int Part(const std::wstring& text)
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

} // namespace

bool IsAcceptedLanguage(const LanguageTexts& texts)
{
    if (texts.marker != L"PLLanguagePacket")
        return false;
    uint32_t version = 0;
    for (const std::wstring& text : texts.version) {
        int part = Part(text);
        if (part < 0)
            return false;
        version = version << 8 | static_cast<uint32_t>(part);
    }
    return version >= kProgramVersion;
}

bool IsPlainLibraryName(const std::wstring& name)
{
    return !name.empty() && name != L"." && name != L".." && name.find_first_of(L"\\/:") == std::wstring::npos;
}
