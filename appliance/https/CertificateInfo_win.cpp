#include "appliance/https/CertificateInfo_win.h"

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
    d.signatureAlgorithm = cert->pCertInfo->SignatureAlgorithm.pszObjId
                               ? cert->pCertInfo->SignatureAlgorithm.pszObjId
                               : "";
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

PCCERT_CONTEXT FindUserCertificate(const std::string& thumbprint) {
    uint8_t hash[kSha1Size];
    if (!ParseThumbprint(thumbprint, hash)) return nullptr;
    CertStore store(OpenShellUserStore());
    if (!store.get()) return nullptr;
    CRYPT_HASH_BLOB blob{sizeof hash, hash};
    // The context keeps the store open for as long as it lives.
    return CertFindCertificateInStore(store.get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                      CERT_FIND_SHA1_HASH, &blob, nullptr);
}
