#include "extras/FileShare.h"

#include "core/base/MeetingContext.h"

#include "core/base/AppWindows.h"

HHOOK FileShare::s_openFileDlgHook = nullptr;

FileShare::FileShare(MeetingContext* meeting) : m_meeting(meeting) {}

FileShare::~FileShare()
{
    Close();
}

// Transfers belong to the meeting extras, which are not built yet: until
// then what peers offer is read and dropped, so it never fills a channel
// nobody reads; nothing is sent.
void FileShare::StartRecvThread()
{
    if (m_meeting)
        m_drain.Start(m_meeting->FeatureChannelEnd(MeetingContext::FeatureChannel::FileShare));
}

void FileShare::StartSendThread() {}

void FileShare::Close()
{
    m_drain.Stop();
}

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
