#include "Customer/vncServer.h"

#include "Customer/HostConnection.h"
#include "Customer/HostLog.h"
#include "Customer/WinHost.h"
#include "rfb/VSocket.h"

#include <winsock2.h>

vncServer::vncServer(CManager*, rdr::SocketHandle socket)
    : vncServer(CreateWindowsHostPlatform(), MakeSocketConnection(socket))
{
    RouteHostLogToProgramLog();
    // Records the Winsock version for the socket's time-outs; the core keeps
    // Winsock itself running.
    bool started = false;
    InitWinsock(&started);
    if (started)
        WSACleanup();
}
