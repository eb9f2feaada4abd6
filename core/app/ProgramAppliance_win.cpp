#include "core/app/ProgramAppliance_win.h"

#include "appliance/https/CgiLog_win.h"
#include "appliance/cgi/CgiResult.h"
#include "appliance/cgi/CgiSession.h"
#include "appliance/cgi/LoginRequests.h"
#include "appliance/cgi/MeetingRequests.h"
#include "appliance/https/ProxyDiscovery_win.h"
#include "appliance/https/ProxySettings_win.h"
#include "appliance/cgi/SessionRequests.h"
#include "appliance/https/WinHttpTransport_win.h"
#include "core/base/DHLog.h"
#include "core/base/LoadResString.h"
#include "core/app/Manager.h"
#include "core/app/ProgramLogin_win.h"
#include "core/app/ProgramSetup_win.h"
#include "appliance/ui/Invite_win.h"
#include "appliance/ui/MeetingSetup_win.h"
#include "core/app/ProgramOptions_win.h"
#include "core/app/ProxyAuthDialog.h"
#include "appliance/ui/ActiveMeetings_win.h"
#include "appliance/ui/LoginWindow_win.h"
#include "appliance/ui/MeetingDetails_win.h"
#include "appliance/ui/PasswordChange_win.h"
#include "core/app/ProgramMeetingList_win.h"
#include "appliance/ui/RegistryProfileBackend_win.h"
#include "core/base/SessionUserName.h"
#include "core/base/TextConvert.h"
#include "core/app/res/resource.h"

namespace {

constexpr uint8_t kLogCategory = 0x08;

} // namespace

ProgramAppliance::ProgramAppliance(CManager& manager, ProxyDiscovery discovery)
    : m_manager(manager), m_discovery(std::move(discovery))
{
}

ProgramAppliance::~ProgramAppliance()
{
    m_passwordChange.reset();
    m_trayDetails.reset();
    DestroyMeetingList();
    DestroyInvite();
    DestroyMeetingSetup();
    m_options.reset();
    DestroyLogin();
}

void ProgramAppliance::OpenOptions()
{
    if (!m_options) {
        m_optionsHost = std::make_unique<ProgramOptions>(m_manager, *this);
        m_options = std::make_unique<COptionsDialog>(m_manager.instance, *m_optionsHost, Profiles());
    }
    m_options->Open();
}

void ProgramAppliance::Missing(const char* what) const
{
    DHLog::Instance().Print(kLogCategory, 2, false, "%s is not available in this build.\n", what);
}

bool ProgramAppliance::CreateSession()
{
    m_transport = std::make_unique<WinHttpTransport>();
    m_session = std::make_unique<CgiSession>(*m_transport);
    m_session->log.write = DHLogWriter();
    m_session->log.eventPrefix = [this] { return WideToAnsi(m_manager.MakeEventPrefix(0), 65001); };
    return true;
}

void ProgramAppliance::PrepareRequest()
{
    CgiSession& s = *m_session;
    s.applianceHost = m_manager.applianceHost;
    s.appliancePort = m_manager.appliancePort;
    s.proxy = EffectiveProxy();
    s.sessionId = m_manager.ownSessionId;
    s.displayName = m_manager.ownDisplayName;
    s.portal = m_manager.portalName;
    s.meetingId = m_manager.meetingId;
}

ProxyConfig ProgramAppliance::DiscoverProxy(const ProxyConfig& config, uint8_t proxyType, const std::string& host,
                                            const std::string& address)
{
    ProxyConfig effective;
    DetectProxy(effective, proxyType, config, host, address);
    return effective;
}

ProxyConfig ProgramAppliance::EffectiveProxy()
{
    // Discovery may fetch a configuration script and resolve every bypass
    // entry: worth doing once per attempt, not before each lobby refresh.
    if (!m_proxySettled) {
        m_settledProxy =
            m_discovery(m_manager.proxy, m_proxyType, m_manager.applianceHost, m_manager.applianceAddress);
        m_proxySettled = true;
    }
    return m_settledProxy;
}

std::string ProgramAppliance::AcceptedThumbprint() const
{
    if (!m_session || !m_session->acceptedCert.Covers(m_manager.applianceHost, m_manager.appliancePort))
        return {};
    return m_session->acceptedCert.thumbprint;
}

