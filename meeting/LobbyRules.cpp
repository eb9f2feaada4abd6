#include "meeting/LobbyRules.h"

#include "core/base/ThreadMessages.h"
#include "meeting/LobbyResources.h"

#include <algorithm>

namespace {

bool Contains(const std::vector<std::string>& list, const std::string& s)
{
    return std::find(list.begin(), list.end(), s) != list.end();
}

// A never-set button counts as 0 in every bit operation.
int Known(int value)
{
    return value < 0 ? 0 : value;
}

void Enable(ToolbarValues& v, int id)
{
    Button(v, id) = Known(Button(v, id)) | 1;
}

void DisableKeepLook(ToolbarValues& v, int id)
{
    Button(v, id) = Known(Button(v, id)) & ~1;
}

} // namespace

std::vector<LobbyRow> BuildLobbyRows(const std::vector<LobbyParticipant>& list, const RowInputs& in)
{
    std::vector<const LobbyParticipant*> order;
    for (const LobbyParticipant& p : list)
        if (p.session == in.ownSession)
            order.push_back(&p);
    for (const LobbyParticipant& p : list)
        if (p.session != in.ownSession)
            order.push_back(&p);

    std::vector<LobbyRow> rows;
    for (const LobbyParticipant* p : order) {
        LobbyRow r;
        r.session = p->session;
        r.plainName = p->name;
        r.role = p->role;
        r.coordinator = p->callerRole == 1;
        r.assist = p->callerRole == 2;
        r.viewOnly = p->viewOnly;
        r.sharingFiles = p->role == 1 && in.filesShared;
        r.state = p->state;
        const bool own = p->session == in.ownSession;
        const bool asksControl = Contains(in.controlRequests, p->session);
        const bool asksHost = Contains(in.hostRequests, p->session);
        if (asksControl && asksHost)
            r.mark = kMarkBothRequests;
        else if (asksControl)
            r.mark = kMarkControlRequest;
        else if (asksHost)
            r.mark = kMarkHostRequest;
        else if (own)
            r.mark = kMarkOwn;
        else if (p->role == 1 && in.voiceActive)
            r.mark = kMarkVoice;
        if (r.mark == kMarkOwn || r.mark == kMarkNone || r.mark == kMarkVoice) {
            if (own && in.controlHeld)
                r.nameForm = RowName::Controlling;
            else if (p->role == 1 && in.meetingSharingState == kMeetingShared)
                r.nameForm = RowName::Sharing;
        }
        r.bold = r.mark == kMarkOwn;
        switch (r.mark) {
        case kMarkControlRequest: r.icons = {0}; break;
        case kMarkHostRequest: r.icons = {1}; break;
        case kMarkBothRequests: r.icons = {0, 1}; break;
        case kMarkVoice: r.icons = {2}; break;
        default: break;
        }
        rows.push_back(std::move(r));
    }
    return rows;
}

ToolbarValues InitialToolbar()
{
    ToolbarValues v;
    v.fill(-1);
    Button(v, kButtonQuit) = 1;
    return v;
}

