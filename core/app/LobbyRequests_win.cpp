// The manager's side of the lobby's commands: its view of the meeting for
// them, their packets, log lines and thread messages, the control and host
// requests through the request logic, and the features a command reaches.
#include "core/app/Manager.h"

#include "core/app/MeetingHandlers_win.h"
#include "core/base/DHLog.h"
#include "core/base/TextConvert.h"
#include "meeting/CCanvas.h"
#include "meeting/CChat.h"
#include "meeting/PartiMark.h"
#include "extras/FileShare.h"

LobbyView CManager::LobbyCommandView()
{
    LobbyView v;
    v.ownSession = ownSessionId;
    v.role = role;
    v.callerRole = title;
    v.meetingState = meetingState;
    v.meetingSharingState = serverSharingState;
    v.controlHeld = ControlHeld();
    std::lock_guard<std::mutex> l(participantLock);
    v.expirySeconds = meetingExpires;
    for (const Participant& p : participants) {
        if (p.sessionID == ownSessionId) {
            v.assistPermission = static_cast<uint32_t>(p.assistpermission);
            v.viewOnly = p.viewonly == 0;
        } else if (p.callerRole == 2) {
            v.assistPresent = true;
        }
        if (p.role == 1 && v.hostSession.empty())
            v.hostSession = p.sessionID;
        if (p.callerRole == 1 && v.coordinatorSession.empty())
            v.coordinatorSession = p.sessionID;
    }
    return v;
}

bool CManager::FindParticipant(const std::string& session, LobbyTarget& out)
{
    std::lock_guard<std::mutex> l(participantLock);
    for (const Participant& p : participants) {
        if (p.sessionID != session)
            continue;
        out.session = p.sessionID;
        out.nameUtf8 = WideToAnsi(p.name, kCodePageUtf8);
        out.role = p.role;
        out.callerRole = p.callerRole;
        out.viewOnly = p.viewonly == 0;  // the field holds 0 for a view-only participant
        out.assistPermission = static_cast<uint32_t>(p.assistpermission);
        return true;
    }
    return false;
}

bool CManager::SendLobbyPacket(const ControlPacket& packet)
{
    return !packet.empty() && Transport().SendPackets({packet});
}

void CManager::LogLobbyEvent(const std::wstring& text)
{
    DHLog::Instance().PrintW(0x80, 3, false, L"%s%s", MakeEventPrefix(0).c_str(), text.c_str());
}

void CManager::PostToProgram(unsigned message, uintptr_t wParam, intptr_t lParam)
{
    PostThreadMessageW(mainThreadId, message, wParam, lParam);
}

bool CManager::RequestControl(const std::string& hostSession)
{
    return m_handlers->Requests().RequestControl(hostSession);
}

bool CManager::ReleaseOwnControl(const std::string& hostSession)
{
    return m_handlers->Requests().ReleaseOwnControl(hostSession);
}

bool CManager::RefuseControlRequest(const std::string& session)
{
    return m_handlers->Requests().RefuseControlRequest(session);
}

bool CManager::RequestHost(const std::string& coordinator)
{
    return m_handlers->Requests().RequestHost(coordinator);
}

bool CManager::RefuseHostRequest(const std::string& session)
{
    return m_handlers->Requests().RefuseHostRequest(session);
}

bool CManager::AskHost(const std::string& session)
{
    return m_handlers->Requests().AskHost(session);
}

std::vector<std::string> CManager::PendingControlRequests()
{
    return m_handlers->Requests().PendingControl();
}

std::vector<std::string> CManager::PendingHostRequests()
{
    return m_handlers->Requests().PendingHost();
}

bool CManager::HostRequestPending() const
{
    return m_handlers->Requests().OwnHostRequest();
}

std::string CManager::ControlHolderSession()
{
    return m_handlers->Requests().ControlHolder();
}

void CManager::StartSharingRequest(const std::string& session)
{
    m_handlers->StartSharingRequest(session);
}

void CManager::StartReadyWait()
{
    m_handlers->StartReadyWait();
}

void CManager::CloseSharingExtras()
{
    if (canvas1)
        canvas1->Close();
    if (partiMark)
        partiMark->RemoveAllMarks();
}

void CManager::HideChat()
{
    // Only the floating pane; docked in the lobby it goes with the lobby.
    if (chat && chat->PaneWindow() && !(GetWindowLongPtrW(chat->PaneWindow(), GWL_STYLE) & WS_CHILD))
        ShowWindow(chat->PaneWindow(), SW_HIDE);
}

void CManager::StartWhiteboard()
{
    if (canvas2)
        canvas2->StartWhiteboardThread(kCanvasWhiteboardOwner);
}

void CManager::ShowFileShare()
{
    if (fileShare)
        fileShare->ShowWindow();
}

void CManager::WithdrawShares()
{
    if (fileShare)
        fileShare->WithdrawShares();
}

std::vector<std::wstring> CManager::RescheduleTexts()
{
    return rescheduleTexts;
}
