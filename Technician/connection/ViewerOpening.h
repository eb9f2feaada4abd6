// The opening of a viewing session on the sharing socket: drop what is
// pending (for one wait at most), send the start request, resend it while the
// host is silent, and take the first good start reply after it.
#pragma once

#include "Technician/connection/MessageWriter.h"
#include "Technician/connection/SliceInStream.h"
#include "Technician/connection/ViewerWire.h"

namespace viewer {

struct OpenSchedule {
    int waitMs = 2000;   // one wait for the reply
    int resends = 5;     // start requests sent again after a silent wait
};

// Null on success (reply filled), else why the opening failed: the reason a
// bad reply was refused, when one came. Throws
// Stopped when the connection is stopped meanwhile.
const char* OpenSession(SliceInStream& in, MessageWriter& out, StartReply& reply,
                        const OpenSchedule& schedule = OpenSchedule());

} // namespace viewer
