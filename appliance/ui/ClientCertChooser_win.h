// The client-certificate chooser (dialog 228), shown when the appliance asks
// for a client certificate during a login: it lists the certificates the
// appliance will take, else every certificate of the user's personal store,
// and the one the user picks is presented by the login sent again. Only the
// thumbprint is kept; a certificate context lives no longer than one lookup.
#pragma once

#include "appliance/cgi/CertificateRecords.h"
#include "appliance/ui/CertificateViewer_win.h"

#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

class CLogin;

// The user's personal certificates, as the chooser reads them.
class PersonalCertificates {
public:
    virtual ~PersonalCertificates() = default;
    // Every certificate with a thumbprint; false when the store cannot be opened.
    virtual bool List(std::vector<ClientCertEntry>& list) = 0;
    // The certificate with this thumbprint (the caller frees it), null when it
    // is not there; storeOpened false when the store cannot be opened.
    virtual PCCERT_CONTEXT Find(const std::string& thumbprint, bool& storeOpened) = 0;
};

// The personal store of the desktop user, the one the HTTPS requests take
// the chosen certificate from.
class UserCertificates : public PersonalCertificates {
public:
    bool List(std::vector<ClientCertEntry>& list) override;
    PCCERT_CONTEXT Find(const std::string& thumbprint, bool& storeOpened) override;
};

// Modal over owner. offered: what the appliance's request named (may be
// empty). view: the system's certificate view, null to hide View
// Certificate. Returns the thumbprint of the certificate chosen with OK, or
// "" after Cancel or when the chosen one is no longer in the store.
std::string RunClientCertChooser(HINSTANCE instance, HWND owner, const std::vector<ClientCertEntry>& offered,
                                 PersonalCertificates& store, ViewCertificateFn view);

// The login window's answer to an appliance asking for a client certificate:
// the chooser, then the login again presenting the chosen certificate; no
// choice shows why and returns to the server page.
void LoginWithClientCertificate(CLogin& login);
