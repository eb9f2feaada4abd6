#pragma once
// The manager's side of the packets a meeting receives and of the control and
// host requests: the receive threads hand each packet here, the request logic
// reaches the lobby, canvases, marks, polls, file sharing, the tray and the
// participant list through here, and the request workers live here. One per
// manager; its workers belong to one meeting and are joined when it ends.
#include "core/control/ControlPacketDispatcher.h"
#include "core/control/HostHandover.h"
#include "core/control/ControlRequests.h"
#include "core/control/RequestWorkers_win.h"

#include <memory>
#include <mutex>
#include <string>

class CManager;

class MeetingHandlers : public ControlPacketHandler, public ControlRequestsHost, public HandoverEnv {
public:
    explicit MeetingHandlers(CManager& manager);
    ~MeetingHandlers() override;
    MeetingHandlers(const MeetingHandlers&) = delete;
    MeetingHandlers& operator=(const MeetingHandlers&) = delete;

    // A meeting is entered: fresh request state and workers.
    void BeginMeeting();
    // After the receive threads are joined: the workers are cancelled and
    // joined, the request state emptied.
    void EndMeeting();
    // The request logic with the manager's current roles.
    ControlRequests& Requests();
    // The lobby's request workers: a new sharer after any running share
    // ends, and the wait for the participants after a stop.
    void StartSharingRequest(const std::string& session);
    void StartReadyWait();

    // ControlPacketHandler (receive threads)
    void OnControlRequest(uint8_t type, const std::string& first, const std::string& second) override;
    void OnHostRequest(uint8_t type, const std::string& first, const std::string& second) override;
    void OnHostInvitation(uint8_t type, const std::string& first, const std::string& second) override;
    void OnPollPiece(bool moreFollows, std::string_view text) override;
    void OnPollSubmit(std::string_view text) override;
    void OnPollClose() override;
    void OnCanvasMessage(std::string_view text) override;
    void OnPartiMark(std::string_view text) override;
    void OnFileShare(const ReceivedPacket& packet) override;
    void OnLobbyState(uint32_t state) override;
    void OnMeetingStateChanged(uint8_t type) override;
    void OnDropped(const ReceivedPacket& packet, const char* why) override;

    // ControlRequestsHost
    bool SendPacket(const ControlPacket& packet) override;
    std::string ParticipantName(const std::string& session) override;
    bool HasParticipant(const std::string& session) override;
    void Notify(RequestNotice notice, const std::string& displayName, bool balloon) override;
    void RefreshLobbyList() override;
    void SetInputWatch(bool installed) override;
    void HideForControlHolder() override;
    void StartHostInvitationPrompt(const std::string& coordinator) override;
    void StartHostHandover(const std::string& newHost) override;

    // HandoverEnv (request workers)
    std::string OwnSessionId() override;
    std::string CurrentHost() override;
    uint32_t SharingState() override;
    void RefreshParticipants() override;
    bool AllParticipantsReady() override;
    void CloseCanvases() override;
    bool Send(const ControlPacket& packet) override;
    void Pause(uint32_t ms) override;
    bool Cancelled() override;

private:
    void UpdateRoles();
    void SyncStateBits();
    // The lobby reads the participant list now (bounded: 2 s).
    void RefreshLobbyNow();
    template <class Start>
    void WithWorkers(Start start);

    CManager& m_manager;
    ControlRequests m_requests;
    std::mutex m_workersLock;
    std::unique_ptr<RequestWorkers> m_workers;
    // Both receive threads apply canvas messages; one at a time.
    std::mutex m_canvasLock;
    PollAssembly m_poll;  // control receive thread only
};
