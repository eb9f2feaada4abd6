// What the active-meetings window needs of the program: the module and main
// thread, the request session with the program's fields put in, the user's
// name, the meeting about to be joined, and whether a meeting is running.
// The program implements it; tests may too.
#pragma once

#include "appliance/cgi/CgiSession.h"
#include "appliance/cgi/MeetingRecord.h"

#include <windows.h>

#include <string>

class MeetingListContext {
public:
    virtual ~MeetingListContext() = default;

    virtual HINSTANCE Instance() const = 0;
    virtual DWORD MainThreadId() const = 0;
    // The request session with the program's fields put in (GUI thread).
    virtual CgiSession& PreparedSession() = 0;
    // Role and display name for log lines.
    virtual std::wstring EventPrefix() const = 0;
    virtual std::wstring OwnDisplayName() const = 0;
    // The meeting a join names: its id, name and waiting message become the
    // program's current meeting, and the code its meeting code.
    virtual void SetMeetingToJoin(const MeetingRecord& meeting, const std::string& codeUtf8) = 0;
};
