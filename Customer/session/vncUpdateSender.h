// The update sender of one viewer: a thread that waits until something the
// viewer asked for has changed and answers with a framebuffer update (and
// before it, when due, a resize message, clipboard text and the colour map).
// It reads the client's state under the client's update lock, which it
// holds except while it waits; pausing waits for its acknowledgement, so
// the client thread can replace the format and encoder safely.
#pragma once

#include "rfb/MemOutStream.h"
#include "rfb/Rect.h"

#include <cstdint>
#include <memory>

class vncClient;
class vncClientUpdateThread;
class omni_condition;
namespace rdr {
class OutStream;
}

class vncUpdateSender {
public:
    explicit vncUpdateSender(vncClient& client);
    vncUpdateSender(const vncUpdateSender&) = delete;
    vncUpdateSender& operator=(const vncUpdateSender&) = delete;

    // Both wait for the thread's acknowledgement when it runs; the client
    // starts paused once.
    void Pause();
    void Resume();
    // With the update lock held: wakes the thread, starting it the first time.
    void Trigger();
    // Ends the thread and joins it.
    void Stop();
    // Thread body.
    void Run();

private:
    bool WaitForWork();
    bool WantUpdate();
    void SendPass();
    bool SendUpdate(rdr::OutStream& out);
    rfb::Rect ToViewer(const rfb::Rect& host) const;

    vncClient& m_client;
    // Deleted by omni_thread's join.
    vncClientUpdateThread* m_updateThread = nullptr;
    // Guarded by the client's update lock.
    int m_pauseCount = 1;
    bool m_updateActive = false;
    bool m_updateEnabled = false;
    bool m_ackPending = false;
    std::unique_ptr<omni_condition> m_trigger;
    std::unique_ptr<omni_condition> m_sync;
    uint64_t m_updatesSent = 0;
    rdr::MemOutStream m_out;
};
