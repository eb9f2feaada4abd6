#include "appliance/ui/SetupText_win.h"

#include "appliance/cgi/MeetingSchedule.h"
#include "appliance/ui/MeetingSetupResources.h"
#include "core/base/LoadResString.h"
#include "core/base/TextConvert.h"
#include "core/base/WindowUtil.h"

#include <commctrl.h>

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

void PrepareOwnDialog(HWND dialog, UINT titleId)
{
    HICON icon = LoadIconW(reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(dialog, GWLP_HINSTANCE)),
                           MAKEINTRESOURCEW(IDI_SETUP_APP));
    if (icon)
        SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    MakeOwnLayeredWindow(dialog);
    SetWindowTextW(dialog, SetupText(titleId));
}

void SetPickerDate(HWND picker, const LocalTime& t)
{
    SYSTEMTIME s{};
    s.wYear = static_cast<WORD>(t.year);
    s.wMonth = static_cast<WORD>(t.month);
    s.wDay = static_cast<WORD>(t.day);
    SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&s));
}

std::wstring FromUtf8(const std::string& utf8) { return AnsiToWide(utf8, kCodePageUtf8); }

std::string ToUtf8(const std::wstring& text) { return WideToAnsi(text, kCodePageUtf8); }
