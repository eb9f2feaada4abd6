#include "core/app/MeetingHandlers_win.h"

#include "core/base/DHLog.h"
#include "core/base/LoadResString.h"
#include "core/base/StringUtil.h"
#include "core/app/Manager.h"
#include "core/base/TextConvert.h"
#include "core/app/res/resource.h"
#include "extras/CPolling.h"
#include "extras/FileShare.h"
#include "meeting/CCanvas.h"
#include "meeting/CChat.h"
#include "meeting/CMeetingLobby.h"
#include "meeting/CanvasMessageKind.h"
#include "meeting/PartiMark.h"

namespace {

constexpr UINT kLobbyRefreshWaitMs = 2000;
// Assist-permission bits.
constexpr int32_t kAssistReceivesHostRequests = 0x2;
constexpr int32_t kAssistCountsPollAnswers = 0x20;

std::wstring Wide(const std::string& utf8)
{
    return MultiByteToWideString(utf8.c_str(), -1, kCodePageUtf8);
}

struct NoticeText {
    UINT balloon;           // 0: the log only
    UINT balloonNoName;     // when no name is known; 0: same as balloon
    const wchar_t* log;     // after the event prefix; %s is the name
    const wchar_t* logNoName;
};

NoticeText TextOf(RequestNotice n)
{
    switch (n) {
    case RequestNotice::ControlRequested: return {IDS_CONTROL_REQUESTED, 0, L"%s requests the control \n", nullptr};
    case RequestNotice::ControlTakenBack: return {IDS_CONTROL_TAKEN_BACK, 0, L"The host take back the control \n", nullptr};
    case RequestNotice::ControlGiven: return {IDS_CONTROL_GIVEN, 0, L"You get the control \n", nullptr};
    case RequestNotice::ControlReleased:
        return {IDS_CONTROL_RELEASED_BY, IDS_CONTROL_RELEASED, L"%s released the control\n",
                L"A participant released the control\n"};
    case RequestNotice::ControlAccepted: return {0, 0, L"Accept %s control request \n", nullptr};
    case RequestNotice::HostRequested: return {IDS_HOST_REQUESTED, 0, L"%s requests be a host \n", nullptr};
    case RequestNotice::HostRequestRejected:
        return {IDS_HOST_REQUEST_REJECTED, 0, L"Coordinator(%s) rejects your host request \n", nullptr};
    case RequestNotice::HostInvited: return {0, 0, L"Coordinator(%s) ask you to be a host \n", nullptr};
    case RequestNotice::HostInviteAccepted: return {0, 0, L"%s accepts to be a host \n", nullptr};
    case RequestNotice::HostInviteDeclined: return {IDS_HOST_INVITE_DECLINED, 0, L"%s rejects to be a host \n", nullptr};
    case RequestNotice::HostRequestAccepted:
        return {0, 0, L"You accpet %s the request of being a host \n", nullptr};
    }
    return {0, 0, L"\n", nullptr};
}

// Each text keeps its own slot: LoadResString caches per slot.
const wchar_t* BalloonText(UINT id)
{
    static const UINT ids[] = {IDS_CONTROL_REQUESTED,   IDS_CONTROL_TAKEN_BACK,    IDS_CONTROL_GIVEN,
                               IDS_CONTROL_RELEASED_BY, IDS_CONTROL_RELEASED,      IDS_HOST_REQUESTED,
                               IDS_HOST_REQUEST_REJECTED, IDS_HOST_INVITE_DECLINED};
    static ResStringSlot slots[sizeof(ids) / sizeof(ids[0])];
    for (size_t i = 0; i < sizeof(ids) / sizeof(ids[0]); ++i)
        if (ids[i] == id)
            return LoadResString(slots[i], id);
    return L"";
}

} // namespace

MeetingHandlers::MeetingHandlers(CManager& manager) : m_manager(manager), m_requests(*this) {}

MeetingHandlers::~MeetingHandlers()
{
    EndMeeting();
}

void MeetingHandlers::BeginMeeting()
{
    m_requests.Clear();
    UpdateRoles();
    std::lock_guard<std::mutex> l(m_workersLock);
    m_workers = std::make_unique<RequestWorkers>(*this, m_requests);
}

void MeetingHandlers::EndMeeting()
{
    std::unique_ptr<RequestWorkers> workers;
    {
        std::lock_guard<std::mutex> l(m_workersLock);
        workers = std::move(m_workers);
    }
    // The destructor cancels and joins every worker (an open prompt is
    // answered "No" and its answer not sent).
    workers.reset();
    m_requests.Clear();
    SyncStateBits();
}

ControlRequests& MeetingHandlers::Requests()
{
    UpdateRoles();
    return m_requests;
}

