#include "core/app/DialogThread_win.h"

bool DialogThread::Open(std::function<void()> run)
{
    // Two requests in a row, before the first dialog has a window, still
    // make one dialog.
    if (m_open.exchange(true)) {
        if (HWND hwnd = m_hwnd.load()) {
            ShowWindow(hwnd, SW_RESTORE);
            SetForegroundWindow(hwnd);
        }
        return false;
    }
    m_thread.Join(2000);  // the thread of a dialog closed before is ending
    bool started = m_thread.Start([this, run] {
        run();
        // Closed once both are clear: a request from now on opens a new
        // dialog (after this thread has ended).
        m_open = false;
        m_hwnd = nullptr;
    });
    if (!started)
        m_open = false;
    return started;
}

void DialogThread::Close()
{
    // The dialog may still be on its way up: close it once it has a window.
    for (int waited = 0; m_thread.Running() && waited < 5000; waited += 20) {
        if (HWND hwnd = m_hwnd.load())
            PostMessageW(hwnd, WM_CLOSE, 0, 0);
        Sleep(20);
    }
    m_thread.Join(1000);
}
