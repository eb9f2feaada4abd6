#include "core/base/CertificateVerifier_win.h"

#include "core/base/Thumbprint.h"

#include <cstdio>

namespace {

// Errors of the revocation check, which is not asked for: a missing answer
// is no reason to refuse.
constexpr DWORD kToleratedChainErrors = CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;

class ChainContext {
public:
    ChainContext() = default;
    ~ChainContext()
    {
        if (m_chain)
            CertFreeCertificateChain(m_chain);
    }
    ChainContext(const ChainContext&) = delete;
    ChainContext& operator=(const ChainContext&) = delete;
    PCCERT_CHAIN_CONTEXT* out() { return &m_chain; }
    PCCERT_CHAIN_CONTEXT get() const { return m_chain; }

private:
    PCCERT_CHAIN_CONTEXT m_chain = nullptr;
};

std::wstring WidenAscii(const std::string& s)
{
    // Host names are ASCII (IDNs arrive in their punycode form).
    std::wstring w;
    for (char c : s)
        w += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return w;
}

std::string Code(DWORD value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
    return text;
}

void Say(std::string* why, const std::string& text)
{
    if (why)
        *why = text;
}

} // namespace

std::string Sha1Thumbprint(PCCERT_CONTEXT cert)
{
    uint8_t hash[kSha1Size];
    DWORD size = sizeof hash;
    if (!cert || !CertGetCertificateContextProperty(cert, CERT_SHA1_HASH_PROP_ID, hash, &size) ||
        size != sizeof hash)
        return std::string();
    return ThumbprintHex(hash);
}

bool ChainVerifiesForHost(PCCERT_CONTEXT cert, const std::string& host, std::string* why)
{
    if (!cert) {
        Say(why, "no certificate");
        return false;
    }
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
    LPSTR usages[] = {serverAuth};
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    para.RequestedUsage.Usage.cUsageIdentifier = 1;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    ChainContext chain;
    // The certificate's own store holds the intermediates the server sent.
    if (!CertGetCertificateChain(nullptr, cert, nullptr, cert->hCertStore, &para, 0, nullptr, chain.out()) ||
        !chain.get()) {
        Say(why, "no chain");
        return false;
    }
    DWORD chainErrors = chain.get()->TrustStatus.dwErrorStatus & ~kToleratedChainErrors;
    if (chainErrors != 0) {
        Say(why, "chain not trusted (" + Code(chainErrors) + ")");
        return false;
    }
    std::wstring name = WidenAscii(host);
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = &name[0];
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policy, &status)) {
        Say(why, "policy not checked");
        return false;
    }
    if (status.dwError != 0) {
        Say(why, "chain or name not verified (" + Code(status.dwError) + ")");
        return false;
    }
    return true;
}

CertificateVerdict VerifyServerCertificate(PCCERT_CONTEXT cert, const std::string& host, uint16_t port,
                                           const AcceptedCertificate& accepted, std::string* why)
{
    if (ChainVerifiesForHost(cert, host, why))
        return CertificateVerdict::Verified;
    if (cert && accepted.Accepts(host, port, Sha1Thumbprint(cert)))
        return CertificateVerdict::Accepted;
    return CertificateVerdict::Refused;
}
