// The voice's view of the manager: the meeting's voice flags, the transport
// setting, the proxy and the appliance's identity.
#include "core/app/ManagerVoice_win.h"

#include "core/app/Manager.h"

#include "core/app/ManagerServices.h"
#include "extras/AudioSpeaker.h"
#include "extras/VoiceContext.h"

namespace {

class ManagerVoice : public VoiceContext {
public:
    explicit ManagerVoice(CManager& manager) : m_manager(manager) {}

    bool VoiceActive() override { return m_manager.voiceActive != 0; }
    void SetVoiceActive(bool on) override { m_manager.voiceActive = on ? 1 : 0; }
    void SetAudioReady(bool on) override { m_manager.audioReady = on ? 1 : 0; }
    int TransportSetting() override { return m_manager.audioTransType; }
    bool ProxyInUse() override { return m_manager.proxy.InUse(); }
    std::string ApplianceHost() override { return m_manager.applianceHost; }
    AcceptedCertificate AcceptedAppliance() override
    {
        return {m_manager.applianceHost, m_manager.appliancePort, m_manager.Appliance().AcceptedApplianceThumbprint()};
    }
    std::string OwnSessionId() override { return m_manager.ownSessionId; }
    std::string HelloMeetingId() override { return m_manager.meetingId; }

private:
    CManager& m_manager;
};

} // namespace

std::unique_ptr<VoiceContext> MakeVoiceContext(CManager& manager)
{
    return std::make_unique<ManagerVoice>(manager);
}

void CManager::StartVoice()
{
    if (audioSpeaker)
        audioSpeaker->StartVoice();
}
