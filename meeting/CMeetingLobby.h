#pragma once
// The lobby window of a meeting: participants, roles, sharing state.
#include "core/base/CHeap.h"

#include <windows.h>

#include <atomic>

class MeetingContext;

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

private:
    MeetingContext* m_meeting;
};
