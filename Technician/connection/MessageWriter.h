// Where the viewer's outgoing messages go: each call carries one whole
// message, written under one lock, so messages from the reader and the GUI
// thread never interleave.
#pragma once

#include "Technician/connection/ViewerWire.h"

namespace viewer {

class MessageWriter {
public:
    virtual ~MessageWriter() = default;
    // Throws (QuietException, Stopped) when the message cannot go out.
    virtual void send(const Bytes& message) = 0;
};

} // namespace viewer
