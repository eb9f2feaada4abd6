// The lobby's commands: toolbar clicks, participant menu commands, the
// control and host request answers, and the assist, rename and end-meeting
// dialogs. What each command does is decided in LobbyCommands; this file
// carries it out with the program's services and the dialogs.
#include "meeting/CMeetingLobby.h"

#include "core/base/AppWindows.h"
#include "core/base/BoundedThread.h"
#include "core/base/LoadResString.h"
#include "core/base/MeetingContext.h"
#include "core/base/StringUtil.h"
#include "core/base/TextConvert.h"
#include "core/base/ThreadMessages.h"
#include "meeting/LobbyCommandContext.h"
#include "meeting/LobbyCommands.h"
#include "meeting/res/LobbyCommandResources.h"

#include <list>
#include <mutex>

namespace {

constexpr UINT kIdsWarning = 4028;
constexpr UINT kIdsWarn = 4385;

std::wstring Wide(const std::string& utf8)
{
    return MultiByteToWideString(utf8.c_str(), -1, 65001);
}

bool Contains(const std::vector<std::string>& list, const std::string& s)
{
    for (const std::string& x : list)
        if (x == s)
            return true;
    return false;
}

void Log(LobbyCommandContext& c, const wchar_t* text, const std::string& nameUtf8 = std::string())
{
    c.LogLobbyEvent(ReplaceFirstPlaceholder(text, Wide(nameUtf8)));
}

// Layered, on the own-window list, so viewers never see it.
void KeepOutOfPicture(HWND dialog)
{
    SetWindowLongPtrW(dialog, GWL_EXSTYLE, GetWindowLongPtrW(dialog, GWL_EXSTYLE) | WS_EX_LAYERED);
    SetLayeredWindowAttributes(dialog, 0, 255, LWA_ALPHA);
    RegisterAppWindow(dialog);
}

// What every dialog thread shares with the lobby: its open dialog, so the
// lobby's end can close it.
struct DialogSlot {
    std::atomic<HWND> window{nullptr};
};

} // namespace

// The lobby's threads: one per open dialog and the reject-all senders. The
// destructor closes the open dialogs and joins every thread (bounded).
class LobbyCommandWorkers {
public:
    explicit LobbyCommandWorkers(LobbyCommandContext& context)
        : rejects([&context](uint8_t type, const std::string& session) {
              return type == PLP_REJECT_HOST ? context.RefuseHostRequest(session)
                                             : context.RefuseControlRequest(session);
          })
    {
    }
    ~LobbyCommandWorkers()
    {
        std::lock_guard<std::mutex> l(m_lock);
        for (Dialog& d : m_dialogs)
            if (HWND w = d.slot->window.load())
                PostMessageW(w, WM_COMMAND, IDCANCEL, 0);
        for (Dialog& d : m_dialogs)
            d.thread.Join(BoundedThread::kDestructorJoinMs);
    }

    // body runs on a new thread with the slot its dialog registers in.
    void StartDialog(std::function<void(DialogSlot&)> body)
    {
        std::lock_guard<std::mutex> l(m_lock);
        for (auto it = m_dialogs.begin(); it != m_dialogs.end();)
            it = it->thread.Running() ? std::next(it) : (it->thread.Join(0), m_dialogs.erase(it));
        m_dialogs.emplace_back();
        std::shared_ptr<DialogSlot> slot = m_dialogs.back().slot;
        m_dialogs.back().thread.Start([slot, body] { body(*slot); });
    }

    RejectAllSender rejects;

private:
    struct Dialog {
        std::shared_ptr<DialogSlot> slot = std::make_shared<DialogSlot>();
        BoundedThread thread;
    };
    std::mutex m_lock;
    std::list<Dialog> m_dialogs;
};

LobbyCommandContext* CMeetingLobby::CommandContext() const
{
    return dynamic_cast<LobbyCommandContext*>(&m_context->Meeting());
}

