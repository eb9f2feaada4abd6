// The lobby's decisions, apart from its window: which rows the participant
// list shows, which toolbar buttons are enabled, which items the participant
// menu offers, and how the sharing state moves after each participant list.
// The window applies what these return; the tests check them by table.
#pragma once
// The toolbar ids and assist bits are the commands' (LobbyCommands.h).
#include "meeting/LobbyCommands.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// One participant as the lobby reads it.
struct LobbyParticipant {
    std::string session;
    std::wstring name;
    int role = 0;        // 1 host (presenter)
    int callerRole = 0;  // 1 coordinator, 2 assist
    int state = 0;       // sharing state
    bool viewOnly = false;
    int assistPermission = 0;
};

// The polls' assist bit, by the window's name for it.
constexpr int kAssistPolls = kAssistPolling;

// Sharing states of a participant, and of the meeting.
enum SharingState : int {
    kShareWaiting = 1,
    kShareStarting = 2,
    kShareReady = 3,
    kShareStarted = 4,
    kShareLeaving = 5,
    kShareQuitting = 7,
};
enum MeetingSharing : int {
    kMeetingNotShared = 0,
    kMeetingShareAsked = 1,
    kMeetingShared = 2,
    kMeetingShareRestart = 3,
    kMeetingShareStop = 4,
};

// --- rows -------------------------------------------------------------------

enum RowMark : int {
    kMarkNone = 0,
    kMarkControlRequest = 1,
    kMarkHostRequest = 2,
    kMarkBothRequests = 3,
    kMarkOwn = 4,
    kMarkVoice = 5,
};

enum class RowName { Plain, Controlling, Sharing };

struct LobbyRow {
    std::string session;
    std::wstring plainName;
    RowName nameForm = RowName::Plain;
    int role = 0;  // 0 participant, 1 host, other values: no role text
    bool coordinator = false, assist = false, viewOnly = false, sharingFiles = false;
    int state = 0;
    int mark = kMarkNone;
    bool bold = false;
    // Row-mark icons drawn after the row (indices of the mark image list).
    std::vector<int> icons;
};

struct RowInputs {
    std::string ownSession;
    int meetingSharingState = 0;
    bool controlHeld = false;
    bool voiceActive = false;
    bool filesShared = false;
    std::vector<std::string> controlRequests, hostRequests;
};

// The own row first, then the others in the list's order.
std::vector<LobbyRow> BuildLobbyRows(const std::vector<LobbyParticipant>& list, const RowInputs& in);

// --- toolbar ----------------------------------------------------------------

constexpr int kFirstButton = 2500;
constexpr int kButtonCount = 11;
// Each button's value: -1 never set, else bit 0 enabled, bit 1 second look.
using ToolbarValues = std::array<int, kButtonCount>;

struct ToolbarInputs {
    int role = 0;
    int callerRole = 0;
    int assistPermission = 0;
    int meetingState = 1;
    int meetingSharingState = 0;
    bool pollActive = false;
    bool voiceActive = false;
    bool captureDevice = false;
    bool viewOnly = false;
    bool controlHeld = false;
};

// Every button before the first update: never set, but "Quit Meeting".
ToolbarValues InitialToolbar();
// The values after an update from the current ones.
ToolbarValues UpdateToolbarValues(ToolbarValues current, const ToolbarInputs& in);
inline int& Button(ToolbarValues& v, int id) { return v[static_cast<size_t>(id - kFirstButton)]; }
inline int Button(const ToolbarValues& v, int id) { return v[static_cast<size_t>(id - kFirstButton)]; }
// A click acts only on an enabled button.
inline bool ButtonEnabled(const ToolbarValues& v, int id)
{
    return id >= kFirstButton && id < kFirstButton + kButtonCount && Button(v, id) > 0 && (Button(v, id) & 1);
}
// Index of the button's image: 4 x (id - 2500) + value; a never-set button
// shows its first look, greyed.
int ButtonImage(const ToolbarValues& v, int id);

// --- participant menu ----------------------------------------------------------

struct MenuInputs {
    std::string ownSession;
    int ownRole = 0;
    int ownCallerRole = 0;
    int assistPermission = 0;
    LobbyParticipant selected;
    std::vector<std::string> controlRequests, hostRequests;
    std::string controlHolder;
    int meetingSharingState = 0;
    bool handoverUnderway = false;
};

struct LobbyMenuItem {
    int command;
    int text;  // string id
};

std::vector<LobbyMenuItem> BuildParticipantMenu(const MenuInputs& in);

// --- sharing state ------------------------------------------------------------

struct SharingInputs {
    std::string ownSession;
    std::wstring ownName;
    int ownRole = 0, ownCallerRole = 0, assistPermission = 0;
    int ownState = 1, prevState = 1;
    int meetingState = 1, meetingSharingState = 0;
    bool startedSeen = false;
    // An earlier list of this meeting held the own record.
    bool ownSeen = false;
};

struct SharingOutcome {
    bool ownFound = false;
    // The own record's values (when found).
    int role = 0, callerRole = 0, assistPermission = 0;
    int ownState = 1, prevState = 1;
    bool viewOnly = false;
    bool nameChanged = false;
    std::wstring name;
    bool roleChanged = false;
    bool becameCoordinator = false;
    bool menuChanged = false;
    // 1036 to the main thread (the control bar is built again).
    bool resetControlMenu = false;
    // 60119 (1, 1): the host's panel docks; the own host request is done.
    bool dockPanel = false;
    bool hideChat = false;
    // Canvases, marks and the magnifier go (not the host).
    bool closeHostTools = false;
    // Packet 3 (own, 0, 1): a coordinator takes the free host role.
    bool takeHostRole = false;
    // Meeting-state text: a string id, or 0 for the wait message.
    int stateText = 0;
    bool startedBalloon = false;
    bool startedSeen = false;
    // 60113: the own record is leaving, or missing after an earlier list
    // had it (the appliance may seat a participant only after its first
    // list).
    bool leave = false;
    // The transition: a thread message (0 none) and its log line.
    unsigned post = 0;
    const char* logLine = nullptr;
    // Packet 2 (own, 3, 4): a participant's viewer is ready for the picture.
    bool sendReady = false;
};

SharingOutcome EvaluateSharing(const std::vector<LobbyParticipant>& list, const SharingInputs& in);

// The meeting-state text while waiting: the wait message, unless it is empty
// or the user is the coordinator.
bool ShowWaitMessage(const std::string& waitMessage, int callerRole);

// --- refresh results ----------------------------------------------------------

enum class RefreshAction { Apply, Ignore, LogOut, Leave };
struct RefreshOutcome {
    RefreshAction action = RefreshAction::Ignore;
    int text = 0, title = 0;  // the box, when there is one
};
RefreshOutcome ActOnRefreshResult(int result);

// The leave message's wParam and lParam.
unsigned LeaveWParam(int ownRole);

// The expiry note of a meeting not yet started.
struct ExpiryOutcome {
    int text = 0;  // a status-line text (minutes, seconds follow), or 0
    int minutes = 0, seconds = 0;
    bool askReschedule = false;  // the coordinator's box of an expired meeting
};
ExpiryOutcome ActOnExpiry(int meetingState, int expirySeconds, int callerRole);

// The control note (1064): 0 hidden, else its text.
int ControlNoteText(int ownRole, bool viewOnly, int meetingState, int meetingSharingState, bool controlHeld);
