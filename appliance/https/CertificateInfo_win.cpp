#include "appliance/https/CertificateInfo_win.h"

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
    d.signatureAlgorithm = cert->pCertInfo->SignatureAlgorithm.pszObjId
                               ? cert->pCertInfo->SignatureAlgorithm.pszObjId
                               : "";
    d.keySize = CertGetPublicKeyLength(X509_ASN_ENCODING, &cert->pCertInfo->SubjectPublicKeyInfo);
    d.der.assign(cert->pbCertEncoded, cert->pbCertEncoded + cert->cbCertEncoded);
    d.thumbprint = Sha1Thumbprint(cert);
    return d;
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