ToolbarValues UpdateToolbarValues(ToolbarValues v, const ToolbarInputs& in)
{
    for (int id : {IDC_TB_START_END, IDC_TB_VOICE, IDC_TB_SHARE, IDC_TB_CONTROL})
        DisableKeepLook(v, id);
    for (int id : {IDC_TB_POLLS, IDC_TB_WHITEBOARD, IDC_TB_INVITE, IDC_TB_RESCHEDULE, IDC_TB_REQUEST_HOST})
        Button(v, id) = 0;
    Button(v, IDC_TB_FILE_SHARE) = 1;

    const bool coordinator = in.callerRole == 1;
    const bool assist = in.callerRole == 2 && in.assistPermission > 0;
    const int bits = assist ? in.assistPermission : 0;
    if (coordinator) {
        Button(v, IDC_TB_POLLS) = in.pollActive ? 0 : 1;
        Button(v, IDC_TB_INVITE) = 1;
        Button(v, IDC_TB_START_END) = in.meetingState == 2 ? 3 : 1;
        if (in.meetingState == 1)
            Button(v, IDC_TB_RESCHEDULE) = 1;
    } else if (assist) {
        if ((bits & kAssistPolls) && !in.pollActive)
            Enable(v, IDC_TB_POLLS);
        if (bits & kAssistInvite)
            Enable(v, IDC_TB_INVITE);
        // Either of the two start/end bits grants both.
        if (bits & kAssistStartEnd)
            Button(v, IDC_TB_START_END) = in.meetingState == 2 ? 3 : 1;
        if ((bits & kAssistReschedule) && in.meetingState == 1)
            Enable(v, IDC_TB_RESCHEDULE);
    }

    if (in.role == 1) {
        if (in.meetingState == 2 && in.meetingSharingState == kMeetingNotShared)
            Button(v, IDC_TB_SHARE) = 1;
        else if (in.meetingState == 2 && in.meetingSharingState == kMeetingShared)
            Button(v, IDC_TB_SHARE) = 3;
        if (in.voiceActive)
            Button(v, IDC_TB_VOICE) = 3;
        else if (in.captureDevice)
            Button(v, IDC_TB_VOICE) = 1;
        Button(v, IDC_TB_WHITEBOARD) = 1;
        return v;
    }

    if (!coordinator && !in.viewOnly) {
        if (!(bits & kAssistSetHost))
            Button(v, IDC_TB_REQUEST_HOST) = 1;
        if (!(bits & kAssistStartEnd))
            Button(v, IDC_TB_START_END) = 0;
    }
    Button(v, IDC_TB_SHARE) = 0;
    if (in.meetingSharingState == kMeetingShared && !in.viewOnly)
        Button(v, IDC_TB_CONTROL) = in.controlHeld ? 3 : 1;
    return v;
}

int ButtonImage(const ToolbarValues& v, int id)
{
    return 4 * (id - kFirstButton) + Known(Button(v, id));
}

std::vector<LobbyMenuItem> BuildParticipantMenu(const MenuInputs& in)
{
    const LobbyParticipant& s = in.selected;
    const bool self = s.session == in.ownSession;
    const bool shared = in.meetingSharingState == kMeetingShared;
    std::vector<LobbyMenuItem> items;
    auto add = [&](int command, int text) {
        for (const LobbyMenuItem& i : items)
            if (i.command == command)
                return;
        items.push_back({command, text});
    };
    auto setHost = [&] {
        if (!s.viewOnly && s.role != 1 && !in.handoverUnderway &&
            (in.meetingSharingState == kMeetingNotShared || shared))
            add(IDM_P_SET_HOST, IDS_P_SET_HOST);
    };
    auto viewOnlyItems = [&] {
        if (s.viewOnly)
            add(IDM_P_UNSET_VIEW_ONLY, IDS_P_UNSET_VIEW_ONLY);
        else if (s.role == 0 && s.callerRole == 0)
            add(IDM_P_SET_VIEW_ONLY, IDS_P_SET_VIEW_ONLY);
    };

    if (in.ownRole == 1 && !s.viewOnly) {
        if (!in.controlHolder.empty() && s.session == in.controlHolder)
            add(IDM_P_TAKE_BACK, IDS_P_TAKE_BACK);
        if (in.controlRequests.empty()) {
            if (shared)
                add(IDM_P_PASS_CONTROL, IDS_P_PASS_CONTROL);
        } else if (Contains(in.controlRequests, s.session)) {
            if (shared)
                add(IDM_P_PASS_CONTROL, IDS_P_PASS_CONTROL);
            add(IDM_P_REJECT_CONTROL, IDS_P_REJECT_CONTROL);
            add(IDM_P_REJECT_ALL_CONTROL, IDS_P_REJECT_ALL_CONTROL);
        }
    }
    if (in.ownCallerRole == 1) {
        setHost();
        if (Contains(in.hostRequests, s.session)) {
            add(IDM_P_REJECT_HOST, IDS_P_REJECT_HOST);
            add(IDM_P_REJECT_ALL_HOST, IDS_P_REJECT_ALL_HOST);
        }
        if (s.callerRole == 2) {
            add(IDM_P_ASSIST_PERMISSION, IDS_P_ASSIST_PERMISSION);
            add(IDM_P_UNSET_ASSIST, IDS_P_UNSET_ASSIST);
        }
        if (!s.viewOnly && s.callerRole != 1)
            add(IDM_P_SET_ASSIST, IDS_P_SET_ASSIST);
        viewOnlyItems();
        if (!self)
            add(IDM_P_KICK, IDS_P_KICK);
    } else if (in.ownCallerRole == 2 && in.assistPermission > 0) {
        if (in.assistPermission & kAssistSetHost)
            setHost();
        if (in.assistPermission & kAssistViewOnly)
            viewOnlyItems();
        if ((in.assistPermission & kAssistKick) && s.callerRole != 1 && !self)
            add(IDM_P_KICK, IDS_P_KICK);
    }
    if (self)
        add(IDM_P_RENAME, IDS_P_RENAME);
    return items;
}

