#include "core/app/LinkTransport_win.h"

#include "core/app/Manager.h"
#include "core/base/PlainSecret.h"
#include "core/base/ServerAddress.h"
#include "core/base/TextConvert.h"
#include "core/tunnel/ServiceRequest.h"

LinkTransport::LinkTransport(CManager& manager, AccessNow access)
    : m_manager(manager), m_access(std::move(access))
{
}

LinkTransport::~LinkTransport() = default;

MeetingLinkConfig LinkTransport::MakeConfig() const
{
    MeetingLinkConfig c;
    TunnelEndpoint& e = c.endpoint;
    // An IPv6 literal is kept in brackets for URLs; the tunnel resolves the bare form.
    e.host = UnbracketedHost(m_manager.applianceHost);
    e.port = m_manager.appliancePort;
    e.sessionId = m_manager.ownSessionId;
    e.isHost = m_manager.role == 1;
    e.isCoordinator = m_manager.title == 1;
    Access access = m_access ? m_access() : Access{};
    const ProxyConfig& proxy = access.proxy;
    if (proxy.InUse()) {
        e.proxy.host = UnbracketedHost(proxy.server.host);
        e.proxy.port = proxy.server.port != 0 ? proxy.server.port : 80;
        PlainSecret password(proxy.server.password);
        if (!proxy.server.user.empty() || !password.Text().empty())
            e.proxy.basicCredentials = ProxyBasicCredentials(proxy.server.user, password.Text());
    }
    if (!access.acceptedThumbprint.empty())
        e.accepted = {e.host, e.port, access.acceptedThumbprint};
    c.meetingId = m_manager.meetingId;
    c.displayNameUtf8 = WideToAnsi(m_manager.ownDisplayName, kCodePageUtf8);
    return c;
}

bool LinkTransport::StartLocalListener()
{
    // Each meeting gets a link of its own: nothing carries over from the last.
    std::atomic_store(&m_link, std::make_shared<MeetingLink>());
    return m_link->StartListener() == MeetingLink::kOk;
}

bool LinkTransport::CreateLocalSockets(int mode)
{
    if (!m_link)
        return false;
    if (mode == 0)
        return m_link->CreateChannels() == MeetingLink::kOk;
    if (mode == 1)
        return m_link->CreateSharingChannel() == MeetingLink::kOk;
    return false;
}

bool LinkTransport::OpenTunnel(int kind)
{
    if (!m_link)
        return false;
    if (kind == 0)
        return m_link->OpenControlTunnel(MakeConfig()) == MeetingLink::kOk;
    if (kind == 1)
        return m_link->OpenSharingTunnel(m_manager.role == 1) == MeetingLink::kOk;
    return false;
}

bool LinkTransport::HasTunnel(int kind) const
{
    if (!m_link)
        return false;
    return kind == 0 ? m_link->ControlConnected() : kind == 1 && m_link->SharingOpen();
}

bool LinkTransport::SendHello(const std::string& meetingId, int role, const std::wstring& displayName,
                              const std::string&)
{
    // The session id went with the service request; the hello names the same.
    return m_link && m_link->SendHello(static_cast<uint16_t>(role), meetingId, WideToAnsi(displayName, kCodePageUtf8)) ==
           MeetingLink::kOk;
}

bool LinkTransport::StartMeetingThreads()
{
    if (!m_link)
        return false;
    uint32_t serial = m_manager.MeetingSerial();
    CManager& manager = m_manager;
    return m_link->StartThreads(
               manager.PacketHandler(),
               [&manager, serial](const std::string& why) { manager.PostConnectionLost(serial, why); },
               [&manager] { return manager.audioReady != 0; }) == MeetingLink::kOk;
}

void LinkTransport::ShutdownSharing()
{
    if (m_link)
        m_link->StopSharingTraffic();
}

void LinkTransport::StopTraffic()
{
    if (m_link)
        m_link->StopTraffic();
}

void LinkTransport::DropSharing()
{
    if (m_link)
        m_link->CloseSharing();
}

void LinkTransport::CloseAndJoin()
{
    if (m_link)
        m_link->Close();
}

SOCKET LinkTransport::SharingClientEnd() const
{
    return m_link ? m_link->SharingClientEnd() : INVALID_SOCKET;
}

SOCKET LinkTransport::FeatureClientEnd(MeetingContext::FeatureChannel channel) const
{
    if (!m_link)
        return INVALID_SOCKET;
    switch (channel) {
    case MeetingContext::FeatureChannel::Chat:
        return m_link->Channels().ClientEnd(LocalChannel::Chat);
    case MeetingContext::FeatureChannel::FileShare:
        return m_link->Channels().ClientEnd(LocalChannel::FileShare);
    case MeetingContext::FeatureChannel::Voice:
        return m_link->Channels().ClientEnd(LocalChannel::Audio);
    }
    return INVALID_SOCKET;
}

std::shared_ptr<MeetingLink> LinkTransport::SharedLink() const
{
    return std::atomic_load(&m_link);
}

bool LinkTransport::WriteSharingAcceptedEnd(const void* data, size_t length)
{
    std::shared_ptr<MeetingLink> link = SharedLink();
    return link && link->WriteToSharingEnd(data, length);
}

void LinkTransport::SendSharingState(int prevStep, int step)
{
    ControlMessage m;
    m.type = PLP_SHARING_STATE;
    m.ownSessionId = m_manager.ownSessionId;
    m.prevSharingStep = static_cast<uint32_t>(prevStep);
    m.sharingStep = static_cast<uint32_t>(step);
    if (m_link)
        m_link->Sender().SendControlMessage(m);
}

bool LinkTransport::SendPackets(const std::vector<ControlPacket>& packets)
{
    std::shared_ptr<MeetingLink> link = SharedLink();
    return link && link->Sender().SendAll(packets);
}
