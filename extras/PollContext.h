#pragma once
// What the polling panels need of the program: the packet sender, the own
// identity, the participants to ask, the manager's two poll flags and the
// log. The program's manager implements it.
#include "extras/PollRecord.h"

#include <cstdint>
#include <string>
#include <string_view>

class PollContext {
public:
    virtual ~PollContext() = default;
    // A poll text (14, cut into pieces), a submit (16) or the end (17, no
    // text), each packet whole under the control channel's send lock.
    virtual bool SendPollPacket(uint8_t type, std::string_view text) = 0;
    virtual std::string OwnSessionId() = 0;
    // UTF-8.
    virtual std::string OwnDisplayName() = 0;
    // Every participant in the list but this client, read under the list's
    // lock (released before this returns).
    virtual PollPeople OtherParticipants() = 0;
    // pollActive: a poll is shown or open here; pollOwner: this client opened it.
    virtual void SetPollFlags(bool active, bool owner) = 0;
    // A log line; format holds one "%s" for the event prefix.
    virtual void LogPollEvent(int level, const wchar_t* format) = 0;
};
