#pragma once
// The steps of the request workers that move the host role: ending a running
// share, naming the new host and waiting for the appliance's participant list
// to show each change. They run on worker threads (RequestWorkers_win) and
// reach the meeting through this interface, so the steps themselves are
// plain code.
#include "core/control/ControlPacket.h"

#include <cstdint>
#include <string>

class HandoverEnv {
public:
    virtual ~HandoverEnv() = default;
    virtual std::string OwnSessionId() = 0;
    // The session whose role is 1 in the participant list; empty when none.
    virtual std::string CurrentHost() = 0;
    virtual uint32_t SharingState() = 0;
    // Makes the lobby read the participant list now (blocks up to 2 s).
    virtual void RefreshParticipants() = 0;
    virtual bool AllParticipantsReady() = 0;
    virtual void CloseCanvases() = 0;
    virtual bool Send(const ControlPacket& packet) = 0;
    virtual void Pause(uint32_t ms) = 0;
    // True once the meeting is being left: the steps stop at their next wait.
    virtual bool Cancelled() = 0;
};

// A hand-over to newHost after ending any share; true when the participant
// list names newHost as host within the tries.
bool RunHostHandover(HandoverEnv& env, const std::string& newHost);
// The lobby's sharing request for session: a running share is ended (and
// the participants' readiness waited for) before session is set as sharer.
void RunSharingRequest(HandoverEnv& env, const std::string& session);
// Waits for every participant to be ready and the share to have ended; when
// that does not happen within 20 tries, asks the appliance to end it.
bool RunReadyWait(HandoverEnv& env);
