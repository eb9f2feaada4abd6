#pragma once
// The one check of the appliance's certificate, made by the HTTPS requests
// and the tunnels alike: the certificate is trusted when its chain verifies
// to a trusted root for server use and it names the host, or when it is the
// one the user accepted for that host and port.
#include "core/base/AcceptedCertificate.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstdint>
#include <string>

// Owner of one certificate context.
class CertContext {
public:
    explicit CertContext(PCCERT_CONTEXT c = nullptr) : m_c(c) {}
    ~CertContext()
    {
        if (m_c)
            CertFreeCertificateContext(m_c);
    }
    CertContext(const CertContext&) = delete;
    CertContext& operator=(const CertContext&) = delete;
    PCCERT_CONTEXT get() const { return m_c; }
    PCCERT_CONTEXT release()
    {
        PCCERT_CONTEXT c = m_c;
        m_c = nullptr;
        return c;
    }

private:
    PCCERT_CONTEXT m_c;
};

// Owner of one certificate store.
class CertStore {
public:
    explicit CertStore(HCERTSTORE s = nullptr) : m_s(s) {}
    ~CertStore()
    {
        if (m_s)
            CertCloseStore(m_s, 0);
    }
    CertStore(const CertStore&) = delete;
    CertStore& operator=(const CertStore&) = delete;
    HCERTSTORE get() const { return m_s; }

private:
    HCERTSTORE m_s;
};

// SHA-1 thumbprint as 40 lower-case hex digits; "" when it cannot be read.
std::string Sha1Thumbprint(PCCERT_CONTEXT cert);

// The chain's own trust status is clean (no untrusted root, partial chain,
// expiry or wrong usage) and the SSL policy passes for host. The status comes
// first: Wine's SSL policy passes a chain that ends at a root nobody trusts.
// why, when given, gets the reason of a refusal.
bool ChainVerifiesForHost(PCCERT_CONTEXT cert, const std::string& host, std::string* why = nullptr);

enum class CertificateVerdict { Verified, Accepted, Refused };

// Verified when the chain verifies for host; else Accepted when accepted
// covers host:port and names this certificate; else Refused (why says why).
CertificateVerdict VerifyServerCertificate(PCCERT_CONTEXT cert, const std::string& host, uint16_t port,
                                           const AcceptedCertificate& accepted, std::string* why = nullptr);
