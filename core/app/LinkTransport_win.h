#pragma once
// The meeting transport of the program: the manager's meeting steps carried
// out by a MeetingLink (loopback channels, appliance tunnels, relay and
// receive threads, control packet sender).
#include "appliance/cgi/ProxyConfig.h"
#include "core/app/ManagerServices.h"
#include "core/control/MeetingLink_win.h"

#include <functional>
#include <memory>

class LinkTransport : public MeetingTransport {
public:
    // What a tunnel to the appliance goes through now: the proxy as the
    // requests use it (automatic modes resolved, bypass list applied), and
    // the thumbprint (SHA-1 hex) of an appliance certificate the user
    // accepted for this host and port, empty when none.
    struct Access {
        ProxyConfig proxy;
        std::string acceptedThumbprint;
    };
    using AccessNow = std::function<Access()>;

    LinkTransport(CManager& manager, AccessNow access);
    ~LinkTransport() override;

    bool StartLocalListener() override;
    bool CreateLocalSockets(int mode) override;
    bool OpenTunnel(int kind) override;
    bool HasTunnel(int kind) const override;
    bool SendHello(const std::string& meetingId, int role, const std::wstring& displayName,
                   const std::string& sessionId) override;
    bool StartMeetingThreads() override;
    void ShutdownSharing() override;
    void StopTraffic() override;
    void DropSharing() override;
    void CloseAndJoin() override;
    SOCKET SharingClientEnd() const override;
    SOCKET FeatureClientEnd(MeetingContext::FeatureChannel channel) const override;
    bool WriteSharingAcceptedEnd(const void* data, size_t length) override;
    void SendSharingState(int prevStep, int step) override;
    bool SendPackets(const std::vector<ControlPacket>& packets) override;

private:
    MeetingLinkConfig MakeConfig() const;

    // The current link as the senders on other threads see it.
    std::shared_ptr<MeetingLink> SharedLink() const;

    CManager& m_manager;
    AccessNow m_access;
    // Replaced on the main thread for each meeting (std::atomic_store) while
    // other threads may be sending (std::atomic_load): a sender keeps the link
    // it took alive, so a late packet goes to a closed link, never to freed
    // memory. The main thread reads it directly.
    std::shared_ptr<MeetingLink> m_link;
};
