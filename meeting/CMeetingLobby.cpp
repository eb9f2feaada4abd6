#include "meeting/CMeetingLobby.h"

CMeetingLobby::CMeetingLobby(CManager* manager) : m_manager(manager) {}

CMeetingLobby::~CMeetingLobby()
{
    if (m_hWnd && IsWindow(m_hWnd))
        DestroyWindow(m_hWnd);
}

// The lobby window, its participant list and its sharing-state logic belong
// to the meeting room, which is not built yet.
void CMeetingLobby::Create() {}

void CMeetingLobby::OnSharingState() {}

void CMeetingLobby::RefreshParticipantList() {}
