#include "core/control/ControlSender_win.h"

#include <windows.h>

void ControlSender::SetSocket(SOCKET controlClientEnd)
{
    std::lock_guard<std::recursive_mutex> l(m_lock);
    m_socket = controlClientEnd;
}

bool ControlSender::Send(const ControlPacket& packet)
{
    std::lock_guard<std::recursive_mutex> l(m_lock);
    return !packet.empty() && m_socket != INVALID_SOCKET && ::SendAll(m_socket, packet.data(), packet.size());
}

bool ControlSender::SendAll(const std::vector<ControlPacket>& packets)
{
    std::lock_guard<std::recursive_mutex> l(m_lock);
    for (size_t i = 0; i < packets.size(); ++i) {
        // The pieces of a poll text leave 10 ms apart.
        if (i > 0 && packets[i - 1][0] == PLP_POLL_OPEN_PART)
            Sleep(10);
        if (!Send(packets[i]))
            return false;
    }
    return true;
}

bool ControlSender::SendControlMessage(const ControlMessage& m)
{
    ControlPacket p = BuildControlMessage(m);
    return !p.empty() && Send(p);
}

bool ControlSender::SendText(uint8_t type, std::string_view text)
{
    std::vector<ControlPacket> packets;
    return BuildTextPackets(type, text, packets) && SendAll(packets);
}

bool ControlSender::SendAudio(uint8_t piece, const uint8_t* data, size_t length)
{
    return SendAll(BuildAudioPackets(piece, data, length));
}
