#include "meeting/CCtrlMenu.h"

// The bar's window belongs to the meeting room, which is not built yet.
CCtrlMenu::CCtrlMenu(MeetingContext* meeting) : m_meeting(meeting) {}

CCtrlMenu::~CCtrlMenu()
{
    if (m_hWnd && IsWindow(m_hWnd))
        DestroyWindow(m_hWnd);
}
