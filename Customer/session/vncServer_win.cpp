#include "Customer/session/vncServer.h"

#include "core/base/MeetingContext.h"
#include "Customer/session/HostConnection.h"
#include "Customer/encode/HostLog.h"
#include "Customer/session/WinHost.h"
#include "rfb/VSocket.h"

#include <winsock2.h>

vncServer::vncServer(MeetingContext* meeting, rdr::SocketHandle socket)
    : vncServer(CreateWindowsHostPlatform(), MakeSocketConnection(socket))
{
    if (meeting)
        SetControlGate([meeting] { return meeting->RemoteControlActive(); });
    RouteHostLogToProgramLog();
    // Records the Winsock version for the socket's time-outs; the core keeps
    // Winsock itself running.
    bool started = false;
    InitWinsock(&started);
    if (started)
        WSACleanup();
}
