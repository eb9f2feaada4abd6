#pragma once
// The short-lived thread on which a polling panel shows its message boxes and
// file dialogs, so that the main thread's loop (and its thread messages) never
// stops for them. Each new window of the thread is made one of the program's
// own (the file dialogs' CBT hook). When the job returns, the thread posts
// doneMessage to the panel; the panel joins it and reads the job's result.
// Close ends any box or dialog still open and joins the thread.
#include "core/base/BoundedThread.h"

#include <windows.h>

#include <atomic>
#include <functional>

class PollPopupThread {
public:
    PollPopupThread() = default;
    ~PollPopupThread();
    PollPopupThread(const PollPopupThread&) = delete;
    PollPopupThread& operator=(const PollPopupThread&) = delete;

    // False while another job runs.
    bool Start(std::function<void()> job, HWND notify, UINT doneMessage);
    bool Running() const { return m_thread.Running(); }
    // Set once Close has begun: the job must leave its result unused.
    bool Cancelled() const { return m_cancelled; }
    void Join();
    void Close();

private:
    BoundedThread m_thread;
    std::atomic<DWORD> m_threadId{0};
    std::atomic<bool> m_cancelled{false};
};
