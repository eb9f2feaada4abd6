// The manager's meeting packet senders and its control and host requests:
// packets go out through the meeting transport, requests through the request
// logic of the meeting handlers.
#include "core/app/Manager.h"

#include "core/base/DHLog.h"
#include "core/app/MeetingHandlers_win.h"
#include "core/base/TextConvert.h"

bool CManager::SendControlMessage(uint8_t type, const std::string& name, const std::string& other, uint32_t value3,
                                  uint32_t value1, uint32_t value2)
{
    ControlMessage m;
    m.type = type;
    m.name = name;
    m.other = other;
    m.value1 = value1;
    m.value2 = value2;
    m.value3 = value3;
    m.ownSessionId = ownSessionId;
    m.prevSharingStep = static_cast<uint32_t>(prevSharingStep.load());
    m.sharingStep = static_cast<uint32_t>(sharingStep.load());
    ControlPacket packet = BuildControlMessage(m);
    if (packet.empty())
        return false;
    // Giving control away lets local input take it back; asking for it ends that.
    if (type == PLP_REQUEST_CONTROL)
        m_handlers->SetInputWatch(false);
    else if (type == PLP_RELEASE_CONTROL)
        m_handlers->SetInputWatch(true);
    return Transport().SendPackets({packet});
}

bool CManager::SendTextMessage(uint8_t type, std::string_view text)
{
    if (type != PLP_POLL_OPEN_LAST && type != PLP_POLL_SUBMIT && type != PLP_POLL_CLOSE)
        return false;
    std::vector<ControlPacket> packets;
    return BuildTextPackets(type, text, packets) && Transport().SendPackets(packets);
}

bool CManager::SendCanvasMessage(std::string_view text)
{
    std::vector<ControlPacket> packets;
    return BuildTextPackets(PLP_CANVAS, text, packets) && Transport().SendPackets(packets);
}

bool CManager::SendPartiMarkMessage(std::string_view text)
{
    std::vector<ControlPacket> packets;
    return BuildTextPackets(PLP_PARTI_MARK, text, packets) && Transport().SendPackets(packets);
}

bool CManager::SendAudioMessage(uint8_t piece, const uint8_t* data, size_t length)
{
    std::vector<ControlPacket> packets = BuildAudioPackets(piece, data, length);
    return !packets.empty() && Transport().SendPackets(packets);
}

void CManager::OnControlRequest(uint8_t type, const std::string& first, const std::string& second)
{
    m_handlers->OnControlRequest(type, first, second);
}

void CManager::OnHostRequest(uint8_t type, const std::string& first, const std::string& second)
{
    m_handlers->OnHostRequest(type, first, second);
}

void CManager::OnHostInvitation(uint8_t type, const std::string& first, const std::string& second)
{
    m_handlers->OnHostInvitation(type, first, second);
}

std::uintptr_t CManager::FeatureChannelEnd(FeatureChannel channel)
{
    return static_cast<std::uintptr_t>(Transport().FeatureClientEnd(channel));
}

bool CManager::AcceptControlRequest(const std::string& session)
{
    return m_handlers->Requests().AcceptControlRequest(session);
}

int CManager::AcceptHostRequest(const std::string& session)
{
    return m_handlers->Requests().AcceptHostRequest(session);
}

void CManager::SyncRequestLists()
{
    m_handlers->Requests().SyncRequestLists();
    SyncPollParticipants();
}

std::vector<std::string> CManager::ControlRequests() const
{
    return m_handlers->Requests().PendingControl();
}

std::vector<std::string> CManager::HostRequests() const
{
    return m_handlers->Requests().PendingHost();
}

bool CManager::ControlHeld() const
{
    return m_handlers->Requests().ControlHeld();
}

bool CManager::RemoteControlActive() const
{
    return !m_handlers->Requests().ControlHolder().empty();
}

std::string CManager::GetParticipantName(const std::string& session)
{
    std::lock_guard<std::mutex> l(participantLock);
    for (const Participant& p : participants)
        if (p.sessionID == session)
            return WideToAnsi(p.name, kCodePageUtf8);
    return {};
}

ControlPacketHandler& CManager::PacketHandler()
{
    return *m_handlers;
}

void CManager::PostConnectionLost(uint32_t serial, const std::string& why)
{
    DHLog::Instance().Print(0x80, 1, false, "The meeting connection ended: %s\n", why.c_str());
    PostThreadMessageW(mainThreadId, PLM_MEETING_LEFT, 0, static_cast<LPARAM>(serial));
}
