#include "core/base/DialogKeys_win.h"

namespace {

LRESULT CallPrevious(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto previous = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return previous ? CallWindowProcW(previous, hwnd, msg, wParam, lParam) : DefWindowProcW(hwnd, msg, wParam, lParam);
}

bool IsButton(HWND hwnd)
{
    wchar_t name[16] = L"";
    GetClassNameW(hwnd, name, 16);
    return lstrcmpiW(name, L"Button") == 0;
}

bool IsEnterOrTabChar(WPARAM wParam)
{
    return wParam == L'\r' || wParam == L'\n' || wParam == L'\t';
}

} // namespace

bool InstallKeySubclass(HWND control, WNDPROC proc)
{
    if (!control || GetWindowLongPtrW(control, GWLP_USERDATA) != 0)
        return false;
    LONG_PTR previous = SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc));
    SetWindowLongPtrW(control, GWLP_USERDATA, previous);
    return true;
}

LRESULT CALLBACK DlgButtonEditSubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    HWND parent = GetParent(hwnd);
    switch (msg) {
    case WM_GETDLGCODE: return CallPrevious(hwnd, msg, wParam, lParam) | DLGC_WANTALLKEYS;
    case WM_KEYDOWN:
        if (wParam == VK_TAB) {
            PostMessageW(parent, WM_NEXTDLGCTL, 0, 0);
            return 0;
        }
        if (wParam == VK_RETURN) {
            if (!IsButton(hwnd)) {
                PostMessageW(parent, WM_COMMAND, IDOK, 0);
            } else {
                const int id = GetDlgCtrlID(hwnd);
                if (id == IDOK || id == IDCANCEL || id == 1002)
                    PostMessageW(parent, WM_COMMAND, static_cast<WPARAM>(id), 0);
            }
            return 0;
        }
        break;
    case WM_CHAR:
        if (IsEnterOrTabChar(wParam))
            return 0;
        break;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK)
            PostMessageW(parent, WM_COMMAND, IDOK, 0);
        return 0;
    case WM_NEXTDLGCTL:
        PostMessageW(parent, WM_NEXTDLGCTL, 0, 0);
        return 0;
    default: break;
    }
    return CallPrevious(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK EnterTabSubclassProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_GETDLGCODE: return CallPrevious(hwnd, msg, wParam, lParam) | DLGC_WANTALLKEYS;
    case WM_KEYDOWN:
        if (wParam == VK_RETURN || wParam == VK_TAB) {
            HWND frame = GetParent(GetParent(hwnd));
            if (wParam == VK_RETURN)
                PostMessageW(frame, WM_COMMAND, IDOK, 0);
            else
                PostMessageW(frame, WM_NEXTDLGCTL, (GetKeyState(VK_SHIFT) & 0x8000) ? 1 : 0, 0);
            return 0;
        }
        break;
    case WM_CHAR:
        if (IsEnterOrTabChar(wParam))
            return 0;
        break;
    default: break;
    }
    return CallPrevious(hwnd, msg, wParam, lParam);
}
