// The sharing connection as the session sees it: exact reads, whole-message
// sends, time-outs, and a shutdown that makes a blocked read return. The
// program's is the VSocket on the core's socket (HostConnection_win.cpp);
// tests use a socket pair.
#pragma once

#include "Customer/ViewerMessages.h"
#include "rfb/SocketCalls.h"

#include <cstddef>
#include <memory>

class HostConnection : public ExactReader {
public:
    // Sends one whole message; false when the connection failed.
    virtual bool SendExact(const void* data, size_t n) = 0;
    // Receive and send time-outs in milliseconds (0: none).
    virtual bool SetTimeout(unsigned milliseconds) = 0;
    // Ends both directions so a blocked read fails; the socket stays open
    // for its owner to close.
    virtual void Shutdown() = 0;
};

// The program's connection: the rfb VSocket on the core's socket
// (HostConnection_win.cpp).
std::unique_ptr<HostConnection> MakeSocketConnection(rdr::SocketHandle socket);
