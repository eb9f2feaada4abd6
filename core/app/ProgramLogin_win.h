#pragma once
// The login window's view of the program: the manager's login fields and the
// appliance services' request session.
#include "appliance/ui/LoginContext_win.h"

class CManager;
class ProgramAppliance;

class ProgramLogin : public LoginContext {
public:
    ProgramLogin(CManager& manager, ProgramAppliance& appliance) : m_manager(manager), m_appliance(appliance) {}

    HINSTANCE Instance() const override;
    DWORD MainThreadId() const override;
    CgiSession& PreparedSession() override;
    void TakeSessionResult() override;
    std::unique_ptr<ICgiTransport> MakeTransport() override;
    void SetServer(const std::string& host, uint16_t port) override;
    std::string ApplianceAddress() const override;
    void SetApplianceAddress(const std::string& address) override;
    void SetDisplayName(const std::wstring& name) override;
    void SetPortal(const std::string& portal) override;
    void ClearLoginState() override;
    bool LaunchedWithSession() const override;
    ProxyConfig ProxySettings(uint8_t& proxyType) const override;
    void SetProxyCredentials(const std::string& user, const std::string& password) override;
    std::wstring EventPrefix() const override;
    std::vector<std::string> ProfileServers() override;
    std::string DefaultProfileServer() override;
    std::wstring ProfileUser(const std::string& serverKey) override;
    std::string TrustedThumbprint(const std::string& serverKey) override;
    void TrustCertificate(const std::string& serverKey, const std::string& subject,
                          const std::string& sha1Hex) override;
    bool PasswordExpiryPending() const override;
    void StartPasswordExpiryPrompt() override;

private:
    CManager& m_manager;
    ProgramAppliance& m_appliance;
};