namespace {

LobbyCommandWorkers& Workers(std::shared_ptr<LobbyCommandWorkers>& workers, LobbyCommandContext& c)
{
    if (!workers)
        workers = std::make_shared<LobbyCommandWorkers>(c);
    return *workers;
}

int Box(HWND owner, UINT textId, UINT titleId, UINT flags, const std::wstring& text = std::wstring())
{
    // Each id keeps its own slot: LoadResString caches per slot.
    static ResStringSlot slots[8];
    static const UINT ids[] = {IDS_KICK_SELF,       IDS_QUIT_ENDS_MEETING,       IDS_RESCHEDULED, IDS_RESCHEDULE_FAILED,
                               IDS_RESCHEDULE_INFO_TITLE, IDS_RESCHEDULE_RESULT_TITLE, kIdsWarning,     kIdsWarn};
    auto load = [&](UINT id) -> const wchar_t* {
        for (size_t i = 0; i < sizeof(ids) / sizeof(ids[0]); ++i)
            if (ids[i] == id)
                return LoadResString(slots[i], id);
        return L"";
    };
    return MessageBoxW(owner, text.empty() ? load(textId) : text.c_str(), load(titleId),
                       flags | MB_TOPMOST | MB_SETFOREGROUND);
}

} // namespace

// --- toolbar ------------------------------------------------------------------

void CMeetingLobby::OnToolbarCommand(int id, int buttonValue)
{
    LobbyCommandContext* c = CommandContext();
    if (!c || !ToolbarButtonEnabled(buttonValue))
        return;
    LobbyView v = c->LobbyCommandView();
    switch (id) {
    case kButtonStartEnd:
        switch (StartEndFor(v)) {
        case StartEnd::Start:
            c->SendLobbyPacket(MeetingPacket(true));
            Log(*c, L"Start the meeting.\n");
            break;
        case StartEnd::End:
            c->SendLobbyPacket(MeetingPacket(false));
            Log(*c, L"End the meeting.\n");
            c->CloseSharingExtras();
            break;
        case StartEnd::None: break;
        }
        break;
    case kButtonPolling: c->PostToProgram(PLM_TOGGLE_POLLING, 0, 0); break;
    case kButtonWhiteboard: c->StartWhiteboard(); break;
    case kButtonFileShare: c->ShowFileShare(); break;
    case kButtonVoice: c->StartVoice(); break;
    case kButtonInvite: c->PostToProgram(PLM_FOCUS_PANEL, 0, 0); break;
    case kButtonShare:
        switch (ShareFor(v)) {
        case ShareAction::Start:
            c->SendLobbyPacket(SharingRequestPacket(v.ownSession, 0, 1));
            c->HideChat();
            Log(*c, L"Begin to share the screen.\n");
            break;
        case ShareAction::Stop:
            c->SendLobbyPacket(SharingRequestPacket(v.ownSession, 2, 4));
            c->PostToProgram(PLM_TOGGLE_RECORDER, 4, 0);
            c->StartReadyWait();
            Log(*c, L"Stop to share the screen.\n");
            c->CloseSharingExtras();
            break;
        case ShareAction::None: break;
        }
        break;
    case kButtonControl: {
        ControlButton action = ControlButtonFor(v);
        if (action == ControlButton::Request) {
            c->RequestControl(v.hostSession);
            Log(*c, L"Request the host control.\n");
        } else if (action == ControlButton::Release) {
            c->ReleaseOwnControl(v.hostSession);
            Log(*c, L"Release the current control.\n");
        } else {
            break;
        }
        if (HWND w = Window())
            SendMessageTimeoutW(w, WM_TIMER, kLobbyRefreshTimer, 0, SMTO_BLOCK, 2000, nullptr);
        break;
    }
    case kButtonReschedule:
        StopRefreshing();
        c->PostToProgram(PLM_RESCHEDULE, 0, 0);
        break;
    case kButtonRequestHost:
        if (MayRequestHost(v)) {
            c->RequestHost(v.coordinatorSession);
            Log(*c, L"Request be a host.\n");
        }
        break;
    case kButtonQuit:
        c->WithdrawShares();
        if (QuitNeedsConfirmation(v) &&
            Box(Window(), IDS_QUIT_ENDS_MEETING, kIdsWarning, MB_OKCANCEL | MB_ICONEXCLAMATION) != IDOK)
            break;
        // lParam stays 0: the manager reads a non-zero lParam as the serial
        // of a meeting whose connection was lost.
        c->PostToProgram(PLM_MEETING_LEFT, LeaveCode(v), 0);
        Log(*c, L"Quit the meeting.\n");
        break;
    default: break;
    }
}

