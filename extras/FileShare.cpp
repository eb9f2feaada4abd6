#include "extras/FileShare.h"

#include "core/base/AppWindows.h"

HHOOK FileShare::s_openFileDlgHook = nullptr;

FileShare::FileShare(MeetingContext* meeting) : m_meeting(meeting) {}

FileShare::~FileShare()
{
    Close();
}

// Transfers belong to the meeting extras, which are not built yet: no thread
// starts, so Close has none to stop.
void FileShare::StartRecvThread() {}

void FileShare::StartSendThread() {}

void FileShare::Close() {}

void FileShare::OnMessage(const char*) {}

LRESULT CALLBACK FileShare::OpenFileDlgHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE) {
        HWND hwnd = reinterpret_cast<HWND>(wParam);
        LONG_PTR ex = GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
        if ((ex & WS_EX_LAYERED) == 0) {
            SetWindowLongPtrW(hwnd, GWL_EXSTYLE, ex | WS_EX_LAYERED);
            SetLayeredWindowAttributes(hwnd, 0, 255, LWA_ALPHA);
            RegisterAppWindow(hwnd);
        }
    }
    return CallNextHookEx(s_openFileDlgHook, code, wParam, lParam);
}
