#pragma once
// The appliance services of the program: the manager's requests carried out
// by the appliance request session over WinHTTP (session and meeting tests,
// the guest join of a meeting link, the participant list, logout), its proxy
// settings and address resolution, and the login window. The other windows of
// the appliance side (meeting list, setup, invitations, proxy credentials)
// are not part of this build: asking for one logs that and reports failure.
#include "appliance/cgi/ProxyConfig.h"
#include "core/app/ManagerServices.h"

#include <functional>
#include <memory>
#include <string>

struct CgiSession;
class CLogin;
struct MeetingRecord;
class ProfileStore;
class ProgramLogin;
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
    void DestroyMeetingList() override {}
    bool HasMeetingList() const override { return false; }
    bool CreateMeetingSetup(bool reschedule) override;
    void DestroyMeetingSetup() override {}
    bool HasMeetingSetup() const override { return false; }
    bool CreateInvite() override;
    void DestroyInvite() override {}
    void ShowInvite() override {}
    void StoreDefaultProfile(const std::string& server, const std::wstring& displayName) override;
    void StartPasswordExpiryPrompt(int origin) override;
    int UpgradeClient(bool required) override;
    bool IsMeetingDetailsVisible() const override { return false; }
    void ToggleMeetingDetails() override {}

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
    // The session with the manager's launch and login fields put in.
    CgiSession& PreparedSession();
    // The session as the last request left it.
    const CgiSession& LastSession() const { return *m_session; }
    // The session's login state (domain, portal, pending id, second step,
    // lists, client-certificate choice) back to none.
    void ClearSessionLoginState();
    uint8_t ProxyType() const { return m_proxyType; }
    CLogin* Login() const { return m_login.get(); }
    // The connection profiles, read from the registry on first use.
    ProfileStore& Profiles();

private:
    // The manager's launch and login fields into the session, before a request.
    void PrepareRequest();
    // A new connection attempt: the proxy is discovered again.
    void NewConnectionAttempt() { m_proxySettled = false; }
    void Missing(const char* what) const;
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
};
