#include "core/base/TextConvert.h"

#include "core/base/TextCodec.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

std::wstring MultiByteToWideString(const char* text, int len, unsigned codePage)
{
    if (!text || len < -1)
        return {};
    const size_t n = len == -1 ? std::strlen(text) : static_cast<size_t>(len);
    return n ? DecodeCodePage(text, n, codePage) : std::wstring();
}

std::string WideToMultiByteString(const wchar_t* text, int len, unsigned codePage)
{
    if (!text || len < -1)
        return {};
    const size_t n = len == -1 ? std::wcslen(text) : static_cast<size_t>(len);
    return n ? EncodeCodePage(text, n, codePage) : std::string();
}

std::wstring AnsiToWide(const std::string& text, unsigned codePage)
{
    return text.empty() ? std::wstring() : DecodeCodePage(text.data(), text.size(), codePage);
}

std::string WideToAnsi(const std::wstring& text, unsigned codePage)
{
    return text.empty() ? std::string() : EncodeCodePage(text.data(), text.size(), codePage);
}

int AnsiToWideAlloc(const char* text, wchar_t** out)
{
    if (!text || !*text || !out)
        return 0;
    const std::wstring wide = DecodeCodePage(text, std::strlen(text), kCodePageAnsi);
    if (wide.empty())
        return 0;
    wchar_t* buffer = static_cast<wchar_t*>(std::calloc(wide.size() + 1, sizeof(wchar_t)));
    if (!buffer)
        return 0;
    std::wmemcpy(buffer, wide.data(), wide.size());
    *out = buffer;
    return 1;
}
