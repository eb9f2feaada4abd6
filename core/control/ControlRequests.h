#pragma once
// Control and host requests between the participants of a meeting: the lists
// of pending requests, who holds control of the shared screen, and the
// packets each side answers with. The packets travel to the session named
// second in them, so every request names its target second.
#include "core/control/ControlPacket.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

// What the user is told (a tray balloon and a meeting log line).
enum class RequestNotice {
    ControlRequested,     // host: "%s requests the control"
    ControlTakenBack,     // participant: "The host take back the control"
    ControlGiven,         // participant: "You get the control"
    ControlReleased,      // host: "%s released the control" (name empty: unknown)
    ControlAccepted,      // host, log only: "Accept %s control request"
    HostRequested,        // coordinator: "%s requests be a host"
    HostRequestRejected,  // requester: "Coordinator(%s) rejects your host request"
    HostInvited,          // asked participant, log only: "Coordinator(%s) ask you to be a host"
    HostInviteAccepted,   // coordinator, log only: "%s accepts to be a host"
    HostInviteDeclined,   // coordinator: "%s rejects to be a host"
    HostRequestAccepted,  // coordinator, log only: "You accpet %s the request of being a host"
};

// Called with the requests' lock held (from the receive thread, the lobby
// and the workers): an implementation posts to other threads and never waits
// for one, or two threads can wait on each other.
class ControlRequestsHost {
public:
    virtual ~ControlRequestsHost() = default;
    // One whole packet on the control channel under the manager's send lock.
    virtual bool SendPacket(const ControlPacket& packet) = 0;
    // Display name (UTF-8) of a participant; empty when not in the list.
    virtual std::string ParticipantName(const std::string& session) = 0;
    virtual bool HasParticipant(const std::string& session) = 0;
    // balloon: false for notices that only go to the log.
    virtual void Notify(RequestNotice notice, const std::string& displayName, bool balloon) = 0;
    virtual void RefreshLobbyList() = 0;
    // The local-input watch that lets the host take control back; handled on
    // the control bar's own thread, and harmless when already in that state.
    virtual void SetInputWatch(bool installed) = 0;
    // The host's windows that stay out of the way while a participant holds control.
    virtual void HideForControlHolder() = 0;
    // Asks the user on a thread of its own; the answer comes back through
    // ControlRequests::AnswerHostInvitation.
    virtual void StartHostInvitationPrompt(const std::string& coordinator) = 0;
    virtual void StartHostHandover(const std::string& newHost) = 0;
};

struct MeetingRoles {
    std::string ownSessionId;
    uint32_t role = 0;              // 1 = host
    uint32_t title = 0;             // 1 = coordinator, 2 = assistant
    uint32_t assistPermission = 0;  // bit 0x2: an assistant receives host requests
    uint32_t serverSharingState = 0;
};

class ControlRequests {
public:
    explicit ControlRequests(ControlRequestsHost& host);

    void SetRoles(const MeetingRoles& roles);
    MeetingRoles Roles() const;

    // Received packets (from the control receive thread).
    void OnControlRequest(uint8_t type, const std::string& first, const std::string& second);
    void OnHostRequest(uint8_t type, const std::string& first, const std::string& second);
    void OnHostInvitation(uint8_t type, const std::string& first, const std::string& second);

    // The user's actions.
    bool RequestControl(const std::string& hostSession);
    // Participant: hands control back to the host. Control is no longer held
    // even when the packet did not go out (the host can take it back). The
    // host's local-input watch stays off here: on a participant it would
    // turn the user's own input into control requests.
    bool ReleaseOwnControl(const std::string& hostSession);
    // Host: gives control to session, or takes it back when session is the
    // host's own id. Nothing is recorded for a packet that did not go out:
    // false then, and the request stays pending.
    bool AcceptControlRequest(const std::string& session);
    bool RefuseControlRequest(const std::string& session);
    bool RequestHost(const std::string& coordinator);
    // Coordinator: 1 when the grant was sent or handed to the hand-over, 0 when
    // the sharing state allows none or the grant did not go out.
    int AcceptHostRequest(const std::string& session);
    bool RefuseHostRequest(const std::string& session);
    bool AskHost(const std::string& target);
    bool AnswerHostInvitation(const std::string& coordinator, bool accept);

    // After every new participant list: requests of those who left are dropped.
    void SyncRequestLists();
    // Sharing ended: nobody holds control and no control request is pending.
    void EndSharing();
    // The meeting ended.
    void Clear();

    std::vector<std::string> PendingControl() const;
    std::vector<std::string> PendingHost() const;
    std::string ControlHolder() const;
    bool ControlHeld() const;
    bool OwnHostRequest() const;
    // Bit 1: a participant controls the shared screen.
    uint32_t StateBits() const;

private:
    bool Send(const ControlPacket& p) { return m_host.SendPacket(p); }
    void ReleaseControl();
    static bool AddOnce(std::vector<std::string>& list, const std::string& s);
    static bool Remove(std::vector<std::string>& list, const std::string& s);

    ControlRequestsHost& m_host;
    mutable std::recursive_mutex m_lock;
    MeetingRoles m_roles;
    std::vector<std::string> m_controlRequests;
    std::vector<std::string> m_hostRequests;
    std::string m_controlHolder;
    bool m_controlHeld = false;
    bool m_ownHostRequest = false;
    uint32_t m_stateBits = 0;
};
