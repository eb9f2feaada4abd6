#include "extras/VoiceNotices_win.h"

#include "core/base/LoadResString.h"
#include "extras/VoiceResources.h"

VoiceNotices::~VoiceNotices()
{
    Close();
}

void VoiceNotices::Show(UINT textId)
{
    if (observer)
        observer(textId);
    std::lock_guard<std::mutex> lock(m_lock);
    m_closing = false;
    m_queue.push_back(textId);
    if (!m_thread.Started())
        m_thread.Start([this] { Loop(); });
    m_wake.notify_one();
}

void VoiceNotices::Loop()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_threadId = GetCurrentThreadId();
    }
    for (;;) {
        UINT id;
        {
            std::unique_lock<std::mutex> lock(m_lock);
            m_wake.wait(lock, [this] { return m_closing || !m_queue.empty(); });
            if (m_closing)
                return;
            id = m_queue.front();
            m_queue.pop_front();
        }
        static ResStringSlot title;
        // One slot per text: a slot holds one id's text.
        static ResStringSlot device, proxy, udp;
        ResStringSlot& slot = id == IDS_VOICE_DEVICE_PROBLEM ? device : id == IDS_VOICE_UDP_PROXY ? proxy : udp;
        MessageBoxW(GetDesktopWindow(), LoadResString(slot, id), LoadResString(title, IDS_VOICE_WARN),
                    MB_OK | MB_ICONWARNING);
    }
}

namespace {
BOOL CALLBACK CloseBox(HWND window, LPARAM)
{
    PostMessageW(window, WM_COMMAND, IDOK, 0);
    return TRUE;
}
} // namespace

void VoiceNotices::Close()
{
    DWORD threadId;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_closing = true;
        m_queue.clear();
        threadId = m_threadId;
        m_wake.notify_one();
    }
    if (!m_thread.Started())
        return;
    // The box's own loop ends on IDOK; the thread then sees the closing flag.
    for (int i = 0; i < 20 && m_thread.Running(); ++i) {
        if (threadId)
            EnumThreadWindows(threadId, CloseBox, 0);
        Sleep(50);
    }
    m_thread.Join(1000);
    std::lock_guard<std::mutex> lock(m_lock);
    m_threadId = 0;
}
