#include "appliance/ui/SetupText_win.h"

#include "core/base/LoadResString.h"

#include <cstdarg>
#include <cwchar>
#include <vector>

const wchar_t* SetupText(UINT id)
{
    // One slot per id for the whole run (LoadResString keeps the text).
    static ResStringSlot program[700];
    static ResStringSlot own[100];
    if (id >= 4000 && id < 4700)
        return LoadResString(program[id - 4000], id);
    if (id >= 5600 && id < 5700)
        return LoadResString(own[id - 5600], id);
    return L"";
}

std::wstring FormatSetupText(size_t max, UINT id, ...)
{
    std::vector<wchar_t> text(max, L'\0');
    va_list args;
    va_start(args, id);
    // The runtime's own form: %s is wide here, as in the texts.
    _vsnwprintf(text.data(), max - 1, SetupText(id), args);
    va_end(args);
    text[max - 1] = L'\0';
    return text.data();
}