// --- participant commands -----------------------------------------------------

void CMeetingLobby::OnParticipantCommand(int id, const std::string& session)
{
    LobbyCommandContext* c = CommandContext();
    LobbyTarget t;
    // By session id: two participants may share a display name.
    if (!c || !c->FindParticipant(session, t))
        return;
    LobbyView v = c->LobbyCommandView();
    switch (id) {
    case kCmdSetHost:
        switch (SetHostFor(v, t, Contains(c->PendingHostRequests(), t.session))) {
        case SetHost::AcceptRequest:
            AcceptHostRequest(t.session);
            Log(*c, L"Set %s as a host\n", t.nameUtf8);
            break;
        case SetHost::SetDirectly:
            c->SendLobbyPacket(SetHostPacket(t));
            Log(*c, L"Set %s as a host\n", t.nameUtf8);
            break;
        case SetHost::AskHost:
            c->AskHost(t.session);
            Log(*c, L"Ask %s to be a host\n", t.nameUtf8);
            break;
        case SetHost::None: break;
        }
        break;
    case kCmdSetAssist:
        if (t.callerRole != 1 && t.callerRole != 2)
            AssistPermissionThread(t, 0);
        break;
    case kCmdSetParticipant:
        if (t.role != 0)
            c->StartSharingRequest(t.session);
        break;
    case kCmdKick:
        if (KickFor(v, t) == Kick::RefuseSelf) {
            Box(Window(), IDS_KICK_SELF, kIdsWarn, MB_OK | MB_ICONEXCLAMATION);
        } else {
            c->SendLobbyPacket(KickPacket(t.session));
            Log(*c, L"Kick %s out the meeting\n", t.nameUtf8);
        }
        break;
    case kCmdSetViewOnly:
    case kCmdUnsetViewOnly: {
        bool viewOnly = id == kCmdSetViewOnly;
        c->SendLobbyPacket(ViewOnlyPacket(t.session, viewOnly));
        Log(*c, viewOnly ? L"Set %s as a view only particpant\n" : L"Set %s as a normal particpant\n", t.nameUtf8);
        break;
    }
    case kCmdTakeBackControl:
        // Taking control for the host itself takes it from whoever holds it.
        c->AcceptControlRequest(v.ownSession);
        Log(*c, L"Take back control from %s.\n", t.nameUtf8);
        break;
    case kCmdPassControl:
        PassControl(t.session);
        Log(*c, L"Pass control to %s.\n", t.nameUtf8);
        break;
    case kCmdRejectControl:
        RejectControlRequest(t.session);
        Log(*c, L"Reject %s control request.\n", t.nameUtf8);
        break;
    case kCmdRejectAllControl:
        StartRejectAll(c->PendingControlRequests(), PLP_REJECT_CONTROL);
        Log(*c, L"Reject all control requests.\n");
        break;
    case kCmdRejectHost:
        RejectHostRequest(t.session);
        Log(*c, L"Reject %s host request.\n", t.nameUtf8);
        break;
    case kCmdRejectAllHost:
        StartRejectAll(c->PendingHostRequests(), PLP_REJECT_HOST);
        Log(*c, L"Reject all host requests.\n");
        break;
    case kCmdAssistPermission:
        if (t.callerRole == 2)
            AssistPermissionThread(t, 1);
        break;
    case kCmdUnsetAssist:
        if (t.callerRole == 2) {
            c->SendLobbyPacket(AssistPacket(t, 0, 0));
            Log(*c, L"Set %s's caller role from assist to none\n", t.nameUtf8);
        }
        break;
    case kCmdRename: RenameThread(t); break;
    default: return;
    }
    RefreshParticipantList();
}

