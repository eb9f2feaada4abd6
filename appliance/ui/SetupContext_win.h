// What the meeting setup window needs of the program: the module and main
// thread, the request session, the clock and zone, the meeting open now (for
// a reschedule), where the scheduled meeting is kept, the invitation sender
// and logging out. The program implements it; tests may too.
#pragma once

#include "appliance/cgi/CgiSession.h"
#include "appliance/cgi/Invitation.h"
#include "appliance/cgi/MeetingSchedule.h"
#include "core/base/s_mem.h"

#include <windows.h>

#include <cstdint>
#include <string>

// The meeting as the form last described it: name, code, the start and end
// date and time texts, and the description.
struct ScheduledMeeting {
    std::string nameUtf8;
    s_mem code;  // StoredSecret
    std::string startDate;  // "YYYY/MM/DD"
    std::string startTime;  // "HH:MM" as typed
    std::string endDate;
    std::string endTime;
    std::string descriptionUtf8;
};

class SetupContext {
public:
    virtual ~SetupContext() = default;

    virtual HINSTANCE Instance() const = 0;
    virtual DWORD MainThreadId() const = 0;
    // The request session with the program's fields put in, for requests made
    // on the GUI thread.
    virtual CgiSession& PreparedSession() = 0;
    virtual std::wstring EventPrefix() const = 0;
    virtual std::wstring OwnDisplayName() const = 0;

    virtual const LocalZone& Zone() const = 0;
    virtual int64_t Now() const = 0;

    // The meeting open now: its name (UTF-8) and code (StoredSecret).
    virtual std::string OpenMeetingName() const = 0;
    virtual s_mem OpenMeetingCode() const = 0;
    virtual void KeepMeeting(const ScheduledMeeting& meeting) = 0;
    virtual void SetMeetingState(int state) = 0;
    // After a start: the new meeting (the session's meeting id) becomes the
    // program's meeting.
    virtual void TakeStartedMeeting() = 0;
    // Sends the invitations on a thread of their own, with their own copy of
    // the texts; the outcome goes to the log only.
    virtual void SendInvitations(const InvitationTexts& texts) = 0;
    virtual void Logout() = 0;
};
