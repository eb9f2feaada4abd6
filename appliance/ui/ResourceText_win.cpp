#include "appliance/ui/ResourceText_win.h"

#include "core/base/LoadResString.h"

const wchar_t* ResText(UINT id)
{
    constexpr UINT kFirst = 4000, kEnd = 5600;
    static ResStringSlot slots[kEnd - kFirst];
    if (id < kFirst || id >= kEnd)
        return L"";
    return LoadResString(slots[id - kFirst], id);
}

std::wstring ControlText(HWND dialog, int control, size_t max)
{
    std::wstring text(max + 1, L'\0');
    const UINT n = GetDlgItemTextW(dialog, control, text.data(), static_cast<int>(max + 1));
    text.resize(n);
    return text;
}
