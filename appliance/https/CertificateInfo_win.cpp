#include "appliance/https/CertificateInfo_win.h"

#include <schannel.h>
#include <winhttp.h>

#include <cstdio>
#include <vector>

namespace {

std::string Hex(const BYTE* data, DWORD size) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (DWORD i = 0; i < size; ++i) {
        out += kHex[data[i] >> 4];
        out += kHex[data[i] & 15];
    }
    return out;
}

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

std::string Sha1Thumbprint(PCCERT_CONTEXT cert) {
    BYTE hash[20];
    DWORD size = sizeof hash;
    if (!cert || !CertGetCertificateContextProperty(cert, CERT_SHA1_HASH_PROP_ID, hash, &size) ||
        size != sizeof hash)
        return std::string();
    return Hex(hash, size);
}

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

bool VerifiesForHost(PCCERT_CONTEXT cert, const std::string& host) {
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    if (!CertGetCertificateChain(nullptr, cert, nullptr, cert->hCertStore, &para, 0, nullptr, &chain))
        return false;
    // The chain's own status first: the SSL policy alone passes an untrusted
    // root under Wine.
    const DWORD tolerated = CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;
    if (chain->TrustStatus.dwErrorStatus & ~tolerated) {
        CertFreeCertificateChain(chain);
        return false;
    }
    std::wstring name(host.begin(), host.end());
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = &name[0];
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    bool ok = CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status) &&
              status.dwError == 0;
    CertFreeCertificateChain(chain);
    return ok;
}

PCCERT_CONTEXT FindUserCertificate(const std::string& thumbprint) {
    if (thumbprint.size() != 40) return nullptr;
    BYTE hash[20];
    for (size_t i = 0; i < 20; ++i) {
        unsigned value = 0;
        if (std::sscanf(thumbprint.c_str() + 2 * i, "%2x", &value) != 1) return nullptr;
        hash[i] = static_cast<BYTE>(value);
    }
    CertStore store(CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"MY"));
    if (!store.get()) return nullptr;
    CRYPT_HASH_BLOB blob{sizeof hash, hash};
    return CertFindCertificateInStore(store.get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                      CERT_FIND_SHA1_HASH, &blob, nullptr);
}
