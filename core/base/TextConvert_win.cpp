// The system's converters; wchar_t is UTF-16 here.
#include "core/base/TextCodec.h"

#include <climits>
#include <windows.h>

std::wstring DecodeCodePage(const char* text, size_t len, unsigned codePage)
{
    if (len > INT_MAX)
        return {};
    const int n = static_cast<int>(len);
    const int count = MultiByteToWideChar(codePage, 0, text, n, nullptr, 0);
    if (count <= 0)
        return {};
    std::wstring out(static_cast<size_t>(count), L'\0');
    if (MultiByteToWideChar(codePage, 0, text, n, &out[0], count) != count)
        return {};
    return out;
}

std::string EncodeCodePage(const wchar_t* text, size_t len, unsigned codePage)
{
    if (len > INT_MAX)
        return {};
    const int n = static_cast<int>(len);
    const int count = WideCharToMultiByte(codePage, 0, text, n, nullptr, 0, nullptr, nullptr);
    if (count <= 0)
        return {};
    std::string out(static_cast<size_t>(count), '\0');
    if (WideCharToMultiByte(codePage, 0, text, n, &out[0], count, nullptr, nullptr) != count)
        return {};
    return out;
}
