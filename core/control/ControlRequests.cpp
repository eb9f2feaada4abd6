#include "core/control/ControlRequests.h"

#include <algorithm>

using Lock = std::lock_guard<std::recursive_mutex>;

ControlRequests::ControlRequests(ControlRequestsHost& host) : m_host(host) {}

void ControlRequests::SetRoles(const MeetingRoles& roles)
{
    Lock l(m_lock);
    if (roles.role != m_roles.role)
        m_ownHostRequest = false;
    m_roles = roles;
}

MeetingRoles ControlRequests::Roles() const
{
    Lock l(m_lock);
    return m_roles;
}

bool ControlRequests::AddOnce(std::vector<std::string>& list, const std::string& s)
{
    if (s.empty() || std::find(list.begin(), list.end(), s) != list.end())
        return false;
    list.push_back(s);
    return true;
}

bool ControlRequests::Remove(std::vector<std::string>& list, const std::string& s)
{
    auto it = std::find(list.begin(), list.end(), s);
    if (it == list.end())
        return false;
    list.erase(it);
    return true;
}

void ControlRequests::OnControlRequest(uint8_t type, const std::string& first, const std::string& second)
{
    Lock l(m_lock);
    bool host = m_roles.role == 1;
    if (type == PLP_REQUEST_CONTROL && host) {
        if (AddOnce(m_controlRequests, first)) {
            m_host.RefreshLobbyList();
            m_host.Notify(RequestNotice::ControlRequested, m_host.ParticipantName(first), true);
        }
    } else if (type == PLP_REQUEST_CONTROL) {
        // The host takes control back: answer with the release so the host
        // knows the hand-back is complete.
        m_controlHeld = false;
        Send(BuildTwoNamePacket(PLP_RELEASE_CONTROL, m_roles.ownSessionId, first));
        m_host.Notify(RequestNotice::ControlTakenBack, {}, true);
    } else if (type == PLP_RELEASE_CONTROL && !host) {
        m_controlHeld = true;
        m_host.Notify(RequestNotice::ControlGiven, {}, true);
    } else if (type == PLP_RELEASE_CONTROL && !m_controlHolder.empty() && first != m_controlHolder) {
        // The hand-back of an earlier holder, arriving after control went on
        // to someone else: the current holder keeps control.
        m_host.Notify(RequestNotice::ControlReleased, m_host.ParticipantName(first), true);
    } else if (type == PLP_RELEASE_CONTROL) {
        std::string name = m_controlHolder.empty() ? std::string() : m_host.ParticipantName(m_controlHolder);
        m_controlHolder.clear();
        m_stateBits &= ~2u;
        m_host.SetInputWatch(false);
        ReleaseControl();
        m_host.Notify(RequestNotice::ControlReleased, name, true);
    }
}

bool ControlRequests::AcceptControlRequest(const std::string& session)
{
    Lock l(m_lock);
    if (session.empty())
        return false;
    if (!m_controlHolder.empty()) {
        // The holder keeps control until the take-back has gone out.
        if (!Send(BuildTwoNamePacket(PLP_REQUEST_CONTROL, m_roles.ownSessionId, m_controlHolder)))
            return false;
        m_host.SetInputWatch(false);
        m_controlHolder.clear();
        m_stateBits &= ~2u;
    }
    if (session != m_roles.ownSessionId) {
        if (!Send(BuildTwoNamePacket(PLP_RELEASE_CONTROL, m_roles.ownSessionId, session)))
            return false;
        m_host.SetInputWatch(true);
        if (m_roles.role == 1) {
            m_controlHolder = session;
            ReleaseControl();
        }
    }
    Remove(m_controlRequests, session);
    m_host.Notify(RequestNotice::ControlAccepted, m_host.ParticipantName(session), false);
    return true;
}

void ControlRequests::ReleaseControl()
{
    if (m_controlHolder.empty())
        return;
    if (!m_host.HasParticipant(m_controlHolder)) {
        m_controlHolder.clear();
        return;
    }
    m_host.HideForControlHolder();
    m_stateBits = (m_stateBits & ~1u) | 2u;
}

bool ControlRequests::RequestControl(const std::string& hostSession)
{
    Lock l(m_lock);
    m_host.SetInputWatch(false);
    return Send(BuildTwoNamePacket(PLP_REQUEST_CONTROL, m_roles.ownSessionId, hostSession));
}

bool ControlRequests::ReleaseOwnControl(const std::string& hostSession)
{
    Lock l(m_lock);
    m_controlHeld = false;
    return Send(BuildTwoNamePacket(PLP_RELEASE_CONTROL, m_roles.ownSessionId, hostSession));
}

bool ControlRequests::RefuseControlRequest(const std::string& session)
{
    Lock l(m_lock);
    Remove(m_controlRequests, session);
    return Send(BuildTwoNamePacket(PLP_REJECT_CONTROL, m_roles.ownSessionId, session));
}

