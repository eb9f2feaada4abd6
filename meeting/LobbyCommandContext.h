#pragma once
// What the lobby's commands need of the program: the own view of the
// meeting, the packets and thread messages they send, the control and host
// requests (whose lists only the request logic changes, under its own lock),
// the request workers, and the features a command starts or closes. The
// program's manager implements it beside MeetingContext.
#include "core/control/ControlPacket.h"
#include "meeting/LobbyCommands.h"

#include <cstdint>
#include <string>
#include <vector>

class LobbyCommandContext {
public:
    // A consistent snapshot of the own roles, the meeting's states, the
    // host, the coordinator and whether an assist is present.
    virtual LobbyView LobbyCommandView() = 0;
    // The participant with that session id as the list last showed it;
    // false when it is not in the list.
    virtual bool FindParticipant(const std::string& session, LobbyTarget& out) = 0;
    // One whole packet on the control channel; false when it did not go out.
    virtual bool SendLobbyPacket(const ControlPacket& packet) = 0;
    // A meeting log line at level 3: the event prefix, then text.
    virtual void LogLobbyEvent(const std::wstring& text) = 0;
    // A thread message to the program's main thread.
    virtual void PostToProgram(unsigned message, uintptr_t wParam, intptr_t lParam) = 0;

    // Control and host requests.
    virtual bool RequestControl(const std::string& hostSession) = 0;
    // Gives control back to the host: no longer held, local input watched.
    virtual bool ReleaseOwnControl(const std::string& hostSession) = 0;
    // Host: gives control to session; the own session takes it back.
    virtual bool AcceptControlRequest(const std::string& session) = 0;
    virtual bool RefuseControlRequest(const std::string& session) = 0;
    virtual bool RequestHost(const std::string& coordinator) = 0;
    virtual int AcceptHostRequest(const std::string& session) = 0;
    virtual bool RefuseHostRequest(const std::string& session) = 0;
    virtual bool AskHost(const std::string& session) = 0;
    virtual std::vector<std::string> PendingControlRequests() = 0;
    virtual std::vector<std::string> PendingHostRequests() = 0;
    virtual std::string ControlHolderSession() = 0;
    // The hand-over worker for a new sharer, and the wait for every
    // participant's readiness after a stop.
    virtual void StartSharingRequest(const std::string& session) = 0;
    virtual void StartReadyWait() = 0;

    // Features a command starts or closes.
    virtual void CloseSharingExtras() = 0;  // annotation, marks, magnifier
    virtual void HideChat() = 0;
    virtual void StartWhiteboard() = 0;
    virtual void ShowFileShare() = 0;
    virtual void StartVoice() = 0;
    virtual void WithdrawShares() = 0;
    // The texts the meeting setup left for the rescheduled box: old date,
    // old time, new date, new time.
    virtual std::vector<std::wstring> RescheduleTexts() = 0;

protected:
    ~LobbyCommandContext() = default;
};
