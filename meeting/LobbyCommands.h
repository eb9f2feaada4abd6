#pragma once
// What the lobby's commands do, decided without a window: which toolbar
// clicks count, who may start, end, share, request or kick, what a
// participant command turns into, and the packets they send. The lobby's
// window code (CMeetingLobbyCommands_win.cpp) carries the decisions out.
#include "core/base/BoundedThread.h"
#include "core/control/ControlPacket.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// Toolbar buttons.
enum : int {
    kButtonStartEnd = 2500,
    kButtonPolling = 2501,
    kButtonWhiteboard = 2502,
    kButtonFileShare = 2503,
    kButtonVoice = 2504,
    kButtonInvite = 2505,
    kButtonShare = 2506,
    kButtonControl = 2507,
    kButtonReschedule = 2508,
    kButtonRequestHost = 2509,
    kButtonQuit = 2510,
};

// Participant menu commands.
enum : int {
    kCmdSetHost = 1049,
    kCmdSetAssist = 1050,
    kCmdSetParticipant = 1051,
    kCmdKick = 1052,
    kCmdSetViewOnly = 1066,
    kCmdUnsetViewOnly = 1067,
    kCmdTakeBackControl = 32778,
    kCmdPassControl = 32780,
    kCmdRejectControl = 32782,
    kCmdRejectAllControl = 32783,
    kCmdRejectHost = 32786,
    kCmdRejectAllHost = 32787,
    kCmdAssistPermission = 32797,
    kCmdUnsetAssist = 32798,
    kCmdRename = 32799,
};

// Assist-permission bits. Start/end is two bits that the dialog sets
// together; an appliance may send either, and either grants it.
enum : uint32_t {
    kAssistStartEnd = 0x101,
    kAssistSetHost = 0x02,
    kAssistViewOnly = 0x08,
    kAssistKick = 0x10,
    kAssistPolling = 0x20,
    kAssistInvite = 0x40,
    kAssistReschedule = 0x80,
    kAssistAll = kAssistStartEnd | kAssistSetHost | kAssistViewOnly | kAssistKick | kAssistPolling |
                 kAssistInvite | kAssistReschedule,
};

// The lobby's leave message carries this as wParam.
constexpr uintptr_t kLeaveAsHost = 0x102;
constexpr uintptr_t kLeaveAsParticipant = 0x101;
// Rename: the dialog polls for the appliance's reply this often.
constexpr int kRenamePolls = 15;
constexpr unsigned kRenamePollMs = 100;
// Reject-all: the pause before each refusal.
constexpr unsigned kRejectAllPauseMs = 200;

// A toolbar click counts only on an enabled button. A button that was never
// set holds -1, which counts as 0 (not enabled) in every bit operation.
bool ToolbarButtonEnabled(int value);

// The own view of the meeting that the commands decide by.
struct LobbyView {
    std::string ownSession;
    int role = 0;          // 1 host
    int callerRole = 0;    // 1 coordinator, 2 assist
    uint32_t assistPermission = 0;
    int meetingState = 1;  // 1 waiting, 2 started
    int meetingSharingState = 0;
    int expirySeconds = 0;  // negative once a meeting never started has expired
    bool controlHeld = false;
    bool viewOnly = false;
    std::string hostSession;         // empty: nobody has role 1
    std::string coordinatorSession;  // empty: no coordinator present
    bool assistPresent = false;      // another participant with caller role 2
};

// The participant a command acts on (the row that was right-clicked).
struct LobbyTarget {
    std::string session;
    std::string nameUtf8;
    int role = 0;
    int callerRole = 0;
    bool viewOnly = false;
    uint32_t assistPermission = 0;
};

bool MayStartOrEnd(const LobbyView& v);

enum class StartEnd { None, Start, End };
StartEnd StartEndFor(const LobbyView& v);

enum class ShareAction { None, Start, Stop };
ShareAction ShareFor(const LobbyView& v);

