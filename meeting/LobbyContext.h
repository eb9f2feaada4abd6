#pragma once
// What the lobby needs of the program: the participant-list request, the
// meeting's and the user's state, the request lists, the meeting packets and
// the neighbours it tells about role changes. The program's manager
// implements it (core/app), so the lobby never sees the manager.
#include "core/base/MeetingContext.h"
#include "meeting/LobbyRules.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// The list and the meeting's values as the last request left them.
struct LobbySnapshot {
    std::vector<LobbyParticipant> participants;
    int meetingState = 1;
    int meetingSharingState = 0;
    int expirySeconds = 0;
    std::string meetingName;  // UTF-8
    std::string waitMessage;  // UTF-8
};

// The user's own state in the meeting.
struct LobbyOwnState {
    int role = 0;
    int callerRole = 0;
    int assistPermission = 0;
    int sharingState = 1;
    int prevSharingState = 1;
    bool controlHeld = false;
    bool voiceActive = false;
    bool pollActive = false;
    bool filesShared = false;
    bool captureDevice = false;
    bool hostRequestPending = false;
};

class LobbyContext {
public:
    virtual ~LobbyContext() = default;

    virtual HINSTANCE Instance() const = 0;
    virtual DWORD MainThreadId() const = 0;
    // The meeting packets and participant look-ups.
    virtual MeetingContext& Meeting() = 0;

    // Main thread: the participant-list request, made ready to run on a
    // worker (it then holds no lock during the exchange and swaps the new
    // list in under the participant lock). It returns the appliance's
    // result code.
    virtual std::function<int()> PrepareParticipantsRequest() = 0;
    // Main thread: the list and the meeting's values as they stand.
    virtual LobbySnapshot Snapshot() = 0;

    virtual std::string OwnSessionId() const = 0;
    virtual std::wstring OwnDisplayName() const = 0;
    // Read by other threads (log prefixes): replaced under a lock.
    virtual void SetOwnDisplayName(const std::wstring& name) = 0;
    virtual LobbyOwnState Own() const = 0;
    virtual void SetRoles(int role, int callerRole, int assistPermission) = 0;
    virtual void SetSharingStates(int prev, int current) = 0;
    virtual void ClearHostRequestPending() = 0;

    // Control and host requests (kept by the program under their own lock).
    virtual void SyncRequestLists() = 0;
    virtual std::vector<std::string> ControlRequests() const = 0;
    virtual std::vector<std::string> HostRequests() const = 0;
    virtual std::string ControlHolder() const = 0;
    virtual bool HandoverUnderway() const = 0;

    // "%s..." of a meeting log line at level 3, %s the event prefix.
    virtual void LogEvent(int level, const wchar_t* format) = 0;
    virtual void Balloon(const wchar_t* title, const wchar_t* text) = 0;

    // The neighbours: the chat pane hides; the annotation canvas, the
    // whiteboard, the participant marks and the magnifier close (the user
    // is no longer host); voice playback closes (the role changed).
    virtual void HideChat() = 0;
    virtual void CloseHostTools() = 0;
    virtual void ClosePlayback() = 0;
    // After each list applied: the chat rebuilds its recipients.
    virtual void ParticipantsRefreshed() {}
};