void ControlRequests::OnHostRequest(uint8_t type, const std::string& first, const std::string& second)
{
    Lock l(m_lock);
    if (type == PLP_REQUEST_HOST) {
        bool coordinator = m_roles.title == 1;
        if (!coordinator && !(m_roles.title == 2 && (m_roles.assistPermission & 0x2)))
            return;
        if (AddOnce(m_hostRequests, first)) {
            m_host.RefreshLobbyList();
            m_host.Notify(RequestNotice::HostRequested, m_host.ParticipantName(first), coordinator);
        }
    } else if (type == PLP_REJECT_HOST) {
        if (m_roles.title == 1 || second != m_roles.ownSessionId)
            return;
        m_ownHostRequest = false;
        m_host.Notify(RequestNotice::HostRequestRejected, m_host.ParticipantName(first), true);
    }
}

bool ControlRequests::RequestHost(const std::string& coordinator)
{
    Lock l(m_lock);
    m_ownHostRequest = true;
    return Send(BuildTwoNamePacket(PLP_REQUEST_HOST, m_roles.ownSessionId, coordinator));
}

int ControlRequests::AcceptHostRequest(const std::string& session)
{
    Lock l(m_lock);
    if (session.empty())
        return 0;
    if (m_roles.serverSharingState == 0) {
        ControlMessage m;
        m.type = PLP_SET_HOST;
        m.name = session;
        m.value1 = 0;
        m.value2 = 1;
        if (!Send(BuildControlMessage(m)))
            return 0;
        Remove(m_hostRequests, session);
        if (session != m_roles.ownSessionId)
            m_host.Notify(RequestNotice::HostRequestAccepted, m_host.ParticipantName(session), false);
        return 1;
    }
    if (m_roles.serverSharingState == 2) {
        Remove(m_hostRequests, session);
        m_host.StartHostHandover(session);
        return 1;
    }
    return 0;
}

bool ControlRequests::RefuseHostRequest(const std::string& session)
{
    Lock l(m_lock);
    Remove(m_hostRequests, session);
    return Send(BuildTwoNamePacket(PLP_REJECT_HOST, m_roles.ownSessionId, session));
}

bool ControlRequests::AskHost(const std::string& target)
{
    Lock l(m_lock);
    return Send(BuildTwoNamePacket(PLP_ASK_HOST, m_roles.ownSessionId, target));
}

void ControlRequests::OnHostInvitation(uint8_t type, const std::string& first, const std::string& second)
{
    Lock l(m_lock);
    switch (type) {
    case PLP_ASK_HOST:
        if (m_ownHostRequest) {
            Send(BuildTwoNamePacket(PLP_HOST_ACCEPT, m_roles.ownSessionId, first));
        } else {
            m_host.Notify(RequestNotice::HostInvited, m_host.ParticipantName(first), false);
            m_host.StartHostInvitationPrompt(first);
        }
        break;
    case PLP_HOST_ACCEPT:
        m_host.Notify(RequestNotice::HostInviteAccepted, m_host.ParticipantName(first), false);
        m_host.StartHostHandover(first);
        break;
    case PLP_HOST_DECLINE:
        m_host.Notify(RequestNotice::HostInviteDeclined, m_host.ParticipantName(first), true);
        break;
    default:
        break;
    }
}

bool ControlRequests::AnswerHostInvitation(const std::string& coordinator, bool accept)
{
    Lock l(m_lock);
    return Send(BuildTwoNamePacket(accept ? PLP_HOST_ACCEPT : PLP_HOST_DECLINE, m_roles.ownSessionId, coordinator));
}

void ControlRequests::SyncRequestLists()
{
    Lock l(m_lock);
    for (auto* list : {&m_controlRequests, &m_hostRequests})
        list->erase(std::remove_if(list->begin(), list->end(),
                                   [this](const std::string& s) { return !m_host.HasParticipant(s); }),
                    list->end());
}

void ControlRequests::EndSharing()
{
    Lock l(m_lock);
    m_controlRequests.clear();
    m_controlHolder.clear();
    m_controlHeld = false;
    m_stateBits = 0;
}

void ControlRequests::Clear()
{
    Lock l(m_lock);
    m_controlRequests.clear();
    m_hostRequests.clear();
    m_controlHolder.clear();
    m_controlHeld = false;
    m_ownHostRequest = false;
    m_stateBits = 0;
}

std::vector<std::string> ControlRequests::PendingControl() const
{
    Lock l(m_lock);
    return m_controlRequests;
}

std::vector<std::string> ControlRequests::PendingHost() const
{
    Lock l(m_lock);
    return m_hostRequests;
}

std::string ControlRequests::ControlHolder() const
{
    Lock l(m_lock);
    return m_controlHolder;
}

bool ControlRequests::ControlHeld() const
{
    Lock l(m_lock);
    return m_controlHeld;
}

bool ControlRequests::OwnHostRequest() const
{
    Lock l(m_lock);
    return m_ownHostRequest;
}

uint32_t ControlRequests::StateBits() const
{
    Lock l(m_lock);
    return m_stateBits;
}