int ProgramAppliance::SessionTest()
{
    if (!m_session)
        return CGI_FAILED;
    NewConnectionAttempt();
    PrepareRequest();
    int result = CgiSessionTest(*m_session);
    if (result == CGI_OK && !m_session->displayName.empty())
        m_manager.ownDisplayName = m_session->displayName;
    return result;
}

int ProgramAppliance::MeetingTest()
{
    if (!m_session)
        return CGI_FAILED;
    NewConnectionAttempt();
    PrepareRequest();
    return CgiMeetingTest(*m_session);
}

int ProgramAppliance::RunJoinWorker()
{
    if (!m_session)
        return CGI_FAILED;
    // A guest who gave no name joins under the name of the session's user.
    if (m_manager.ownDisplayName.empty())
        GetSessionUserName(m_manager.ownDisplayName);
    ResolveApplianceHost();
    if (!m_manager.addressResolved)
        return CGI_NO_RESPONSE;  // reported, and the login window opens
    NewConnectionAttempt();
    PrepareRequest();
    CgiSession& s = *m_session;
    int result = CgiGuestLogin(s);
    if (result != CGI_OK)
        return result;
    m_manager.ownSessionId = s.sessionId;
    result = CgiGetMeetingList(s, nullptr);
    if (result == CGI_OK)
        result = CgiJoinMeeting(s, true, nullptr);
    if (result != CGI_OK) {
        Logout();
        return result;
    }
    for (const MeetingRecord& m : s.meetings) {
        if (m.meetingID == m_manager.meetingId) {
            TakeMeetingTexts(m);
            break;
        }
    }
    PostThreadMessageW(m_manager.mainThreadId, PLM_JOIN_MEETING, 0, 0);
    return 0;
}

void ProgramAppliance::TakeMeetingTexts(const MeetingRecord& meeting)
{
    m_manager.meetingName = meeting.meetingName;
    if (m_manager.title == 1) {
        static ResStringSlot waiting;
        m_manager.waitMessage = WideToAnsi(LoadResString(waiting, IDS_WAITING), kCodePageUtf8);
    } else {
        m_manager.waitMessage = meeting.waitMsg;
    }
}

void ProgramAppliance::ReadLaunchedMeeting()
{
    if (!m_session)
        return;
    PrepareRequest();
    int result = CgiGetMeetingList(*m_session, nullptr);
    if (result != CGI_OK) {
        DHLog::Instance().Print(kLogCategory, 2, false, "The meeting list could not be read (%d).\n", result);
        return;
    }
    for (const MeetingRecord& m : m_session->meetings) {
        if (m.meetingID == m_manager.meetingId) {
            TakeMeetingTexts(m);
            return;
        }
    }
}

namespace {

// One participant-list exchange on session; the result is swapped in under
// the participant lock, and a failed exchange keeps the list the readers have.
int RunParticipantsRequest(CgiSession& session, CManager& manager)
{
    ParticipantUpdate update;
    int result = CgiGetParticipants(session, manager.meetingState, update);
    const MeetingStatus meeting = update.meeting;
    std::lock_guard<std::mutex> l(manager.participantLock);
    ApplyParticipantResult(result, std::move(update), manager.participants);
    if (result != CGI_OK) {
        DHLog::Instance().Print(kLogCategory, 2, false, "The participant list could not be read (%d).\n", result);
        return result;
    }
    // Written under the participant lock, as the list is.
    if (meeting.expires)
        manager.meetingExpires = *meeting.expires;
    if (meeting.meetingState)
        manager.meetingState = *meeting.meetingState;
    if (meeting.sharingState)
        manager.serverSharingState = *meeting.sharingState;
    if (meeting.endDate)
        manager.meetingEndDate = *meeting.endDate;
    if (meeting.endTime)
        manager.meetingEndTime = *meeting.endTime;
    if (meeting.meetingName)
        manager.meetingName = *meeting.meetingName;
    if (meeting.waitMsg)
        manager.waitMessage = *meeting.waitMsg;
    return result;
}

} // namespace

bool ProgramAppliance::ReadParticipants()
{
    if (!m_session)
        return false;
    PrepareRequest();
    return RunParticipantsRequest(*m_session, m_manager) == CGI_OK;
}

std::function<int()> ProgramAppliance::PrepareParticipantsRequest()
{
    if (!m_session)
        return [] { return static_cast<int>(CGI_FAILED); };
    PrepareRequest();
    // A copy of its own: the main thread goes on using the session.
    auto session = std::make_shared<CgiSession>(*m_session);
    CManager* manager = &m_manager;
    return [session, manager] { return RunParticipantsRequest(*session, *manager); };
}