// --- request answers ----------------------------------------------------------

void CMeetingLobby::PassControl(const std::string& session)
{
    // The request logic takes the session off its list when control went.
    if (LobbyCommandContext* c = CommandContext())
        c->AcceptControlRequest(session);
}

void CMeetingLobby::AcceptHostRequest(const std::string& session)
{
    if (LobbyCommandContext* c = CommandContext())
        c->AcceptHostRequest(session);
}

void CMeetingLobby::RejectControlRequest(const std::string& session)
{
    LobbyCommandContext* c = CommandContext();
    if (c && !session.empty())
        c->RefuseControlRequest(session);
}

void CMeetingLobby::RejectHostRequest(const std::string& session)
{
    LobbyCommandContext* c = CommandContext();
    if (c && !session.empty())
        c->RefuseHostRequest(session);
}

void CMeetingLobby::StartRejectAll(std::vector<std::string> list, uint8_t type)
{
    if (LobbyCommandContext* c = CommandContext())
        Workers(m_commandWorkers, *c).rejects.Start(std::move(list), type);
}

// --- dialogs --------------------------------------------------------------------

namespace {

const struct {
    int control;
    uint32_t bits;
} kAssistBoxes[] = {
    {IDC_ASSIST_START_END, kAssistStartEnd}, {IDC_ASSIST_SET_HOST, kAssistSetHost},
    {IDC_ASSIST_VIEW_ONLY, kAssistViewOnly}, {IDC_ASSIST_POLLING, kAssistPolling},
    {IDC_ASSIST_KICK, kAssistKick},          {IDC_ASSIST_INVITE, kAssistInvite},
    {IDC_ASSIST_RESCHEDULE, kAssistReschedule},
};

struct AssistDialog {
    DialogSlot* slot;
    uint32_t bits;
};

uint32_t ReadAssistBoxes(HWND dialog)
{
    uint32_t bits = 0;
    for (const auto& b : kAssistBoxes)
        if (IsDlgButtonChecked(dialog, b.control) == BST_CHECKED)
            bits |= b.bits;
    return bits;
}

void SetAssistBoxes(HWND dialog, uint32_t bits)
{
    for (const auto& b : kAssistBoxes)
        CheckDlgButton(dialog, b.control, (bits & b.bits) ? BST_CHECKED : BST_UNCHECKED);
}

INT_PTR CALLBACK AssistDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* state = reinterpret_cast<AssistDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG: {
        state = reinterpret_cast<AssistDialog*>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        static ResStringSlot title;
        SetWindowTextW(dialog, LoadResString(title, IDS_ASSIST_TITLE));
        SetAssistBoxes(dialog, state->bits);
        KeepOutOfPicture(dialog);
        state->slot->window = dialog;
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_ASSIST_ALL: SetAssistBoxes(dialog, ApplyAssistPreset(AssistPreset::All, 0)); return TRUE;
        case IDC_ASSIST_INVERSE:
            SetAssistBoxes(dialog, ApplyAssistPreset(AssistPreset::Inverse, ReadAssistBoxes(dialog)));
            return TRUE;
        case IDC_ASSIST_NONE: SetAssistBoxes(dialog, 0); return TRUE;
        case IDOK:
            state->bits = ReadAssistBoxes(dialog);
            state->slot->window = nullptr;
            EndDialog(dialog, IDOK);
            return TRUE;
        case IDCANCEL:
            state->slot->window = nullptr;
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

struct RenameDialog {
    DialogSlot* slot;
    LobbyCommandContext* context;
    std::atomic<int>* reply;
    LobbyTarget target;
};

void ShowRenameMessage(HWND dialog, UINT id)
{
    static ResStringSlot empty, taken, failed;
    ResStringSlot& slot = id == IDS_RENAME_EMPTY ? empty : id == IDS_RENAME_TAKEN ? taken : failed;
    SetDlgItemTextW(dialog, IDC_RENAME_MESSAGE, LoadResString(slot, id));
}

INT_PTR CALLBACK RenameDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* state = reinterpret_cast<RenameDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG: {
        state = reinterpret_cast<RenameDialog*>(lParam);
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        static ResStringSlot title, label;
        SetWindowTextW(dialog, LoadResString(title, IDS_RENAME_TITLE));
        SetDlgItemTextW(dialog, IDC_RENAME_LABEL, LoadResString(label, IDS_RENAME_LABEL));
        SendDlgItemMessageW(dialog, IDC_RENAME_EDIT, EM_LIMITTEXT, 127, 0);
        SetDlgItemTextW(dialog, IDC_RENAME_EDIT, Wide(state->target.nameUtf8).c_str());
        KeepOutOfPicture(dialog);
        state->slot->window = dialog;
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
            state->slot->window = nullptr;
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        if (LOWORD(wParam) == IDOK) {
            wchar_t text[128] = {};
            GetDlgItemTextW(dialog, IDC_RENAME_EDIT, text, 128);
            std::wstring name = text;
            if (name.empty()) {
                ShowRenameMessage(dialog, IDS_RENAME_EMPTY);
                return TRUE;
            }
            std::string utf8 = WideToAnsi(name, 65001);
            LobbyCommandContext* c = state->context;
            const std::string session = state->target.session;
            RenameOutcome outcome =
                RunRename(*state->reply, [&] { return c->SendLobbyPacket(RenamePacket(session, utf8)); },
                          [](unsigned ms) { Sleep(ms); });
            if (outcome == RenameOutcome::Accepted) {
                Log(*c, L"Reset username to %s\n", CutUtf8(utf8, kNameFieldSize));
                state->slot->window = nullptr;
                EndDialog(dialog, IDOK);
            } else {
                ShowRenameMessage(dialog, outcome == RenameOutcome::Taken ? IDS_RENAME_TAKEN : IDS_RENAME_FAILED);
            }
            return TRUE;
        }
        break;
    }
    return FALSE;
}

INT_PTR CALLBACK EndMeetingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        static ResStringSlot text, end, quit;
        SetDlgItemTextW(dialog, IDC_END_TEXT, LoadResString(text, IDS_END_OR_QUIT));
        SetDlgItemTextW(dialog, IDC_END_END, LoadResString(end, IDS_END_MEETING));
        SetDlgItemTextW(dialog, IDC_END_QUIT, LoadResString(quit, IDS_QUIT_MEETING));
        KeepOutOfPicture(dialog);
        reinterpret_cast<DialogSlot*>(lParam)->window = dialog;
        return TRUE;
    }
    case WM_COMMAND: {
        int result = -1;
        switch (LOWORD(wParam)) {
        case IDC_END_END: result = static_cast<int>(EndChoice::End); break;
        case IDC_END_QUIT: result = static_cast<int>(EndChoice::Quit); break;
        case IDCANCEL: result = static_cast<int>(EndChoice::Cancel); break;
        }
        if (result < 0)
            break;
        reinterpret_cast<DialogSlot*>(GetWindowLongPtrW(dialog, DWLP_USER))->window = nullptr;
        EndDialog(dialog, result);
        return TRUE;
    }
    }
    return FALSE;
}

