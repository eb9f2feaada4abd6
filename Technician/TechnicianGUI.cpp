#include "Technician/TechnicianGUI.h"

#include "Technician/ClientConnection.h"

TechnicianGUI::TechnicianGUI(CManager* manager, HWND parent) : m_manager(manager), m_parent(parent) {}

TechnicianGUI::~TechnicianGUI()
{
    delete m_conn;
}

// The viewer windows are not built yet; the frame stays without windows.
void TechnicianGUI::CreateWindows() {}

void TechnicianGUI::UpdateZoomDisplay() {}
