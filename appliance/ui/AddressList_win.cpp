#include "appliance/ui/AddressList_win.h"

#include "appliance/cgi/Invitation.h"
#include "appliance/cgi/MeetingForm.h"
#include "appliance/ui/MeetingSetupResources.h"
#include "appliance/ui/SetupText_win.h"
#include "core/base/WindowUtil.h"

#include <vector>

void InitAddressList(HWND dialog, const std::wstring& addresses)
{
    PrepareOwnDialog(dialog, IDS_ADDRESS_LIST_TITLE);
    SetDlgItemTextW(dialog, IDC_ADDRESS_HINT, SetupText(IDS_ADDRESS_LIST_HINT));
    SetDlgItemTextW(dialog, IDOK, SetupText(IDS_BUTTON_OK_TEXT));
    SetDlgItemTextW(dialog, IDCANCEL, SetupText(IDS_BUTTON_CANCEL_TEXT));
    // Each address gains one character as a line; the result is checked on OK.
    SendDlgItemMessageW(dialog, IDC_ADDRESS_EDIT, EM_LIMITTEXT, 2 * kInviteAddressesMax, 0);
    SetDlgItemTextW(dialog, IDC_ADDRESS_EDIT, AddressesToLines(addresses).c_str());
    SetFocus(GetDlgItem(dialog, IDC_ADDRESS_EDIT));
}

bool ReadAddressList(HWND dialog, std::wstring& addresses)
{
    HWND edit = GetDlgItem(dialog, IDC_ADDRESS_EDIT);
    const int length = GetWindowTextLengthW(edit);
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(edit, text.data(), length + 1);
    std::wstring joined = LinesToAddresses(text.data());
    if (joined.size() > kInviteAddressesMax) {
        MessageBeep(MB_ICONWARNING);
        return false;
    }
    addresses = std::move(joined);
    return true;
}

INT_PTR CALLBACK ModalAddressListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
        InitAddressList(hwnd, *reinterpret_cast<std::wstring*>(lParam));
        CenterWindow(hwnd);
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            auto* addresses = reinterpret_cast<std::wstring*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
            if (addresses && ReadAddressList(hwnd, *addresses))
                EndDialog(hwnd, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(hwnd, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    default: return FALSE;
    }
}
