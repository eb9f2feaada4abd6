#include "meeting/CMeetingLobby.h"

CMeetingLobby::CMeetingLobby(MeetingContext* meeting) : m_meeting(meeting) {}

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
