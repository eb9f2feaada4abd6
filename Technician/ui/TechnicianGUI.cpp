#include "Technician/ui/TechnicianGUI.h"

#include "Technician/connection/ClientConnection.h"

TechnicianGUI::TechnicianGUI(MeetingContext* meeting, HWND parent) : m_meeting(meeting), m_parent(parent) {}

TechnicianGUI::~TechnicianGUI()
{
    delete m_conn;
}

// The viewer windows are not built yet; the frame stays without windows.
void TechnicianGUI::CreateWindows() {}

void TechnicianGUI::UpdateZoomDisplay() {}
