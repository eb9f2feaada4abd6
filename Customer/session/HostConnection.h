// The sharing connection as the session sees it: exact reads, whole-message
// sends, time-outs, and a shutdown that makes a waiting read or send return.
// The program's is the VSocket on the core's socket (HostConnection_win.cpp);
// tests use a socket pair.
#pragma once

#include "Customer/session/ViewerMessages.h"
#include "rfb/SocketCalls.h"

#include <cstddef>
#include <memory>

class HostConnection : public ExactReader {
public:
    // Sends one whole message; false when the connection failed.
    virtual bool SendExact(const void* data, size_t n) = 0;
    // Receive and send time-outs in milliseconds (0: none).
    virtual bool SetTimeout(unsigned milliseconds) = 0;
    // Makes every read and send fail from now on, also one another thread is
    // waiting in. The socket is left open and usable: it is its owner's, who
    // may give it to the next session.
    virtual void Shutdown() = 0;
};

// The program's connection: the rfb VSocket on the core's socket
// (HostConnection_win.cpp).
std::unique_ptr<HostConnection> MakeSocketConnection(rdr::SocketHandle socket);
