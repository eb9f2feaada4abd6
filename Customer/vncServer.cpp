#include "Customer/vncServer.h"

vncServer::vncServer(CManager* manager, SOCKET socket) : m_manager(manager), m_socket(socket) {}

vncServer::~vncServer() = default;

void vncServer::SetName(const char* name)
{
    m_name = name ? name : "";
}

// The RFB client and its threads belong to the sharing host; until it is
// built no client starts, so the manager's 10 s wait for the event runs out.
void vncServer::AddClientDefault(int, int) {}
