#pragma once
// What the requests and the certificate prompts need to know of a
// certificate context.
#include <windows.h>
#include <wincrypt.h>

#include <string>

#include "appliance/cgi/CertificateRecords.h"

// SHA-1 thumbprint as 40 lower-case hex digits; "" when it cannot be read.
std::string Sha1Thumbprint(PCCERT_CONTEXT cert);
// Subject, issuer, validity, DER bytes and thumbprint.
ServerCertDetails DescribeCertificate(PCCERT_CONTEXT cert);

// The WINHTTP_CALLBACK_STATUS_FLAG_ bits of what is wrong with the
// certificate for host (0 when nothing is): unknown or untrusted authority,
// name, validity dates, revocation, usage. What WinHTTP's secure-failure
// notice says; Wine never sends that notice.
DWORD CertificateFailureFlags(PCCERT_CONTEXT cert, const std::string& host);

// The negotiated protocol's name ("TLS 1.2") from an SSPI protocol bit; ""
// for none known.
std::string ProtocolName(DWORD protocolBits);

// True when the certificate's chain verifies to a trusted root and it names
// host: what WinHTTP's own checks would have said.
bool VerifiesForHost(PCCERT_CONTEXT cert, const std::string& host);

// Owner of one certificate context.
class CertContext {
public:
    explicit CertContext(PCCERT_CONTEXT c = nullptr) : m_c(c) {}
    ~CertContext() {
        if (m_c) CertFreeCertificateContext(m_c);
    }
    CertContext(const CertContext&) = delete;
    CertContext& operator=(const CertContext&) = delete;
    PCCERT_CONTEXT get() const { return m_c; }

private:
    PCCERT_CONTEXT m_c;
};

// Owner of one certificate store.
class CertStore {
public:
    explicit CertStore(HCERTSTORE s = nullptr) : m_s(s) {}
    ~CertStore() {
        if (m_s) CertCloseStore(m_s, 0);
    }
    CertStore(const CertStore&) = delete;
    CertStore& operator=(const CertStore&) = delete;
    HCERTSTORE get() const { return m_s; }

private:
    HCERTSTORE m_s;
};

// The current user's personal certificate with this thumbprint; null if none.
PCCERT_CONTEXT FindUserCertificate(const std::string& thumbprint);