void ProgramAppliance::ReadProxySettings(bool fromBrowser)
{
    NewConnectionAttempt();
    if (fromBrowser) {
        ProxyConfigFromSystem(m_manager.proxy);
        m_proxyType = !m_manager.proxy.PacURL.empty() ? PROXY_TYPE_SCRIPT
                      : m_manager.proxy.AutoProxy     ? PROXY_TYPE_AUTODETECT
                                                      : PROXY_TYPE_SERVER;
        return;
    }
    ::ReadProxySettings(m_manager.proxy, m_proxyType);
}

void ProgramAppliance::ResolveApplianceHost()
{
    int family = 0;
    const std::string before = m_manager.applianceAddress;
    m_manager.addressResolved =
        ::ResolveApplianceHost(m_manager.applianceHost, m_manager.appliancePort, m_manager.applianceAddress, family);
    // The bypass list is matched against the address.
    if (m_manager.applianceAddress != before)
        NewConnectionAttempt();
}

void ProgramAppliance::Logout()
{
    if (!m_session)
        return;
    PrepareRequest();
    CgiUserLogout(*m_session);
}

bool ProgramAppliance::AskProxyCredentials()
{
    return RunProxyAuthDialog(m_manager);
}

CgiSession& ProgramAppliance::PreparedSession()
{
    PrepareRequest();
    return *m_session;
}

void ProgramAppliance::ClearSessionLoginState()
{
    if (!m_session)
        return;
    CgiSession& s = *m_session;
    s.domain.clear();
    s.portal.clear();
    s.pendingId.clear();
    s.pstate.clear();
    s.secondStepKind = 0;
    s.tfResult = -1;
    s.serverMessage.clear();
    s.domains.clear();
    s.portals.clear();
    s.clientCertRequired = 0;
    s.clientCert.clear();
    s.clientCerts.clear();
}

bool ProgramAppliance::CreateLogin()
{
    if (!m_session && !CreateSession())
        return false;
    DestroyLogin();
    m_trayDetails.reset();  // the meeting it described is over
    m_loginContext = std::make_unique<ProgramLogin>(m_manager, *this);
    m_login = std::make_unique<CLogin>(*m_loginContext);
    if (!m_login->Create()) {
        DestroyLogin();
        return false;
    }
    return true;
}

void ProgramAppliance::DestroyLogin()
{
    m_login.reset();
    m_loginContext.reset();
}

HWND ProgramAppliance::LoginWindow() const
{
    return m_login ? m_login->Window() : nullptr;
}

void ProgramAppliance::SetLoginServer(const std::string& server)
{
    if (m_login)
        m_login->SetServerText(server);
}

bool ProgramAppliance::CreateMeetingList(int openedFromList)
{
    if (!m_session && !CreateSession())
        return false;
    DestroyMeetingList();
    m_trayDetails.reset();  // the meeting it described is over
    m_meetingListContext = std::make_unique<ProgramMeetingList>(m_manager, *this);
    m_meetingList = std::make_unique<CActiveMeetings>(*m_meetingListContext);
    if (!m_meetingList->Create(openedFromList)) {
        DestroyMeetingList();
        return false;
    }
    return true;
}

void ProgramAppliance::DestroyMeetingList()
{
    m_meetingList.reset();
    m_meetingListContext.reset();
}

bool ProgramAppliance::HasMeetingList() const
{
    return m_meetingList != nullptr;
}

bool ProgramAppliance::IsMeetingDetailsVisible() const
{
    return m_trayDetails && m_trayDetails->Visible();
}

void ProgramAppliance::ToggleMeetingDetails()
{
    if (IsMeetingDetailsVisible()) {
        m_trayDetails->Hide();
        return;
    }
    if (!m_session)
        return;
    // The record as the appliance has it now; the last one read otherwise.
    PrepareRequest();
    const int32_t result = CgiGetMeetingList(*m_session, &m_manager.meetingId);
    if (result != CGI_OK)
        DHLog::Instance().Print(kLogCategory, 2, false, "The meeting's details could not be read (%d).\n", result);
    if (!m_trayDetails) {
        m_trayDetails = std::make_unique<MeetingDetails>(m_manager.instance);
        if (!m_trayDetails->Create()) {
            m_trayDetails.reset();
            return;
        }
    }
    MeetingDetails::View view;
    view.inMeeting = m_manager.lobby != nullptr;
    view.inviteRow = m_manager.title == 1 || m_manager.title == 2;
    view.centred = true;
    m_trayDetails->Show(m_session->currentMeeting, view);
}

