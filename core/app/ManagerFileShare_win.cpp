// What file sharing reads and uses of the manager.
#include "core/app/ManagerFileShare_win.h"

#include "core/app/Manager.h"

namespace {

class ManagerFileShareContext : public FileShareContext {
public:
    explicit ManagerFileShareContext(CManager& m) : m_manager(m) {}

    HINSTANCE Instance() override { return m_manager.instance; }

    bool SendFileShare(const uint8_t* payload, size_t length) override
    {
        if (length > 0xFFFF)
            return false;
        ControlPacket packet(kControlPacketHeaderSize + length);
        ControlPacketHeader{PLP_FILE_SHARE, static_cast<uint16_t>(length)}.Encode(packet.data());
        std::copy(payload, payload + length, packet.begin() + kControlPacketHeaderSize);
        return m_manager.Transport().SendPackets({packet});
    }

    std::string OwnSession() override { return m_manager.ownSessionId; }

    std::uintptr_t Channel() override { return m_manager.FeatureChannelEnd(MeetingContext::FeatureChannel::FileShare); }

    std::vector<FileShareMember> Members() override
    {
        std::vector<FileShareMember> out;
        std::lock_guard<std::mutex> l(m_manager.participantLock);
        for (const Participant& p : m_manager.participants)
            out.push_back({p.sessionID, p.name, p.role});
        return out;
    }

    void Balloon(const wchar_t* title, const wchar_t* text) override { m_manager.ShowTrayBalloon(title, text); }

    void SetHostTransfers(bool active) override { m_manager.hostHasTransfers = active ? 1 : 0; }

private:
    CManager& m_manager;
};

} // namespace

std::unique_ptr<FileShareContext> MakeFileShareContext(CManager& manager)
{
    return std::make_unique<ManagerFileShareContext>(manager);
}
