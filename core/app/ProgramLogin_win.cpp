#include "core/app/ProgramLogin_win.h"

#include "appliance/https/ProxySettings_win.h"
#include "appliance/https/WinHttpTransport_win.h"
#include "core/app/Manager.h"
#include "core/app/ProgramAppliance_win.h"
#include "appliance/ui/ProfileStore.h"
#include "core/base/SecureZero.h"
#include "core/base/Registry.h"
#include "core/base/StoredSecret.h"

#include <vector>

HINSTANCE ProgramLogin::Instance() const
{
    return m_manager.instance;
}

DWORD ProgramLogin::MainThreadId() const
{
    return m_manager.mainThreadId;
}

CgiSession& ProgramLogin::PreparedSession()
{
    return m_appliance.PreparedSession();
}

void ProgramLogin::TakeSessionResult()
{
    const CgiSession& s = m_appliance.LastSession();
    m_manager.ownSessionId = s.sessionId;
    // A session test names the session's user.
    if (!s.displayName.empty())
        m_manager.ownDisplayName = s.displayName;
    // A login reply that names the password's expiry: the prompt follows.
    if (s.passwordExpiry)
        m_manager.passwordExpired = 1;
}

std::unique_ptr<ICgiTransport> ProgramLogin::MakeTransport()
{
    return std::make_unique<WinHttpTransport>();
}

void ProgramLogin::SetServer(const std::string& host, uint16_t port)
{
    m_manager.applianceHost = host;
    m_manager.appliancePort = port;
}

std::string ProgramLogin::ApplianceAddress() const
{
    return m_manager.applianceAddress;
}

void ProgramLogin::SetApplianceAddress(const std::string& address)
{
    m_manager.applianceAddress = address;
    m_manager.addressResolved = 1;
}

void ProgramLogin::SetDisplayName(const std::wstring& name)
{
    m_manager.ownDisplayName = name;
}

void ProgramLogin::SetPortal(const std::string& portal)
{
    m_manager.portalName = portal;
}

void ProgramLogin::ClearLoginState()
{
    m_manager.ClearLoginState();
    m_appliance.ClearSessionLoginState();
}

bool ProgramLogin::LaunchedWithSession() const
{
    return m_manager.launchMode >= 1 && m_manager.launchMode <= 3;
}

ProxyConfig ProgramLogin::ProxySettings(uint8_t& proxyType) const
{
    proxyType = m_appliance.ProxyType();
    return m_manager.proxy;
}

void ProgramLogin::SetProxyCredentials(const std::string& user, const std::string& password)
{
    m_manager.proxy.server.user = user;
    std::vector<char> plain(password.begin(), password.end());
    plain.push_back('\0');
    EncryptStoredString(plain.data(), m_manager.proxy.server.password);
    SecureWipe(plain);
    SaveProxySettings(m_manager.proxy, m_appliance.ProxyType());
    // Kept even while no proxy is switched on: the next start asks no more.
    const std::string key = std::string(kSettingsKey) + "\\Proxy";
    RegWriteString(HKEY_CURRENT_USER, key.c_str(), "User", user.c_str());
    SaveProxyPassword(key.c_str(), m_manager.proxy.server.password);
}

std::wstring ProgramLogin::EventPrefix() const
{
    return m_manager.MakeEventPrefix(1);
}

std::vector<std::string> ProgramLogin::ProfileServers()
{
    std::vector<std::string> servers;
    for (const ConnectionProfile& p : m_appliance.Profiles().All())
        servers.push_back(p.server);
    return servers;
}

std::string ProgramLogin::DefaultProfileServer()
{
    ConnectionProfile p;
    ProfileStore& store = m_appliance.Profiles();
    return store.Find(store.GetDefaultName(), p) ? p.server : std::string();
}

std::wstring ProgramLogin::ProfileUser(const std::string& serverKey)
{
    ConnectionProfile p;
    return m_appliance.Profiles().FindByServer(serverKey, p) ? p.user : std::wstring();
}

std::string ProgramLogin::TrustedThumbprint(const std::string& serverKey)
{
    ConnectionProfile p;
    if (!m_appliance.Profiles().FindByServer(serverKey, p) || !p.servertrusted)
        return {};
    return p.certthumbprint;
}

void ProgramLogin::TrustCertificate(const std::string& serverKey, const std::string& subject,
                                    const std::string& sha1Hex)
{
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    m_appliance.Profiles().Trust(serverKey, subject, sha1Hex,
                                 (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
}

bool ProgramLogin::PasswordExpiryPending() const
{
    return m_manager.passwordExpired != 0;
}

void ProgramLogin::StartPasswordExpiryPrompt()
{
    m_manager.Appliance().StartPasswordExpiryPrompt(1);
}
