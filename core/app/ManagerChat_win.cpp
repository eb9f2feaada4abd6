// The chat's view of the manager: identities and the list under the
// participant lock, packets through the core's sender, and the lobby's
// refresh.
#include "core/app/ManagerChat_win.h"

#include "core/app/Manager.h"
#include "meeting/CMeetingLobby.h"

namespace {

class ManagerChatContext : public ChatContext {
public:
    explicit ManagerChatContext(CManager& manager) : m_manager(manager) {}

    HINSTANCE Instance() const override { return m_manager.instance; }
    DWORD MainThreadId() const override { return m_manager.mainThreadId; }
    std::string OwnSessionId() const override { return m_manager.ownSessionId; }
    std::vector<ChatPeer> Peers() override
    {
        std::lock_guard<std::mutex> l(m_manager.participantLock);
        std::vector<ChatPeer> peers;
        peers.reserve(m_manager.participants.size());
        for (const Participant& p : m_manager.participants)
            peers.push_back({p.sessionID, p.name});
        return peers;
    }
    bool SendPacket(const std::vector<uint8_t>& packet) override { return m_manager.SendLobbyPacket(packet); }
    std::uintptr_t ChatChannel() override
    {
        return m_manager.FeatureChannelEnd(MeetingContext::FeatureChannel::Chat);
    }
    bool HostSharing() const override { return m_manager.serverSharingState == 2; }
    std::wstring EventPrefix() const override { return m_manager.MakeEventPrefix(0); }
    void AskRefresh() override
    {
        if (m_manager.lobby)
            m_manager.lobby->RefreshNow(0);
    }

private:
    CManager& m_manager;
};

} // namespace

std::shared_ptr<ChatContext> MakeChatContext(CManager& manager)
{
    return std::make_shared<ManagerChatContext>(manager);
}
