#include "Customer/session/tests/TestSocket.h"

#include "rfb/VSocket.h"

#include <winsock2.h>

namespace {

// The product's socket sets time-outs only once InitWinsock has recorded the
// Winsock version, as the program's start does; the pair keeps Winsock itself
// running.
struct RecordedWinsock {
    RecordedWinsock()
    {
        bool started = false;
        InitWinsock(&started);
        if (started)
            WSACleanup();
    }
};

} // namespace

std::unique_ptr<HostConnection> MakeHostConnection(rdr::SocketHandle s)
{
    static const RecordedWinsock recorded;
    return MakeSocketConnection(s);
}
