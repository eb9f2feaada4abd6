#pragma once
// What the voice needs of the program besides the meeting's packet sender:
// the meeting's voice flags, the transport setting, the proxy, and the
// appliance's identity for the DTLS session. The manager implements it.
#include "core/base/AcceptedCertificate.h"

#include <cstdint>
#include <string>

class VoiceContext {
public:
    enum Transport { kAuto = 0, kTcp = 1, kUdp = 2 };
    virtual ~VoiceContext() = default;

    virtual bool VoiceActive() = 0;
    virtual void SetVoiceActive(bool on) = 0;
    // The receive thread reads the audio channel (the relay waits for it).
    virtual void SetAudioReady(bool on) = 0;
    virtual int TransportSetting() = 0;
    virtual bool ProxyInUse() = 0;
    virtual std::string ApplianceHost() = 0;
    // The certificate the user accepted for the appliance, if any.
    virtual AcceptedCertificate AcceptedAppliance() = 0;
    virtual std::string OwnSessionId() = 0;
    // The meeting id the control hello carries.
    virtual std::string HelloMeetingId() = 0;
};
