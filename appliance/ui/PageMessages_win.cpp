#include "appliance/ui/PageMessages_win.h"

#include "core/base/FrameMessages.h"

bool AnswerPageMessage(HWND page, UINT msg, WPARAM wParam, INT_PTR& result)
{
    switch (msg) {
    case WM_ERASEBKGND: result = TRUE; return true;
    case WM_CTLCOLORSTATIC:
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        result = reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
        return true;
    case WM_CTLCOLORDLG: result = reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH)); return true;
    case WM_FRAME_RELAYOUT:
    case WM_FRAME_ANCHOR_CHILD:
        SetWindowLongPtrW(page, DWLP_MSGRESULT, TRUE);
        result = TRUE;
        return true;
    default: return false;
    }
}
