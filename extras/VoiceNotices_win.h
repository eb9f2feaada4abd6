#pragma once
// Messages to the user about the voice, shown one after another on a thread
// of their own, so the receive and DTLS threads never wait for a click.
// Closing ends the boxes still open and joins the thread.
#include "core/base/BoundedThread.h"

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

class VoiceNotices {
public:
    VoiceNotices() = default;
    ~VoiceNotices();
    VoiceNotices(const VoiceNotices&) = delete;
    VoiceNotices& operator=(const VoiceNotices&) = delete;

    // A warning box with this string-table text and the title "Warn".
    void Show(UINT textId);
    // Closes the open box and drops the waiting ones.
    void Close();
    // Tests: every text shown, as it is queued.
    std::function<void(UINT)> observer;

private:
    void Loop();

    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<UINT> m_queue;
    bool m_closing = false;
    DWORD m_threadId = 0;
    BoundedThread m_thread;
};
