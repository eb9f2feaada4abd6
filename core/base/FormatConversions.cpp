#include "core/base/FormatConversions.h"

#include <cwchar>

std::vector<std::wstring> FormatConversions(const wchar_t* format)
{
    std::vector<std::wstring> out;
    for (const wchar_t* p = format; *p; ++p) {
        if (*p != L'%')
            continue;
        if (p[1] == L'%') {
            ++p;
            continue;
        }
        const wchar_t* start = ++p;
        while (*p && wcschr(L"-+ #0123456789.*hlLqjztI", *p))
            ++p;
        if (*p == L'\0') {
            out.emplace_back(L"%" + std::wstring(start));
            break;
        }
        out.emplace_back(start, p + 1);
    }
    return out;
}

bool SameConversions(const wchar_t* a, const wchar_t* b)
{
    return FormatConversions(a) == FormatConversions(b);
}
