#include "core/control/ControlSender_win.h"

#include "core/base/DHLog.h"

#include <windows.h>

#include <chrono>

namespace {

using TimedLock = std::unique_lock<std::recursive_timed_mutex>;

bool Acquire(TimedLock& l)
{
    return l.try_lock_for(std::chrono::milliseconds(ControlSender::kSendWaitMs));
}

} // namespace

void ControlSender::SetSocket(SOCKET controlClientEnd)
{
    TimedLock l(m_lock, std::defer_lock);
    // A sender still inside its bounded wait keeps the old value until it
    // gives up; the owner closes the socket only after that.
    if (!Acquire(l))
        return;
    m_socket = controlClientEnd;
    m_broken = false;
}

bool ControlSender::SendLocked(const ControlPacket& packet)
{
    if (packet.empty() || m_socket == INVALID_SOCKET || m_broken)
        return false;
    size_t sent = 0;
    if (SendAllWithin(m_socket, packet.data(), packet.size(), kSendWaitMs, &sent))
        return true;
    if (sent > 0) {
        m_broken = true;
        DHLog::Instance().Print(0x08, 1, false, "A meeting packet went out only in part (%u of %u bytes).\n",
                                static_cast<unsigned>(sent), static_cast<unsigned>(packet.size()));
    } else {
        DHLog::Instance().Print(0x08, 2, false, "A meeting packet (type %u) did not go out.\n",
                                static_cast<unsigned>(packet[0]));
    }
    return false;
}

bool ControlSender::Send(const ControlPacket& packet)
{
    TimedLock l(m_lock, std::defer_lock);
    return Acquire(l) && SendLocked(packet);
}

bool ControlSender::SendAll(const std::vector<ControlPacket>& packets)
{
    TimedLock l(m_lock, std::defer_lock);
    if (!Acquire(l))
        return false;
    for (size_t i = 0; i < packets.size(); ++i) {
        // The pieces of a poll text leave 10 ms apart.
        if (i > 0 && packets[i - 1][0] == PLP_POLL_OPEN_PART)
            Sleep(10);
        if (!SendLocked(packets[i]))
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
