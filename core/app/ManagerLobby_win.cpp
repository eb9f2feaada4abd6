// What the lobby reads and changes of the manager, and the manager's side of
// the lobby: the own name under its lock and the control holder.
#include "core/app/ManagerLobby_win.h"

#include "core/app/Manager.h"
#include "core/app/MeetingHandlers_win.h"
#include "core/base/DHLog.h"
#include "meeting/CCanvas.h"
#include "meeting/CChat.h"
#include "meeting/PartiMark.h"
#include "extras/FileShare.h"
#include "extras/AudioSpeaker.h"

#include <mmsystem.h>

void CManager::SetOwnDisplayName(const std::wstring& name)
{
    std::lock_guard<std::mutex> l(m_nameLock);
    ownDisplayName = name;
}

std::string CManager::ControlHolder() const
{
    return m_handlers->Requests().ControlHolder();
}

namespace {

LobbyParticipant ToLobby(const Participant& p)
{
    LobbyParticipant l;
    l.session = p.sessionID;
    l.name = p.name;
    l.role = p.role;
    l.callerRole = p.callerRole;
    l.state = p.state;
    l.viewOnly = p.viewonly == 0;  // the appliance's field holds 0 for view-only
    l.assistPermission = p.assistpermission;
    return l;
}

class ManagerLobbyContext : public LobbyContext {
public:
    // The sound devices are asked once, as the meeting opens its lobby: the
    // first question starts the system's device threads, and the lobby's
    // state is read on every refresh.
    explicit ManagerLobbyContext(CManager& m) : m_manager(m), m_captureDevice(!CAudioCapture::EnumDevices().empty()) {}

    HINSTANCE Instance() const override { return m_manager.instance; }
    DWORD MainThreadId() const override { return m_manager.mainThreadId; }
    MeetingContext& Meeting() override { return m_manager; }

    std::function<int()> PrepareParticipantsRequest() override
    {
        return m_manager.Appliance().PrepareParticipantsRequest();
    }

    LobbySnapshot Snapshot() override
    {
        LobbySnapshot s;
        std::lock_guard<std::mutex> l(m_manager.participantLock);
        for (const Participant& p : m_manager.participants)
            s.participants.push_back(ToLobby(p));
        s.meetingState = m_manager.meetingState;
        s.meetingSharingState = m_manager.serverSharingState;
        s.expirySeconds = m_manager.meetingExpires;
        s.meetingName = m_manager.meetingName;
        s.waitMessage = m_manager.waitMessage;
        return s;
    }

    std::string OwnSessionId() const override { return m_manager.ownSessionId; }
    // The main thread is the only writer: it reads without the lock.
    std::wstring OwnDisplayName() const override { return m_manager.ownDisplayName; }
    void SetOwnDisplayName(const std::wstring& name) override { m_manager.SetOwnDisplayName(name); }

    LobbyOwnState Own() const override
    {
        LobbyOwnState o;
        o.role = m_manager.role;
        o.callerRole = m_manager.title;
        o.assistPermission = m_assistPermission;
        o.sharingState = m_manager.sharingStep;
        o.prevSharingState = m_manager.prevSharingStep;
        o.controlHeld = m_manager.ControlHeld();
        o.voiceActive = m_manager.voiceActive != 0;
        o.pollActive = m_manager.pollActive != 0;
        o.captureDevice = m_captureDevice;
        o.hostRequestPending = m_manager.hostRequestPending != 0;
        o.filesShared = m_manager.hostHasTransfers != 0;
        return o;
    }

    void SetRoles(int role, int callerRole, int assistPermission) override
    {
        if (role == 1 && m_manager.role != 1 && m_manager.chat)
            m_manager.chat->ShowHostHint();
        m_manager.role = role;
        m_manager.title = callerRole;
        m_assistPermission = assistPermission;
        if (m_manager.fileShare)
            m_manager.fileShare->SetRole(role);
    }

    void SetSharingStates(int prev, int current) override
    {
        m_manager.prevSharingStep = prev;
        m_manager.sharingStep = current;
    }

    void ClearHostRequestPending() override { m_manager.hostRequestPending = 0; }

    // After each participant list: the request lists, and file sharing's
    // users and offered files.
    void SyncRequestLists() override
    {
        m_manager.SyncRequestLists();
        if (m_manager.fileShare) {
            m_manager.fileShare->SyncParticipants();
            m_manager.fileShare->SyncReceivedFiles();
        }
    }
    std::vector<std::string> ControlRequests() const override { return m_manager.ControlRequests(); }
    std::vector<std::string> HostRequests() const override { return m_manager.HostRequests(); }
    std::string ControlHolder() const override { return m_manager.ControlHolder(); }
    // The hand-over's worker keeps no state the lobby can read yet.
    bool HandoverUnderway() const override { return false; }

    void LogEvent(int level, const wchar_t* format) override
    {
        DHLog::Instance().PrintW(0x80, level, false, format, m_manager.MakeEventPrefix(0).c_str());
    }

    void Balloon(const wchar_t* title, const wchar_t* text) override { m_manager.ShowTrayBalloon(title, text); }

    void HideChat() override { m_manager.HideChat(); }

    void CloseHostTools() override
    {
        if (m_manager.canvas1)
            m_manager.canvas1->QuitWhiteboard();
        if (m_manager.canvas2)
            m_manager.canvas2->QuitWhiteboard();
        if (m_manager.partiMark)
            m_manager.partiMark->RemoveAllMarks();
    }

    void ParticipantsRefreshed() override
    {
        CChat* chat = m_manager.chat;
        if (chat && chat->PaneWindow())
            PostMessageW(chat->PaneWindow(), WM_CHAT_RECIPIENTS, 0, 0);
    }

    void ClosePlayback() override
    {
        if (m_manager.audioSpeaker)
            m_manager.audioSpeaker->ClosePlayback(true);
    }

private:
    CManager& m_manager;
    int m_assistPermission = 0;
    const bool m_captureDevice;
};

} // namespace

std::shared_ptr<LobbyContext> MakeLobbyContext(CManager& manager)
{
    return std::make_shared<ManagerLobbyContext>(manager);
}
