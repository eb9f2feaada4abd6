#include "core/app/AboutDialog.h"

#include "core/base/LoadResString.h"
#include "core/app/res/resource.h"

INT_PTR CALLBACK AboutDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG: {
        static ResStringSlot caption, product, version;
        SetWindowTextW(hwnd, LoadResString(caption, IDS_ABOUT_CAPTION));
        SetDlgItemTextW(hwnd, IDC_ABOUT_PRODUCT, LoadResString(product, IDS_PRODUCT_NAME));
        SetDlgItemTextW(hwnd, IDC_ABOUT_VERSION_LABEL, LoadResString(version, IDS_VERSION));
        SetDlgItemTextA(hwnd, IDC_ABOUT_VERSION, CORVISK_VERSION_TEXT);
        return TRUE;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT r;
        GetClientRect(hwnd, &r);
        FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        EndPaint(hwnd, &ps);
        return TRUE;
    }
    case WM_CTLCOLORSTATIC:
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            DestroyWindow(hwnd);
            return TRUE;
        }
        break;
    default:
        break;
    }
    return FALSE;
}
