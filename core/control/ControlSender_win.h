#pragma once
// Every writer of meeting packets goes through here: whole packets, and all
// pieces of a split text or voice buffer, under one recursive send lock on
// the control channel's client end. A failed or short send is reported.
#include "core/control/ControlPacket.h"
#include "core/tunnel/SocketHandle_win.h"

#include <mutex>
#include <string_view>
#include <vector>

class ControlSender {
public:
    void SetSocket(SOCKET controlClientEnd);
    bool Send(const ControlPacket& packet);
    bool SendAll(const std::vector<ControlPacket>& packets);
    bool SendControlMessage(const ControlMessage& m);
    bool SendText(uint8_t type, std::string_view text);
    bool SendAudio(uint8_t piece, const uint8_t* data, size_t length);
    // For callers that build packets themselves and need several in a row.
    std::recursive_mutex& Lock() { return m_lock; }

private:
    std::recursive_mutex m_lock;
    SOCKET m_socket = INVALID_SOCKET;
};
