#pragma once
// A receive thread of the meeting: reads meeting packets from a channel's
// client end and hands each whole packet to the dispatcher (the control
// channel's handlers, or the canvas messages only). It ends when the channel
// closes or fails, or when stopped; Stop joins it within its limit. A fault
// inside a handler is logged and ends the thread, never the process.
#include "core/control/ControlPacketDispatcher.h"
#include "core/tunnel/SocketHandle_win.h"

#include <atomic>
#include "core/base/BoundedThread.h"

#include <functional>

class PacketReceiveThread {
public:
    PacketReceiveThread() = default;
    ~PacketReceiveThread();
    PacketReceiveThread(const PacketReceiveThread&) = delete;
    PacketReceiveThread& operator=(const PacketReceiveThread&) = delete;

    // The socket stays owned by the caller and must outlive the thread.
    bool Start(SOCKET clientEnd, ReceiveChannel channel, ControlPacketHandler& handler);
    // Sets the stop flag; the thread sees it within 200 ms.
    void RequestStop() { m_stop = true; }
    // RequestStop, then a join of at most kJoinMs; false when the thread was
    // left behind (logged).
    bool Stop();
    static constexpr unsigned kJoinMs = 2000;
    bool Running() const { return m_running.load(); }

private:
    void Run(SOCKET s, ReceiveChannel channel, ControlPacketHandler& handler);

    BoundedThread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_running{false};
};
