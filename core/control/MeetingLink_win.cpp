#include "core/control/MeetingLink_win.h"

#include "core/control/TunnelHello.h"

MeetingLink::~MeetingLink()
{
    Close();
}

int MeetingLink::Open(const MeetingLinkConfig& config, ControlPacketHandler& handler,
                      TunnelRelay::EndedCallback onEnded, TunnelRelay::ReadyCheck audioReady)
{
    int rc = StartListener(config.listenPort);
    if (rc == kOk)
        rc = CreateChannels();
    if (rc == kOk)
        rc = OpenControlTunnel(config);
    if (rc == kOk)
        rc = SendHello(config.endpoint.isHost ? 1 : 0, config.meetingId, config.displayNameUtf8);
    if (rc == kOk)
        rc = StartThreads(handler, std::move(onEnded), std::move(audioReady));
    return rc;
}

int MeetingLink::StartListener(uint16_t port)
{
    if (!m_channels.StartListener(port)) {
        m_error = "loopback listener could not be made";
        Close();
        return kFailed;
    }
    return kOk;
}

int MeetingLink::CreateChannels()
{
    if (!m_channels.CreateChannels(0)) {
        m_error = "loopback channels could not be made";
        Close();
        return kFailed;
    }
    return kOk;
}

int MeetingLink::OpenControlTunnel(const MeetingLinkConfig& config)
{
    m_config = config;
    m_control = std::make_unique<CApplianceTunnel>(TunnelKind::Control);
    int rc = m_control->Connect(config.endpoint);
    if (rc != CApplianceTunnel::kConnected || !m_control->Handshake()) {
        m_error = m_control->LastError();
        Close();
        return rc != CApplianceTunnel::kConnected ? rc : kFailed;
    }
    return kOk;
}

int MeetingLink::SendHello(uint16_t role, const std::string& meetingId, const std::string& displayNameUtf8)
{
    auto hello = BuildTunnelHello(role, meetingId, displayNameUtf8, m_config.endpoint.sessionId);
    if (!m_control || !m_control->SendOrClose(hello.data(), hello.size())) {
        m_error = m_control ? m_control->LastError() : "no control tunnel";
        Close();
        return kFailed;
    }
    return kOk;
}

int MeetingLink::StartThreads(ControlPacketHandler& handler, TunnelRelay::EndedCallback onEnded,
                              TunnelRelay::ReadyCheck audioReady)
{
    SOCKET controlEnd = m_channels.ClientEnd(LocalChannel::Control);
    if (controlEnd != INVALID_SOCKET && !SetNonBlocking(controlEnd)) {
        m_error = "control channel could not be set up";
        Close();
        return kFailed;
    }
    m_sender.SetSocket(controlEnd);
    if (!m_control || !m_relay.Start(*m_control, m_channels, std::move(onEnded), std::move(audioReady)) ||
        !m_controlThread.Start(m_channels.ClientEnd(LocalChannel::Control), ReceiveChannel::Control, handler) ||
        !m_canvasThread.Start(m_channels.ClientEnd(LocalChannel::Canvas), ReceiveChannel::Canvas, handler)) {
        m_error = "meeting threads could not be started";
        Close();
        return kFailed;
    }
    return kOk;
}

int MeetingLink::OpenSharing()
{
    int rc = CreateSharingChannel();
    return rc == kOk ? OpenSharingTunnel(m_config.endpoint.isHost) : rc;
}

int MeetingLink::CreateSharingChannel()
{
    if (!m_control || m_sharing || !m_channels.CreateChannels(1))
        return kFailed;
    return kOk;
}

int MeetingLink::OpenSharingTunnel(bool isHost)
{
    if (!m_control || m_sharing || m_channels.ClientEnd(LocalChannel::Sharing) == INVALID_SOCKET)
        return kFailed;
    auto sharing = std::make_unique<CApplianceTunnel>(TunnelKind::Sharing);
    TunnelEndpoint endpoint = m_config.endpoint;
    endpoint.isHost = isHost;
    int rc = sharing->Connect(endpoint);
    if (rc != CApplianceTunnel::kConnected || !sharing->Handshake()) {
        m_error = sharing->LastError();
        m_channels.CloseChannel(LocalChannel::Sharing);
        return rc != CApplianceTunnel::kConnected ? rc : kFailed;
    }
    m_sharing = std::move(sharing);
    m_relay.AttachSharing(*m_sharing, m_channels.TakeAcceptedEnd(LocalChannel::Sharing));
    return kOk;
}

bool MeetingLink::WriteToSharingEnd(const void* data, size_t length)
{
    return m_relay.WriteToChannel(LocalChannel::Sharing, data, length);
}

void MeetingLink::StopSharingTraffic()
{
    if (m_sharing)
        m_sharing->Close();
    m_channels.ShutdownChannel(LocalChannel::Sharing);
}

void MeetingLink::CloseSharing()
{
    if (m_sharing)
        m_sharing->Close();
    m_relay.DetachSharing();
    m_sharing.reset();
    m_channels.CloseChannel(LocalChannel::Sharing);
}

void MeetingLink::StopTraffic()
{
    // The relay's stop comes before the tunnels close, so a deliberate end
    // is never reported as a lost control tunnel. Then every blocking call
    // of every meeting thread ends: tunnel sends and reads fail, channel
    // reads and writes see the shutdown. Nothing is joined or closed here.
    m_relay.RequestStop();
    m_controlThread.RequestStop();
    m_canvasThread.RequestStop();
    if (m_control)
        m_control->Close();
    if (m_sharing)
        m_sharing->Close();
    m_channels.ShutdownAll();
}

void MeetingLink::Close()
{
    // Wake everything that may block on a channel or a tunnel, join (each
    // within its limit), then free.
    StopTraffic();
    m_relay.Stop();
    m_controlThread.Stop();
    m_canvasThread.Stop();
    m_sender.SetSocket(INVALID_SOCKET);
    m_sharing.reset();
    m_control.reset();
    m_channels.Close();
}