bool ProgramAppliance::CreateMeetingSetup(bool reschedule)
{
    if (!m_session && !CreateSession())
        return false;
    DestroyMeetingSetup();
    m_setupContext = std::make_unique<ProgramSetup>(m_manager, *this);
    m_setup = std::make_unique<CMeetingSetup>(*m_setupContext,
                                              reschedule ? SetupMode::Reschedule : SetupMode::NewMeeting);
    if (!m_setup->Create()) {
        DestroyMeetingSetup();
        return false;
    }
    return true;
}

void ProgramAppliance::DestroyMeetingSetup()
{
    m_setup.reset();
    m_setupContext.reset();
}

bool ProgramAppliance::CreateInvite()
{
    if (!m_session && !CreateSession())
        return false;
    DestroyInvite();
    m_inviteContext = std::make_unique<ProgramInvite>(m_manager, *this);
    m_invite = std::make_unique<CInvite>(*m_inviteContext);
    if (!m_invite->Create()) {
        DestroyInvite();
        return false;
    }
    return true;
}

void ProgramAppliance::DestroyInvite()
{
    m_invite.reset();
    m_inviteContext.reset();
}

void ProgramAppliance::ShowInvite()
{
    if (m_invite)
        m_invite->Show();
}

void ProgramAppliance::SendInvitations(const InvitationTexts& texts)
{
    if (!m_session)
        return;
    PrepareRequest();
    m_invitationSender.Start(*m_session, std::make_unique<WinHttpTransport>(), texts, m_manager.meetingName,
                             m_manager.MakeEventPrefix(0), nullptr);
}

ProfileStore& ProgramAppliance::Profiles()
{
    if (!m_profiles)
        m_profiles = MakeRegistryProfileStore();
    return *m_profiles;
}

void ProgramAppliance::StoreDefaultProfile(const std::string& server, const std::wstring& displayName)
{
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const uint64_t stamp = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    if (!Profiles().Remember(server, displayName, stamp))
        DHLog::Instance().Print(kLogCategory, 2, false, "The connection profile of %s could not be saved.\n",
                                server.c_str());
}

void ProgramAppliance::StartPasswordExpiryPrompt(int origin)
{
    m_manager.passwordPromptOrigin = origin;
    if (!m_session)
        return;
    PasswordExpiryState state;
    state.known = m_manager.passwordExpired != 0 || m_session->passwordExpiry != 0;
    state.daysLeft = m_session->passwordExpiryDays;
    state.mayChange = m_session->mayChangePassword != 0;
    // Told once: afterwards nothing is pending.
    m_manager.passwordExpired = 0;
    m_session->passwordExpiry = 0;
    m_session->passwordExpiryDays = 0;

    // The change runs on the dialog's thread with a session of its own.
    struct ChangeJob {
        WinHttpTransport transport;
        CgiSession session{transport};
    };
    auto job = std::make_shared<ChangeJob>();
    const CgiSession& current = PreparedSession();
    job->session = current;
    job->session.transport = &job->transport;
    const std::string prefix = WideToAnsi(m_manager.MakeEventPrefix(0), 65001);
    job->session.log.eventPrefix = [prefix] { return prefix; };
    PasswordChange::Request request = [job](const std::string& oldPassword, const std::string& newPassword) {
        return CgiChangePassword(job->session, newPassword, oldPassword);
    };
    PasswordChange::Ended ended;
    if (origin == 1) {
        const DWORD mainThread = m_manager.mainThreadId;
        ended = [mainThread] { PostThreadMessageW(mainThread, PLM_PASSWORD_CHANGE_ENDED, 0, 0); };
    }
    if (!m_passwordChange)
        m_passwordChange = std::make_unique<PasswordChange>(m_manager.instance);
    if (!m_passwordChange->StartPrompt(state, std::move(request), std::move(ended)))
        DHLog::Instance().Print(kLogCategory, 2, false, "The password-expiry prompt could not be started.\n");
}

void ProgramAppliance::ReturnLoginToServerPage()
{
    if (!m_login)
        return;
    m_loginContext->ClearLoginState();
    m_login->ShowPageId(PageId::Server);
}