HINSTANCE ProgramInstance()
{
    return GetModuleHandleW(nullptr);
}

} // namespace

void CMeetingLobby::AssistPermissionThread(const LobbyTarget& target, int mode)
{
    LobbyCommandContext* c = CommandContext();
    if (!c)
        return;
    HWND owner = Window();
    Workers(m_commandWorkers, *c).StartDialog([c, target, owner, mode](DialogSlot& slot) {
        AssistDialog state{&slot, target.assistPermission};
        INT_PTR r = DialogBoxParamW(ProgramInstance(), MAKEINTRESOURCEW(IDD_ASSIST_PERMISSION), owner,
                                    AssistDialogProc, reinterpret_cast<LPARAM>(&state));
        if (r != IDOK)
            return;
        c->SendLobbyPacket(AssistPacket(target, 2, state.bits));
        Log(*c, mode == 0 ? L"Set %s as an assist\n" : L"Set %s's assist-permission settings\n", target.nameUtf8);
    });
}

void CMeetingLobby::RenameThread(const LobbyTarget& target)
{
    LobbyCommandContext* c = CommandContext();
    if (!c)
        return;
    HWND owner = Window();
    std::atomic<int>* reply = &m_lobbyState;
    Workers(m_commandWorkers, *c).StartDialog([c, target, owner, reply](DialogSlot& slot) {
        RenameDialog state{&slot, c, reply, target};
        DialogBoxParamW(ProgramInstance(), MAKEINTRESOURCEW(IDD_RENAME), owner, RenameDialogProc,
                        reinterpret_cast<LPARAM>(&state));
    });
}

