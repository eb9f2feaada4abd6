// The host's side of the session tests' loopback pair (rfb/tests/LoopbackPair.h):
// the near end goes to the server through the platform's HostConnection, the
// far end plays the viewer.
#pragma once

#include "Customer/session/HostConnection.h"
#include "Customer/tests/RfbTestDecoder.h"
#include "rfb/tests/LoopbackPair.h"

#include <cstddef>
#include <memory>

// The product's connection on Windows (VSocket), a plain socket one natively.
std::unique_ptr<HostConnection> MakeHostConnection(rdr::SocketHandle s);

// Decoder input from the viewer end of the pair.
class ViewerSource : public testrfb::ByteSource {
public:
    ViewerSource(LoopbackPair& pair, int timeoutMs = 5000) : m_pair(pair), m_timeoutMs(timeoutMs) {}
    void read(void* data, size_t n) override
    {
        if (n > 0 && !m_pair.receiveAtFar(data, n, m_timeoutMs))
            throw testrfb::DecodeError("no data from the host");
    }

private:
    LoopbackPair& m_pair;
    int m_timeoutMs;
};
