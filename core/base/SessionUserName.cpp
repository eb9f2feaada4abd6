#include "core/base/SessionUserName.h"

namespace {

bool EqualsAsciiNoCase(const std::wstring& a, const wchar_t* b)
{
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        wchar_t x = a[i], y = b[i];
        if (x >= L'A' && x <= L'Z')
            x = static_cast<wchar_t>(x - L'A' + L'a');
        if (y >= L'A' && y <= L'Z')
            y = static_cast<wchar_t>(y - L'A' + L'a');
        if (x != y)
            return false;
    }
    return i == a.size() && b[i] == 0;
}

} // namespace

uint32_t FindSessionShell(const std::vector<ProcessEntry>& processes, uint32_t session)
{
    for (const auto& p : processes)
        if (p.pid != 0 && p.sessionKnown && p.session == session && EqualsAsciiNoCase(p.exeName, L"explorer.exe"))
            return p.pid;
    return 0;
}