SharingOutcome EvaluateSharing(const std::vector<LobbyParticipant>& list, const SharingInputs& in)
{
    SharingOutcome o;
    o.role = in.ownRole;
    o.callerRole = in.ownCallerRole;
    o.assistPermission = in.assistPermission;
    o.ownState = in.ownState;
    o.prevState = in.prevState;
    o.startedSeen = in.startedSeen;

    int hostState = 0;
    bool allStarting = true, allReady = true;
    const LobbyParticipant* own = nullptr;
    for (const LobbyParticipant& p : list) {
        if (p.role == 1)
            hostState = p.state;
        allStarting = allStarting && p.state == kShareStarting;
        allReady = allReady && p.state == kShareReady;
        if (p.session == in.ownSession && !own)
            own = &p;
    }

    if (own) {
        o.ownFound = true;
        if (!own->name.empty() && own->name != in.ownName) {
            o.nameChanged = true;
            o.name = own->name;
        }
        if (own->assistPermission != in.assistPermission) {
            if ((own->assistPermission ^ in.assistPermission) & (kAssistPolls | kAssistInvite))
                o.menuChanged = true;
            o.assistPermission = own->assistPermission;
        }
        if (own->state != in.ownState) {
            o.prevState = in.ownState;
            o.ownState = own->state;
        }
        o.role = own->role;
        o.callerRole = own->callerRole;
        o.roleChanged = own->role != in.ownRole;
        if (own->callerRole == 1 && in.ownCallerRole != 1) {
            o.becameCoordinator = true;
            o.menuChanged = true;
        }
        o.resetControlMenu = in.meetingSharingState == kMeetingShared && o.menuChanged;
        o.dockPanel = own->role == 1 && in.meetingState == 2 && (in.ownRole != 1 || !in.startedSeen);
        o.hideChat = !(own->role == 1 && in.meetingSharingState == kMeetingNotShared);
        o.closeHostTools = own->role != 1;
        o.viewOnly = own->viewOnly;
    }

    if (o.callerRole == 1 && hostState == 0 && in.meetingState == 2)
        o.takeHostRole = true;
    if (in.meetingState == 2) {
        o.startedBalloon = !in.startedSeen && o.role == 1 && o.callerRole != 1;
        o.stateText = in.meetingSharingState == kMeetingShared ? IDS_LOBBY_HOST_SHARING : IDS_LOBBY_HOST_NOT_SHARING;
        o.startedSeen = true;
    } else {
        o.stateText = 0;  // the wait message or "Waiting"
    }
    if (!own) {
        o.leave = in.ownSeen;
        return o;  // no own state to move
    }
    if (o.ownState == kShareLeaving || o.ownState == kShareQuitting) {
        o.leave = true;
        return o;  // nothing else once the leave is posted
    }

    // The first row that matches wins.
    const int s = o.ownState, prev = o.prevState, mss = in.meetingSharingState;
    auto post = [&](unsigned message, const char* line) {
        o.post = message;
        o.logLine = line;
    };
    if (o.role == 1) {
        if (s == 1 && mss == kMeetingShareAsked && prev == 1)
            post(PLM_OPEN_SHARING_VIEW, "%sHost start sharing screen.\n");
        else if (s == 2 && allStarting && prev == 1)
            post(PLM_CREATE_VNC_SERVER, "%sMeeting start to share the screen.\n");
        else if (s == 2 && mss == kMeetingShareRestart && prev == 4)
            post(PLM_SHARING_RESUME_A, "%sHost sharing state : restart.\n");
        else if (s == 3 && allReady && prev == 2)
            post(PLM_START_MAG_CAPTURE, "%sHost sharing state : ready.\n");
        else if (s == 4 && mss == kMeetingShareStop)
            post(PLM_STOP_SHARING, "%sHost sharing state : change to waiting.\n");
        return o;
    }
    // An appliance that ends sharing for the host's leave (or its lost role)
    // puts every record back to 1 at once: a view or server still running
    // here stops all the same.
    const bool wasSharing = in.ownState == 2 || in.ownState == 3 || in.ownState == 4;
    if (mss == kMeetingNotShared && ((s != 1 && s != 5 && s != 7) || (s == 1 && wasSharing)))
        post(PLM_STOP_SHARING, "%sParticipant sharing state : change to waiting.\n");
    else if (s == 1 && (mss == kMeetingShareAsked || mss == kMeetingShareRestart) && prev == 1 && hostState == 2)
        post(PLM_OPEN_SHARING_VIEW, "%sMeeting start to share the screen.\n");
    else if (s == 2 && hostState == 3 && prev == 1)
        post(PLM_CREATE_VIEWER, "%sParticipant sharing state : starting.\n");
    else if (s == 2 && mss == kMeetingShareRestart && prev == 4 && hostState == 2)
        post(PLM_SHARING_RESUME_B, "%sParticipant sharing state : restart.\n");
    else if (s == 3 && hostState == 4 && prev == 2) {
        o.prevState = 3;
        o.ownState = 4;
        o.sendReady = true;
        o.logLine = "%sParticipant sharing state : ready to started.\n";
    } else if (s == 4 && mss == kMeetingShareStop)
        post(PLM_STOP_SHARING, "%sParticipant sharing state : change to waiting.\n");
    return o;
}

