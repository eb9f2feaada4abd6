#include "Technician/connection/ClientConnection.h"

ClientConnection::ClientConnection(MeetingContext* meeting, SOCKET socket)
    : m_meeting(meeting), m_socket(socket), m_readyEvent(CreateEventW(nullptr, TRUE, FALSE, nullptr))
{
}

// The RFB viewer protocol is not built yet: no exchange can succeed.
int ClientConnection::Run()
{
    return 0;
}