void MeetingHandlers::StartSharingRequest(const std::string& session)
{
    WithWorkers([&](RequestWorkers& w) { w.StartSharingRequest(session); });
}

void MeetingHandlers::StartReadyWait()
{
    WithWorkers([](RequestWorkers& w) { w.StartReadyWait(); });
}

void MeetingHandlers::UpdateRoles()
{
    MeetingRoles r;
    r.ownSessionId = m_manager.ownSessionId;
    r.role = static_cast<uint32_t>(m_manager.role.load());
    r.title = static_cast<uint32_t>(m_manager.title.load());
    r.serverSharingState = static_cast<uint32_t>(m_manager.serverSharingState.load());
    {
        std::lock_guard<std::mutex> l(m_manager.participantLock);
        for (const Participant& p : m_manager.participants)
            if (p.sessionID == r.ownSessionId) {
                r.assistPermission = static_cast<uint32_t>(p.assistpermission);
                break;
            }
    }
    m_requests.SetRoles(r);
}

void MeetingHandlers::SyncStateBits()
{
    // The request logic owns bits 0 and 1 (who controls the shared screen).
    m_manager.stateBits.Change(3u, m_requests.StateBits() & 3u);
}

template <class Start>
void MeetingHandlers::WithWorkers(Start start)
{
    std::lock_guard<std::mutex> l(m_workersLock);
    if (m_workers)
        start(*m_workers);
}

// --- received packets -------------------------------------------------------

void MeetingHandlers::OnControlRequest(uint8_t type, const std::string& first, const std::string& second)
{
    UpdateRoles();
    m_requests.OnControlRequest(type, first, second);
    SyncStateBits();
}

void MeetingHandlers::OnHostRequest(uint8_t type, const std::string& first, const std::string& second)
{
    UpdateRoles();
    m_requests.OnHostRequest(type, first, second);
}

void MeetingHandlers::OnHostInvitation(uint8_t type, const std::string& first, const std::string& second)
{
    UpdateRoles();
    m_requests.OnHostInvitation(type, first, second);
}

void MeetingHandlers::OnPollPiece(bool moreFollows, std::string_view text)
{
    if (moreFollows) {
        if (!m_poll.Append(text))
            DHLog::Instance().Print(0x80, 2, false, "A poll text longer than allowed was dropped.\n");
        return;
    }
    std::string whole;
    if (!m_poll.Finish(text, whole)) {
        DHLog::Instance().Print(0x80, 2, false, "A poll text longer than allowed was dropped.\n");
        return;
    }
    // The echo of the poll this client opened.
    if (m_manager.pollOwner)
        return;
    m_manager.OnPollOpened(whole);
}

void MeetingHandlers::OnPollSubmit(std::string_view text)
{
    int title = m_manager.title;
    bool counts = title == 1;
    if (title == 2) {
        UpdateRoles();
        counts = (m_requests.Roles().assistPermission & kAssistCountsPollAnswers) != 0;
    }
    if (counts && m_manager.polling1)
        m_manager.polling1->OnRecvSubmit(std::string(text).c_str());
}

void MeetingHandlers::OnPollClose()
{
    // The echo of this client's own end of its poll.
    if (m_manager.pollOwner)
        return;
    m_manager.pollActive = 0;
    if (m_manager.polling2)
        m_manager.polling2->SubmitAnswers();
}

void MeetingHandlers::OnCanvasMessage(std::string_view text)
{
    std::string message(text);
    int kind = ClassifyCanvasMessage(message.c_str(), message.size());
    if (kind < 0)
        return;
    std::lock_guard<std::mutex> l(m_canvasLock);
    if ((kind == kCanvasKindBoth || kind % 2 == 0) && m_manager.canvas1)
        m_manager.canvas1->ApplyMessage(message.c_str());
    if ((kind == kCanvasKindBoth || kind % 2 == 1) && m_manager.canvas2)
        m_manager.canvas2->ApplyMessage(message.c_str());
}

void MeetingHandlers::OnPartiMark(std::string_view text)
{
    if (m_manager.partiMarkEnabled && m_manager.partiMark)
        m_manager.partiMark->OnRecvMark(std::string(text).c_str());
}

void MeetingHandlers::OnFileShare(const ReceivedPacket& packet)
{
    if (m_manager.fileShare)
        m_manager.fileShare->OnMessage(packet.data, packet.length);
}

void MeetingHandlers::OnLobbyState(uint32_t state)
{
    if (CMeetingLobby* lobby = m_manager.lobby)
        lobby->m_lobbyState = static_cast<int>(state);
    RefreshLobbyNow();
}

void MeetingHandlers::OnMeetingStateChanged(uint8_t)
{
    RefreshLobbyNow();
}