void CMeetingLobby::EndMeetingThread()
{
    LobbyCommandContext* c = CommandContext();
    if (!c)
        return;
    HWND owner = Window();
    static ResStringSlot language;
    int dialogId = EndMeetingDialogFor(LoadResString(language, IDS_LANGUAGE_TAG));
    Workers(m_commandWorkers, *c).StartDialog([c, owner, dialogId](DialogSlot& slot) {
        INT_PTR r = DialogBoxParamW(ProgramInstance(), MAKEINTRESOURCEW(dialogId), owner, EndMeetingDialogProc,
                                    reinterpret_cast<LPARAM>(&slot));
        if (r == static_cast<INT_PTR>(EndChoice::Quit)) {
            if (owner)
                PostMessageW(owner, WM_COMMAND, kButtonQuit, 0);
        } else if (r == static_cast<INT_PTR>(EndChoice::End)) {
            c->SendLobbyPacket(MeetingPacket(false));
            Log(*c, L"End the meeting.\n");
        }
    });
}

void CMeetingLobby::OnClose()
{
    LobbyCommandContext* c = CommandContext();
    if (!c)
        return;
    switch (CloseFor(c->LobbyCommandView())) {
    case CloseAction::Undock: c->PostToProgram(PLM_DOCK_PANEL, 0, 0); break;
    case CloseAction::AskEndOrQuit: EndMeetingThread(); break;
    case CloseAction::Quit: OnToolbarCommand(kButtonQuit, 1); break;
    }
}

void CMeetingLobby::OnRescheduleResult(WPARAM wParam, LPARAM lParam)
{
    LobbyCommandContext* c = CommandContext();
    if (!c)
        return;
    LobbyView v = c->LobbyCommandView();
    switch (RescheduleOutcomeFor(wParam, lParam, v.expirySeconds)) {
    case RescheduleOutcome::Rescheduled: {
        static ResStringSlot format;
        std::wstring text = LoadResString(format, IDS_RESCHEDULED);
        std::vector<std::wstring> parts = c->RescheduleTexts();
        parts.resize(4);
        for (const std::wstring& part : parts)
            text = ReplaceFirstPlaceholder(text, part);
        Box(Window(), 0, IDS_RESCHEDULE_INFO_TITLE, MB_OK | MB_ICONINFORMATION, text);
        break;
    }
    case RescheduleOutcome::EndExpired:
        c->SendLobbyPacket(MeetingPacket(false));
        Log(*c, L"End the meeting.\n");
        break;
    case RescheduleOutcome::Failed:
        Box(Window(), IDS_RESCHEDULE_FAILED, IDS_RESCHEDULE_RESULT_TITLE, MB_OK | MB_ICONEXCLAMATION);
        break;
    case RescheduleOutcome::Quiet: break;
    }
    ResumeRefresh();
}
