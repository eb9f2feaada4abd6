#pragma once
// The lobby window of a meeting: participants, roles, sharing state.
#include "core/base/CHeap.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class MeetingContext;
class LobbyCommandContext;
class LobbyCommandWorkers;
struct LobbyTarget;

class CMeetingLobby : public CHeap {
public:
    explicit CMeetingLobby(MeetingContext* meeting);
    ~CMeetingLobby() override;
    CMeetingLobby(const CMeetingLobby&) = delete;
    CMeetingLobby& operator=(const CMeetingLobby&) = delete;

    // Creates the lobby window.
    void Create();
    // The lobby's sharing-state handler: posts 1036 and 60109-60116 by the
    // manager's role, serverSharingState and sharing steps.
    void OnSharingState();
    // Re-reads the manager's participant list and updates rows and toolbar.
    void RefreshParticipantList();

    HWND Window() const { return m_hWnd; }

    HWND m_hWnd = nullptr;
    // 2 after packet type 25, 1 after type 26; read by the lobby only.
    std::atomic<int> m_lobbyState{0};
    // While set, the poll panel stays as it is (message 60122).
    int m_pollLocked = 0;

    // --- commands and requests (CMeetingLobbyCommands_win.cpp) ---
    // A toolbar click (2500-2510) with the button's state value; ignored
    // unless the value says enabled. The caller updates the toolbar after.
    void OnToolbarCommand(int id, int buttonValue);
    // A participant menu command on the participant whose row was
    // right-clicked, named by its session id (display names may repeat).
    void OnParticipantCommand(int id, const std::string& session);
    void PassControl(const std::string& session);
    void RejectControlRequest(const std::string& session);
    void RejectHostRequest(const std::string& session);
    void AcceptHostRequest(const std::string& session);
    // Refuses every session of list (type 13 or 19), 200 ms apart, on a
    // thread of its own with its own copy of the list.
    void StartRejectAll(std::vector<std::string> list, uint8_t type);
    // The dialogs, each on a thread of its own with its own copy of the
    // participant. mode 0 makes an assist, 1 changes an assist's bits.
    void AssistPermissionThread(const LobbyTarget& selected, int mode);
    void RenameThread(const LobbyTarget& selected);
    void EndMeetingThread();
    // The frame's close button.
    void OnClose();
    // The meeting setup's reply to a reschedule (60125).
    void OnRescheduleResult(WPARAM wParam, LPARAM lParam);
    LobbyCommandContext* CommandContext() const;
    // The dialog threads and reject-all senders; joined when the lobby goes.
    std::shared_ptr<LobbyCommandWorkers> m_commandWorkers;

private:
    MeetingContext* m_meeting;
};
