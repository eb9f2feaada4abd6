#pragma once
// The appliance services of the program: the manager's requests carried out
// by the appliance request session over WinHTTP (session and meeting tests,
// the guest join of a meeting link, the participant list, logout), its proxy
// settings and address resolution, the login window, the active-meetings
// window, the meeting's details for the tray, the password-expiry prompt, the
// meeting setup window and the invitation window. The windows of the
// appliance side that are not part of this build log that when asked for and
// report failure.
#include "appliance/cgi/Invitation.h"
#include "appliance/cgi/ProxyConfig.h"
#include "appliance/ui/InvitationSender_win.h"
#include "core/app/ManagerServices.h"

#include <functional>
#include <memory>
#include <string>

struct CgiSession;
class CActiveMeetings;
class CInvite;
class CLogin;
class CMeetingSetup;
class MeetingDetails;
class PasswordChange;
class ProgramMeetingList;
class COptionsDialog;
struct MeetingRecord;
class ProfileStore;
class ProgramInvite;
class ProgramLogin;
class ProgramSetup;
class ProgramOptions;
class WinHttpTransport;

class ProgramAppliance : public ApplianceServices {
public:
    // Settles the proxy of one connection attempt from the configuration and
    // its type, the appliance's host and numeric address (DetectProxy).
    using ProxyDiscovery = std::function<ProxyConfig(const ProxyConfig& config, uint8_t proxyType,
                                                     const std::string& host, const std::string& address)>;

    explicit ProgramAppliance(CManager& manager, ProxyDiscovery discovery = DiscoverProxy);
    ~ProgramAppliance() override;

    bool CreateSession() override;
    int SessionTest() override;
    int MeetingTest() override;
    int RunJoinWorker() override;
    void ReadLaunchedMeeting() override;
    bool ReadParticipants() override;
    std::function<int()> PrepareParticipantsRequest() override;
    void ReadProxySettings(bool fromBrowser) override;
    void ResolveApplianceHost() override;
    bool AskProxyCredentials() override;

    bool CreateLogin() override;
    void DestroyLogin() override;
    HWND LoginWindow() const override;
    void SetLoginServer(const std::string& server) override;
    bool CreateMeetingList(int openedFromList) override;
    void DestroyMeetingList() override;
    bool HasMeetingList() const override;
    bool CreateMeetingSetup(bool reschedule) override;
    void DestroyMeetingSetup() override;
    bool HasMeetingSetup() const override { return m_setup != nullptr; }
    bool CreateInvite() override;
    void DestroyInvite() override;
    void ShowInvite() override;
    void StoreDefaultProfile(const std::string& server, const std::wstring& displayName) override;
    void StartPasswordExpiryPrompt(int origin) override;
    void ReturnLoginToServerPage() override;
    int UpgradeClient(bool required) override;
    bool IsMeetingDetailsVisible() const override;
    void ToggleMeetingDetails() override;
    void OpenOptions() override;

    // Ends the appliance session (its result is always success).
    void Logout();
    // The proxy a connection to the appliance goes through now: automatic
    // modes resolved, the bypass list applied, once per connection attempt
    // (the session and meeting tests and the join worker start one; the
    // participant list, logout and the tunnels use what it settled).
    ProxyConfig EffectiveProxy();
    static ProxyConfig DiscoverProxy(const ProxyConfig& config, uint8_t proxyType, const std::string& host,
                                     const std::string& address);
    // SHA-1 hex of the appliance certificate accepted for the current host
    // and port; empty when none.
    std::string AcceptedThumbprint() const;
    std::string AcceptedApplianceThumbprint() const override { return AcceptedThumbprint(); }
    // The session with the manager's launch and login fields put in.
    CgiSession& PreparedSession();
    // The session as the last request left it.
    const CgiSession& LastSession() const { return *m_session; }
    // The session's login state (domain, portal, pending id, second step,
    // lists, client-certificate choice) back to none.
    void ClearSessionLoginState();
    uint8_t ProxyType() const { return m_proxyType; }
    // New proxy settings from the options dialog: the next connection
    // attempt settles its proxy again.
    void SetProxyType(uint8_t type)
    {
        m_proxyType = type;
        NewConnectionAttempt();
    }
    // The options dialog once Settings were asked for, else null.
    COptionsDialog* Options() const { return m_options.get(); }
    CLogin* Login() const { return m_login.get(); }
    CActiveMeetings* MeetingList() const { return m_meetingList.get(); }
    CInvite* Invite() const { return m_invite.get(); }
    CMeetingSetup* MeetingSetup() const { return m_setup.get(); }
    // The tray's details of the meeting in progress (null until first shown).
    MeetingDetails* TrayDetails() const { return m_trayDetails.get(); }
    PasswordChange* PasswordChanger() const { return m_passwordChange.get(); }
    // The invitations of a meeting just started, on a thread of their own
    // with their own copies of the session and the texts.
    void SendInvitations(const InvitationTexts& texts);
    // The connection profiles, read from the registry on first use.
    ProfileStore& Profiles();

private:
    // The manager's launch and login fields into the session, before a request.
    void PrepareRequest();
    // A new connection attempt: the proxy is discovered again.
    void NewConnectionAttempt() { m_proxySettled = false; }
    void Missing(const char* what) const;
    // Ends the run through the ordered teardown with this exit code.
    void EndRun(int exitCode);
    // Name and wait message of the entered meeting from its list record.
    void TakeMeetingTexts(const MeetingRecord& meeting);

    CManager& m_manager;
    std::unique_ptr<WinHttpTransport> m_transport;
    std::unique_ptr<CgiSession> m_session;
    uint8_t m_proxyType = PROXY_TYPE_SERVER;
    ProxyDiscovery m_discovery;
    bool m_proxySettled = false;
    ProxyConfig m_settledProxy;
    std::unique_ptr<ProfileStore> m_profiles;
    std::unique_ptr<ProgramLogin> m_loginContext;
    std::unique_ptr<CLogin> m_login;
    std::unique_ptr<ProgramMeetingList> m_meetingListContext;
    std::unique_ptr<CActiveMeetings> m_meetingList;
    std::unique_ptr<MeetingDetails> m_trayDetails;
    std::unique_ptr<PasswordChange> m_passwordChange;
    std::unique_ptr<ProgramSetup> m_setupContext;
    std::unique_ptr<CMeetingSetup> m_setup;
    std::unique_ptr<ProgramInvite> m_inviteContext;
    std::unique_ptr<CInvite> m_invite;
    InvitationWorkers m_invitationSender;
    // Last: the dialog's thread uses the profile store and the manager.
    std::unique_ptr<ProgramOptions> m_optionsHost;
    std::unique_ptr<COptionsDialog> m_options;
};