void MeetingHandlers::OnDropped(const ReceivedPacket& packet, const char* why)
{
    DHLog::Instance().Print(0x80, 2, false, "Meeting packet of type %u dropped: %s\n",
                            static_cast<unsigned>(packet.type), why);
}

void MeetingHandlers::RefreshLobbyNow()
{
    // Returns once a list asked for now has been applied (bounded).
    if (CMeetingLobby* lobby = m_manager.lobby)
        lobby->RefreshNow(kLobbyRefreshWaitMs);
}

// --- request host -----------------------------------------------------------

bool MeetingHandlers::SendPacket(const ControlPacket& packet)
{
    return m_manager.Transport().SendPackets({packet});
}

std::string MeetingHandlers::ParticipantName(const std::string& session)
{
    return m_manager.GetParticipantName(session);
}

bool MeetingHandlers::HasParticipant(const std::string& session)
{
    std::lock_guard<std::mutex> l(m_manager.participantLock);
    for (const Participant& p : m_manager.participants)
        if (p.sessionID == session)
            return true;
    return false;
}

void MeetingHandlers::Notify(RequestNotice notice, const std::string& displayName, bool balloon)
{
    NoticeText t = TextOf(notice);
    std::wstring name = Wide(displayName);
    bool noName = name.empty() && t.logNoName != nullptr;
    std::wstring line = m_manager.MakeEventPrefix(0) + ReplaceFirstPlaceholder(noName ? t.logNoName : t.log, name);
    DHLog::Instance().PrintW(0x80, 3, false, L"%s", line.c_str());
    UINT id = noName && t.balloonNoName ? t.balloonNoName : t.balloon;
    if (!balloon || id == 0)
        return;
    static ResStringSlot caption;
    std::wstring text = ReplaceFirstPlaceholder(BalloonText(id), name);
    m_manager.ShowTrayBalloon(LoadResString(caption, IDS_INFO), text.c_str());
}

void MeetingHandlers::RefreshLobbyList()
{
    if (CMeetingLobby* lobby = m_manager.lobby)
        lobby->RefreshParticipantList();
}

void MeetingHandlers::SetInputWatch(bool installed)
{
    // Installed and removed on the main thread: it owns the control bar and
    // its message loop serves low-level hooks.
    PostThreadMessageW(m_manager.mainThreadId, PLM_SET_INPUT_WATCH, installed ? 1 : 0, 0);
}

void MeetingHandlers::HideForControlHolder()
{
    // Asynchronously: the main thread may be waiting for this thread.
    CChat* chat = m_manager.chat;
    if (chat && chat->PaneWindow() && !(GetWindowLongPtrW(chat->PaneWindow(), GWL_STYLE) & WS_CHILD))
        ShowWindowAsync(chat->PaneWindow(), SW_HIDE);
    CMeetingLobby* lobby = m_manager.lobby;
    if (lobby && lobby->Window())
        ShowWindowAsync(lobby->Window(), SW_HIDE);
}

void MeetingHandlers::StartHostInvitationPrompt(const std::string& coordinator)
{
    static ResStringSlot text;
    std::wstring question = LoadResString(text, IDS_HOST_INVITATION);
    WithWorkers([&](RequestWorkers& w) { w.StartHostPrompt(question, coordinator); });
}

void MeetingHandlers::StartHostHandover(const std::string& newHost)
{
    WithWorkers([&](RequestWorkers& w) { w.StartHandover(newHost); });
}

// --- hand-over environment --------------------------------------------------

std::string MeetingHandlers::OwnSessionId()
{
    return m_manager.ownSessionId;
}

std::string MeetingHandlers::CurrentHost()
{
    std::lock_guard<std::mutex> l(m_manager.participantLock);
    for (const Participant& p : m_manager.participants)
        if (p.role == 1)
            return p.sessionID;
    return {};
}

uint32_t MeetingHandlers::SharingState()
{
    return static_cast<uint32_t>(m_manager.serverSharingState.load());
}

void MeetingHandlers::RefreshParticipants()
{
    RefreshLobbyNow();
}

bool MeetingHandlers::AllParticipantsReady()
{
    std::lock_guard<std::mutex> l(m_manager.participantLock);
    for (const Participant& p : m_manager.participants)
        if (p.state != 1)
            return false;
    return true;
}

void MeetingHandlers::CloseCanvases()
{
    if (m_manager.canvas1)
        m_manager.canvas1->Close();
    if (m_manager.canvas2)
        m_manager.canvas2->Close();
}

bool MeetingHandlers::Send(const ControlPacket& packet)
{
    return SendPacket(packet);
}

void MeetingHandlers::Pause(uint32_t ms)
{
    Sleep(ms);
}

bool MeetingHandlers::Cancelled()
{
    return false;  // RequestWorkers adds its own cancellation
}
