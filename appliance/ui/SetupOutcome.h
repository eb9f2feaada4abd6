#pragma once
// What the meeting setup window and the invitation window show and log for
// each outcome: string-table ids of the status line and the log line (0 for
// none).
#include <cstdint>

#include "appliance/cgi/Invitation.h"

struct OutcomeTexts {
    unsigned status = 0;
    unsigned log = 0;
};

// A refused start (48, 49, 51); nothing for other results.
OutcomeTexts StartRefusedTexts(int32_t result);
// A refused join after the start (45, 46, 50, 51, 52, 55, 56, 62); nothing
// for the others (the window then shows its own box).
OutcomeTexts JoinRefusedTexts(int32_t result);
// The log line of an invitation stopped by its checks (0: none, as for an
// address with a separator).
unsigned InviteCheckLog(InviteCheck check);
// The log line of the appliance's error number (0 is success).
unsigned InviteErrorLog(int32_t error);
// The deleted or refused delete of a saved meeting: named when the meeting
// has a name; nothing for results without a text.
OutcomeTexts DeleteTexts(int32_t result, bool named);
