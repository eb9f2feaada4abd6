#pragma once
// The transport of one meeting, as the manager owns it: the loopback
// channels, the control tunnel, the relay thread, the control and canvas
// receive threads and the control packet sender; and, while a screen is
// shared, the sharing channel and tunnel. Open runs the meeting-entry steps
// in order; the manager runs them one by one, since it reads the participant
// list between the tunnel and the hello. Close is the one ordered teardown
// (wake every thread, join them, then close and delete), used on leave,
// logout and every failure.
#include "core/tunnel/ApplianceTunnel_win.h"
#include "core/control/ControlSender_win.h"
#include "core/tunnel/LocalChannels_win.h"
#include "core/control/PacketReceiveThread_win.h"
#include "core/tunnel/TunnelRelay_win.h"

#include <memory>
#include <string>

struct MeetingLinkConfig {
    TunnelEndpoint endpoint;
    std::string meetingId;
    std::string displayNameUtf8;
    uint16_t listenPort = LocalChannels::kPreferredPort;
};

class MeetingLink {
public:
    enum Result { kOk = 1, kFailed = 0 }; // or a CApplianceTunnel::ConnectResult (negative)

    MeetingLink() = default;
    ~MeetingLink();
    MeetingLink(const MeetingLink&) = delete;
    MeetingLink& operator=(const MeetingLink&) = delete;

    // Listener and channels, control tunnel with its hello, relay and the
    // two receive threads. onEnded runs on the relay thread when the control
    // tunnel ends by itself (the manager posts it to its main thread).
    // Each step on failure leaves everything closed.
    int Open(const MeetingLinkConfig& config, ControlPacketHandler& handler, TunnelRelay::EndedCallback onEnded,
             TunnelRelay::ReadyCheck audioReady = {});
    // The steps of Open, in this order.
    int StartListener(uint16_t port = LocalChannels::kPreferredPort);
    int CreateChannels();
    int OpenControlTunnel(const MeetingLinkConfig& config);
    int SendHello(uint16_t role, const std::string& meetingId, const std::string& displayNameUtf8);
    int StartThreads(ControlPacketHandler& handler, TunnelRelay::EndedCallback onEnded,
                     TunnelRelay::ReadyCheck audioReady = {});
    // The sharing channel and tunnel ("PL-HOST" or "PL-PARTICIPANT" by role).
    int OpenSharing();
    // The steps of OpenSharing, in this order.
    int CreateSharingChannel();
    // isHost picks "PL-HOST" or "PL-PARTICIPANT": the role may have changed
    // since the control tunnel was opened.
    int OpenSharingTunnel(bool isHost);
    bool SharingOpen() const { return m_sharing != nullptr; }
    SOCKET SharingClientEnd() const { return m_channels.ClientEnd(LocalChannel::Sharing); }
    // Bytes for the local sharing endpoint, as if they came down the sharing
    // tunnel; never in the middle of a relayed frame.
    bool WriteToSharingEnd(const void* data, size_t length);
    // The sharing side only; the meeting's channels keep running.
    void CloseSharing();
    // The first step of ending sharing: the sharing tunnel closed and the
    // sharing channel shut down (its client end stays open: the sharing
    // endpoint owns its use), so the endpoint's threads end; joins none.
    void StopSharingTraffic();
    // The first step of every end: the relay told to stop, then the tunnels
    // closed and every channel shut down (the client ends stay open for the
    // features that still hold them), so every meeting thread's blocking
    // call ends. Joins nothing and returns at once.
    void StopTraffic();
    // StopTraffic, then the joins (each bounded), then everything freed.
    void Close();

    ControlSender& Sender() { return m_sender; }
    const TunnelRelay& Relay() const { return m_relay; }
    LocalChannels& Channels() { return m_channels; }
    bool ControlConnected() const { return m_control && m_control->Connected(); }
    std::string LastError() const { return m_error; }

private:
    MeetingLinkConfig m_config;
    LocalChannels m_channels;
    std::unique_ptr<CApplianceTunnel> m_control;
    std::unique_ptr<CApplianceTunnel> m_sharing;
    TunnelRelay m_relay;
    PacketReceiveThread m_controlThread;
    PacketReceiveThread m_canvasThread;
    ControlSender m_sender;
    std::string m_error;
};
