#include "core/app/ProxyAuthDialog.h"

#include "core/app/Manager.h"
#include "core/app/res/resource.h"
#include "core/base/SecureZero.h"
#include "core/base/LoadResString.h"
#include "core/base/StoredSecret.h"
#include "core/base/TextConvert.h"
#include "core/base/WindowUtil.h"

#include <vector>

namespace {

constexpr int kFieldMax = 128;

void SetText(HWND dlg, int control, UINT id)
{
    static ResStringSlot slots[6];
    static const UINT ids[6] = {IDS_PROXY_AUTH_CAPTION, IDS_PROXY_AUTH_USER, IDS_PROXY_AUTH_PASSWORD,
                                IDS_PROXY_AUTH_OK, IDS_PROXY_AUTH_CANCEL, 0};
    for (int i = 0; ids[i]; ++i) {
        if (ids[i] == id) {
            const wchar_t* text = LoadResString(slots[i], id);
            if (control == 0)
                SetWindowTextW(dlg, text);
            else
                SetDlgItemTextW(dlg, control, text);
        }
    }
}

void OnOk(HWND dlg, CManager& manager)
{
    wchar_t user[kFieldMax + 1] = L"";
    wchar_t password[kFieldMax + 1] = L"";
    GetDlgItemTextW(dlg, IDC_PROXY_AUTH_USER, user, kFieldMax + 1);
    GetDlgItemTextW(dlg, IDC_PROXY_AUTH_PASSWORD, password, kFieldMax + 1);
    manager.proxy.server.user = WideToAnsi(user, kCodePageUtf8);
    if (password[0]) {
        std::string plain = WideToAnsi(password, kCodePageUtf8);
        std::vector<char> buffer(plain.begin(), plain.end());
        buffer.push_back('\0');
        EncryptStoredString(buffer.data(), manager.proxy.server.password);
        SecureWipe(buffer);
        SecureWipe(plain);
    }
    SecureZeroMemory(password, sizeof(password));
}

INT_PTR CALLBACK ProxyAuthDlgProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG: {
        SetWindowLongPtrW(dlg, GWLP_USERDATA, lParam);
        auto* manager = reinterpret_cast<CManager*>(lParam);
        HICON icon = LoadIconW(manager->instance, MAKEINTRESOURCEW(IDI_CORVISK));
        SendMessageW(dlg, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
        SendMessageW(dlg, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
        SetText(dlg, 0, IDS_PROXY_AUTH_CAPTION);
        SetText(dlg, IDC_PROXY_AUTH_USER_LABEL, IDS_PROXY_AUTH_USER);
        SetText(dlg, IDC_PROXY_AUTH_PASSWORD_LABEL, IDS_PROXY_AUTH_PASSWORD);
        SetText(dlg, IDOK, IDS_PROXY_AUTH_OK);
        SetText(dlg, IDCANCEL, IDS_PROXY_AUTH_CANCEL);
        SendDlgItemMessageW(dlg, IDC_PROXY_AUTH_USER, EM_LIMITTEXT, kFieldMax, 0);
        SendDlgItemMessageW(dlg, IDC_PROXY_AUTH_PASSWORD, EM_LIMITTEXT, kFieldMax, 0);
        CenterWindow(dlg);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            OnOk(dlg, *reinterpret_cast<CManager*>(GetWindowLongPtrW(dlg, GWLP_USERDATA)));
            EndDialog(dlg, 1);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dlg, 2);
            return TRUE;
        }
        return FALSE;
    default: return FALSE;
    }
}

} // namespace

bool RunProxyAuthDialog(CManager& manager)
{
    return DialogBoxParamW(manager.instance, MAKEINTRESOURCEW(IDD_PROXY_AUTH), nullptr, ProxyAuthDlgProc,
                           reinterpret_cast<LPARAM>(&manager)) == 1;
}
