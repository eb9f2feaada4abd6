#pragma once
// Every writer of meeting packets goes through here: whole packets, and all
// pieces of a split text or voice buffer, under one send lock on the control
// channel's client end. Nothing here waits without a bound: the lock and the
// send each give up after kSendWaitMs (the relay stops reading the channel
// while the appliance does not take the bytes), and the failure is reported.
// A packet cut short by that leaves the stream out of step, so the sender
// then refuses every later packet.
#include "core/control/ControlPacket.h"
#include "core/tunnel/SocketHandle_win.h"

#include <atomic>
#include <mutex>
#include <string_view>
#include <vector>

class ControlSender {
public:
    static constexpr uint32_t kSendWaitMs = 2000;

    // The socket must be non-blocking (MeetingLink makes it so).
    void SetSocket(SOCKET controlClientEnd);
    bool Send(const ControlPacket& packet);
    bool SendAll(const std::vector<ControlPacket>& packets);
    bool SendControlMessage(const ControlMessage& m);
    bool SendText(uint8_t type, std::string_view text);
    bool SendAudio(uint8_t piece, const uint8_t* data, size_t length);
    // A packet went out only in part: the channel is of no more use.
    bool Broken() const { return m_broken.load(); }

private:
    bool SendLocked(const ControlPacket& packet);

    std::recursive_timed_mutex m_lock;
    SOCKET m_socket = INVALID_SOCKET;
    std::atomic<bool> m_broken{false};
};
