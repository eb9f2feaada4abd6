#include "appliance/https/CertificateInfo_win.h"

#include <schannel.h>
#include <winhttp.h>

#include <cstdio>

#include "core/base/DHLog.h"
#include "core/base/ProcessList.h"
#include "core/base/Thumbprint.h"

namespace {

std::string Name(PCCERT_CONTEXT cert, DWORD flags) {
    char buf[512];
    DWORD n = CertGetNameStringA(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, flags, nullptr, buf, sizeof buf);
    return n > 1 ? std::string(buf, n - 1) : std::string();
}

// An algorithm's name ("sha256RSA", "RSA"); its OID when it has none.
std::string AlgorithmName(const char* oid) {
    if (!oid) return std::string();
    PCCRYPT_OID_INFO info = CryptFindOIDInfo(CRYPT_OID_INFO_OID_KEY, const_cast<char*>(oid), 0);
    if (!info || !info->pwszName || !*info->pwszName) return oid;
    std::string name;
    for (const wchar_t* c = info->pwszName; *c; ++c) name += *c < 0x80 ? static_cast<char>(*c) : '?';
    return name;
}

std::string Time(const FILETIME& ft) {
    SYSTEMTIME st;
    if (!FileTimeToSystemTime(&ft, &st)) return std::string();
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay,
                  st.wHour, st.wMinute, st.wSecond);
    return buf;
}

}  // namespace

ServerCertDetails DescribeCertificate(PCCERT_CONTEXT cert) {
    ServerCertDetails d;
    d.subject = Name(cert, 0);
    d.issuer = Name(cert, CERT_NAME_ISSUER_FLAG);
    d.notBefore = Time(cert->pCertInfo->NotBefore);
    d.notAfter = Time(cert->pCertInfo->NotAfter);
    d.signatureAlgorithm = AlgorithmName(cert->pCertInfo->SignatureAlgorithm.pszObjId);
    d.encryptionAlgorithm = AlgorithmName(cert->pCertInfo->SubjectPublicKeyInfo.Algorithm.pszObjId);
    d.keySize = CertGetPublicKeyLength(X509_ASN_ENCODING, &cert->pCertInfo->SubjectPublicKeyInfo);
    d.der.assign(cert->pbCertEncoded, cert->pbCertEncoded + cert->cbCertEncoded);
    d.thumbprint = Sha1Thumbprint(cert);
    return d;
}

HCERTSTORE OpenShellUserStore() {
    // The impersonation covers this thread only and ends before the function
    // does, on every path (the CProcessList reverts it when it goes out of
    // scope); the open store stays the shell user's.
    CProcessList shell;
    const bool asShellUser = shell.ImpersonateExplorerUser() == 1;
    if (!asShellUser)
        DHLog::Instance().Print(DHLOG_CAT_STARTUP, DHLOG_WARN, false,
                                "No desktop shell to impersonate; opening this process user's certificates.\n");
    HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY");
    if (asShellUser) shell.RevertImpersonation();
    return store;
}

DWORD CertificateFailureFlags(PCCERT_CONTEXT cert, const std::string& host) {
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    if (!cert || !CertGetCertificateChain(nullptr, cert, nullptr, cert->hCertStore, &para, 0, nullptr, &chain))
        return WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CERT;
    const DWORD status = chain->TrustStatus.dwErrorStatus;
    DWORD flags = 0;
    if (status & (CERT_TRUST_IS_UNTRUSTED_ROOT | CERT_TRUST_IS_PARTIAL_CHAIN | CERT_TRUST_IS_CYCLIC))
        flags |= WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CA;
    if (status & CERT_TRUST_IS_NOT_TIME_VALID) flags |= WINHTTP_CALLBACK_STATUS_FLAG_CERT_DATE_INVALID;
    if (status & CERT_TRUST_IS_REVOKED) flags |= WINHTTP_CALLBACK_STATUS_FLAG_CERT_REVOKED;
    if (status & CERT_TRUST_IS_NOT_VALID_FOR_USAGE) flags |= WINHTTP_CALLBACK_STATUS_FLAG_CERT_WRONG_USAGE;
    if (status & (CERT_TRUST_IS_NOT_SIGNATURE_VALID | CERT_TRUST_INVALID_EXTENSION))
        flags |= WINHTTP_CALLBACK_STATUS_FLAG_INVALID_CERT;
    // The name on its own: the SSL policy told to overlook authority and dates.
    std::wstring name(host.begin(), host.end());
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    const DWORD kIgnoreRevocation = 0x80;
    ssl.fdwChecks = SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID |
                    SECURITY_FLAG_IGNORE_CERT_WRONG_USAGE | kIgnoreRevocation;
    ssl.pwszServerName = &name[0];
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.dwFlags = CERT_CHAIN_POLICY_ALLOW_UNKNOWN_CA_FLAG | CERT_CHAIN_POLICY_IGNORE_ALL_NOT_TIME_VALID_FLAGS;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS result{};
    result.cbSize = sizeof result;
    if (CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &result) &&
        result.dwError == static_cast<DWORD>(CERT_E_CN_NO_MATCH))
        flags |= WINHTTP_CALLBACK_STATUS_FLAG_CERT_CN_INVALID;
    CertFreeCertificateChain(chain);
    return flags;
}

std::string ProtocolName(DWORD protocolBits) {
    struct Name { DWORD bits; const char* name; };
    static const Name kNames[] = {
        {SP_PROT_TLS1_3_CLIENT | SP_PROT_TLS1_3_SERVER, "TLS 1.3"},
        {SP_PROT_TLS1_2_CLIENT | SP_PROT_TLS1_2_SERVER, "TLS 1.2"},
        {SP_PROT_TLS1_1_CLIENT | SP_PROT_TLS1_1_SERVER, "TLS 1.1"},
        {SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_0_SERVER, "TLS 1.0"},
        {SP_PROT_SSL3_CLIENT | SP_PROT_SSL3_SERVER, "SSL 3.0"},
    };
    for (const Name& n : kNames)
        if (protocolBits & n.bits) return n.name;
    return std::string();
}

bool ListUserCertificates(std::vector<ClientCertEntry>& list) {
    CertStore store(OpenShellUserStore());
    if (!store.get()) return false;
    list.clear();
    PCCERT_CONTEXT cert = nullptr;
    while ((cert = CertEnumCertificatesInStore(store.get(), cert)) != nullptr) {
        ServerCertDetails d = DescribeCertificate(cert);
        if (!d.thumbprint.empty()) list.push_back({d.subject, d.issuer, d.thumbprint});
    }
    return true;
}

PCCERT_CONTEXT FindUserCertificate(const std::string& thumbprint, bool* storeOpened) {
    if (storeOpened) *storeOpened = false;
    uint8_t hash[kSha1Size];
    CertStore store(OpenShellUserStore());
    if (!store.get()) return nullptr;
    if (storeOpened) *storeOpened = true;
    if (!ParseThumbprint(thumbprint, hash)) return nullptr;
    CRYPT_HASH_BLOB blob{sizeof hash, hash};
    // The context keeps the store open for as long as it lives.
    return CertFindCertificateInStore(store.get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                      CERT_FIND_SHA1_HASH, &blob, nullptr);
}