enum class ControlButton { None, Request, Release };
ControlButton ControlButtonFor(const LobbyView& v);

// The request-host button: a participant (role 0) with a coordinator to ask.
bool MayRequestHost(const LobbyView& v);

// Quitting asks first: a coordinator who hosts a started meeting without an
// assist would end it for everyone.
bool QuitNeedsConfirmation(const LobbyView& v);
uintptr_t LeaveCode(const LobbyView& v);

enum class SetHost { None, AcceptRequest, SetDirectly, AskHost };
// hasAskedHost: the target is in the host-request list.
SetHost SetHostFor(const LobbyView& v, const LobbyTarget& t, bool hasAskedHost);

// Kicking: the box for the user himself, the packet otherwise.
enum class Kick { RefuseSelf, Send };
Kick KickFor(const LobbyView& v, const LobbyTarget& t);

// The frame's close button.
enum class CloseAction { Undock, AskEndOrQuit, Quit };
CloseAction CloseFor(const LobbyView& v);

// The end-meeting dialog's results: 0 cancel, 1 quit, 2 end.
enum class EndChoice { Cancel = 0, Quit = 1, End = 2 };

// The meeting setup's reply to a reschedule (60125).
enum class RescheduleOutcome { Rescheduled, EndExpired, Failed, Quiet };
RescheduleOutcome RescheduleOutcomeFor(uintptr_t wParam, intptr_t lParam, int expirySeconds);

// The assist dialog's buttons on its seven boxes.
enum class AssistPreset { All, Inverse, None };
uint32_t ApplyAssistPreset(AssistPreset preset, uint32_t bits);

// The end-meeting dialog template: the wider one for Japanese texts.
int EndMeetingDialogFor(std::wstring_view languageTag);

// The longest prefix of a UTF-8 text that fits maxBytes and ends on a whole
// character.
std::string CutUtf8(std::string_view text, size_t maxBytes);

// The lobby's packets, byte for byte.
ControlPacket SetHostPacket(const LobbyTarget& t);
ControlPacket AssistPacket(const LobbyTarget& t, uint32_t newCallerRole, uint32_t bits);
ControlPacket KickPacket(const std::string& session);
ControlPacket ViewOnlyPacket(const std::string& session, bool viewOnly);
ControlPacket SharingRequestPacket(const std::string& own, uint32_t from, uint32_t to);
ControlPacket MeetingPacket(bool start);
// The new name as UTF-8, cut to the field's 128 bytes at a character's end
// (no terminator when it fills the field).
ControlPacket RenamePacket(const std::string& session, std::string_view nameUtf8);

// The rename's reply as the control receive thread stores it: 1 accepted,
// 2 taken. The slot is emptied before the packet goes, so a reply that
// arrives at once is kept.
enum class RenameOutcome { Accepted, Taken, NoReply, NotSent };
RenameOutcome RunRename(std::atomic<int>& reply, const std::function<bool()>& send,
                        const std::function<void(unsigned)>& pause);


// The reject-all senders: each start runs on a thread of its own with its
// own copy of the sessions and the packet type, so a second reject-all while
// the first runs (control, then host) leaves the first one's queue alone.
// The destructor stops the pauses and joins every thread.
class RejectAllSender {
public:
    // refuse(type, session) sends one refusal.
    using Refuse = std::function<bool(uint8_t type, const std::string& session)>;
    explicit RejectAllSender(Refuse refuse);
    ~RejectAllSender();
    RejectAllSender(const RejectAllSender&) = delete;
    RejectAllSender& operator=(const RejectAllSender&) = delete;

    bool Start(std::vector<std::string> queue, uint8_t type);
    // Waits (bounded) for every started sender to finish.
    bool JoinAll(unsigned limitMs);

private:
    struct Shared;
    Refuse m_refuse;
    std::shared_ptr<Shared> m_shared;
    std::mutex m_lock;
    std::list<BoundedThread> m_threads;
};
