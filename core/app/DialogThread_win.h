#pragma once
// One modal dialog at a time on a thread of its own (the tray's options
// dialog and log viewer): a request while it is opening or open brings it to
// the front, a request after it closed opens a new one.
#include "core/base/BoundedThread.h"

#include <windows.h>

#include <atomic>
#include <functional>

class DialogThread {
public:
    DialogThread() = default;
    // Closes an open dialog and waits (bounded) for its thread.
    ~DialogThread() { Close(); }
    DialogThread(const DialogThread&) = delete;
    DialogThread& operator=(const DialogThread&) = delete;

    // Main thread. run shows the dialog modally and returns once it has
    // ended. False when one was already opening or open (it comes to the
    // front) or no thread could be made.
    bool Open(std::function<void()> run);
    // The dialog's thread, at the end of the dialog's initialisation.
    void SetWindow(HWND hwnd) { m_hwnd = hwnd; }
    // The dialog's window while it is open, else null.
    HWND Window() const { return m_hwnd.load(); }
    void Close();

private:
    std::atomic<bool> m_open{false};  // opening or open
    std::atomic<HWND> m_hwnd{nullptr};
    BoundedThread m_thread;
};