bool ShowWaitMessage(const std::string& waitMessage, int callerRole)
{
    return !waitMessage.empty() && callerRole != 1;
}

RefreshOutcome ActOnRefreshResult(int result)
{
    switch (result) {
    case 0: return {RefreshAction::Apply, 0, 0};
    case 33: return {RefreshAction::LogOut, IDS_LOBBY_SESSION_EXPIRED, IDS_LOBBY_WARN};
    case 47: return {RefreshAction::Leave, IDS_LOBBY_TERMINATED, IDS_LOBBY_WARNING};
    case 54: return {RefreshAction::Leave, IDS_LOBBY_SESSION_ENDED, IDS_LOBBY_WARN};
    default: return {RefreshAction::Ignore, 0, 0};
    }
}

unsigned LeaveWParam(int ownRole)
{
    return ownRole == 1 ? 0x102u : 0x101u;
}

ExpiryOutcome ActOnExpiry(int meetingState, int expirySeconds, int callerRole)
{
    ExpiryOutcome o;
    if (meetingState != 1)
        return o;
    if (expirySeconds > 0 && expirySeconds < 300) {
        o.text = callerRole == 1 ? IDS_LOBBY_EXPIRES_COORDINATOR : IDS_LOBBY_EXPIRES_OTHERS;
        o.minutes = expirySeconds / 60;
        o.seconds = expirySeconds % 60;
    } else if (expirySeconds < 0 && callerRole == 1) {
        o.askReschedule = true;
    }
    return o;
}

int ControlNoteText(int ownRole, bool viewOnly, int meetingState, int meetingSharingState, bool controlHeld)
{
    if (ownRole != 0 || viewOnly || meetingState != 2 || meetingSharingState != kMeetingShared)
        return 0;
    return controlHeld ? IDS_LOBBY_HAS_CONTROL : IDS_LOBBY_NO_CONTROL;
}
