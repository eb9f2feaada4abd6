#include "extras/PollPopupThread_win.h"

#include "core/base/DHLog.h"
#include "extras/FileShare.h"

namespace {

constexpr unsigned kPopupJoinMs = 5000;

// The CBT hook on the popup thread itself, removed when the job returns.
class ThreadCbtHook {
public:
    ThreadCbtHook() : m_hook(SetWindowsHookExW(WH_CBT, FileShare::OpenFileDlgHook, nullptr, GetCurrentThreadId())) {}
    ~ThreadCbtHook()
    {
        if (m_hook)
            UnhookWindowsHookEx(m_hook);
    }
    ThreadCbtHook(const ThreadCbtHook&) = delete;
    ThreadCbtHook& operator=(const ThreadCbtHook&) = delete;

private:
    HHOOK m_hook;
};

BOOL CALLBACK EndPopup(HWND hwnd, LPARAM)
{
    // A file dialog or a box ends on the first of these it knows; a later
    // one finds no window.
    for (WPARAM id : {IDCANCEL, IDNO, IDOK})
        PostMessageW(hwnd, WM_COMMAND, id, 0);
    return TRUE;
}

} // namespace

PollPopupThread::~PollPopupThread()
{
    Close();
}

bool PollPopupThread::Start(std::function<void()> job, HWND notify, UINT doneMessage)
{
    if (m_thread.Running())
        return false;
    m_thread.Join(kPopupJoinMs);
    m_cancelled = false;
    return m_thread.Start([this, job = std::move(job), notify, doneMessage] {
        m_threadId = GetCurrentThreadId();
        {
            ThreadCbtHook hook;
            job();
        }
        m_threadId = 0;
        if (!m_cancelled)
            PostMessageW(notify, doneMessage, 0, 0);
    });
}

void PollPopupThread::Join()
{
    if (!m_thread.Join(kPopupJoinMs))
        DHLog::Instance().Print(0x80, 2, false, "A polling dialog thread did not end in time.\n");
}

void PollPopupThread::Close()
{
    m_cancelled = true;
    for (int tries = 0; tries < 250 && m_thread.Running(); ++tries) {
        if (DWORD id = m_threadId)
            EnumThreadWindows(id, EndPopup, 0);
        // A box ending re-enables its owner, one of this thread's windows:
        // the messages it sends here are answered while waiting.
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_SENDMESSAGE);
    }
    Join();
}
