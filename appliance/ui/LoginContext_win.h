// What the login window needs of the program: the module and main thread,
// the request session with the program's login fields, the appliance's
// address and proxy, the connection profiles and the password-expiry prompt.
// The program implements it; tests may too.
#pragma once

#include "appliance/cgi/CgiSession.h"
#include "appliance/cgi/CgiTransport.h"
#include "appliance/cgi/ProxyConfig.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

class LoginContext {
public:
    virtual ~LoginContext() = default;

    virtual HINSTANCE Instance() const = 0;
    virtual DWORD MainThreadId() const = 0;

    // The request session with the program's fields put in, for a request
    // made on the GUI thread.
    virtual CgiSession& PreparedSession() = 0;
    // After a request or a worker's result: what the session learnt (its
    // session id) back into the program's fields.
    virtual void TakeSessionResult() = 0;
    // A transport of its own for a worker thread.
    virtual std::unique_ptr<ICgiTransport> MakeTransport() = 0;

    virtual void SetServer(const std::string& host, uint16_t port) = 0;
    virtual std::string ApplianceAddress() const = 0;
    virtual void SetApplianceAddress(const std::string& address) = 0;
    virtual void SetDisplayName(const std::wstring& name) = 0;
    virtual void SetPortal(const std::string& portal) = 0;
    // The program's and the session's login fields back to their state before
    // a login attempt (host, port and proxy credentials stay).
    virtual void ClearLoginState() = 0;
    // Started from a link with a session (launch modes 1-3): no certificate check.
    virtual bool LaunchedWithSession() const = 0;
    virtual ProxyConfig ProxySettings(uint8_t& proxyType) const = 0;
    // Proxy credentials typed by the user: kept and written to the settings.
    virtual void SetProxyCredentials(const std::string& user, const std::string& password) = 0;
    // Role and display name for log lines.
    virtual std::wstring EventPrefix() const = 0;

    // Connection profiles: every server in store order, the default one's, and
    // the user name stored for a server key ("host:port").
    virtual std::vector<std::string> ProfileServers() = 0;
    virtual std::string DefaultProfileServer() = 0;
    virtual std::wstring ProfileUser(const std::string& serverKey) = 0;
    // SHA-1 of the appliance certificate the user chose to always trust for
    // that server; empty when none.
    virtual std::string TrustedThumbprint(const std::string& serverKey) = 0;
    // Always Trust: the server's profile (found or made) keeps the certificate.
    virtual void TrustCertificate(const std::string& serverKey, const std::string& subject,
                                  const std::string& sha1Hex) = 0;

    virtual bool PasswordExpiryPending() const = 0;
    virtual void StartPasswordExpiryPrompt() = 0;
};
