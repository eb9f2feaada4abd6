#pragma once
// A receive thread of the meeting: reads meeting packets from a channel's
// client end and hands each whole packet to the dispatcher (the control
// channel's handlers, or the canvas messages only). It ends when the channel
// closes or fails, or when stopped; Stop joins it.
#include "core/control/ControlPacketDispatcher.h"
#include "core/tunnel/SocketHandle_win.h"

#include <atomic>
#include <functional>
#include <thread>

class PacketReceiveThread {
public:
    PacketReceiveThread() = default;
    ~PacketReceiveThread();
    PacketReceiveThread(const PacketReceiveThread&) = delete;
    PacketReceiveThread& operator=(const PacketReceiveThread&) = delete;

    // The socket stays owned by the caller and must outlive the thread.
    bool Start(SOCKET clientEnd, ReceiveChannel channel, ControlPacketHandler& handler);
    // Sets the stop flag and joins; the thread sees the flag within 200 ms.
    void Stop();
    bool Running() const { return m_running.load(); }

private:
    void Run(SOCKET s, ReceiveChannel channel, ControlPacketHandler& handler);

    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_running{false};
};
