#include "meeting/CChat.h"

CChat::CChat(MeetingContext* meeting) : m_meeting(meeting) {}

CChat::~CChat()
{
    if (m_hPane && IsWindow(m_hPane))
        DestroyWindow(m_hPane);
}

// The chat dialog, its receive thread and docking belong to the meeting room,
// which is not built yet: no pane and no thread exist until then.
void CChat::CreateDlg() {}

void CChat::StartReceive() {}

void CChat::DockInto(HWND) {}
