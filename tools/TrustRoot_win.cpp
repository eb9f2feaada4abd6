#include "tools/TrustRoot_win.h"

#include <windows.h>
#include <wincrypt.h>

unsigned long TrustRootCertificate(const void* der, size_t size)
{
    if (!der || size == 0 || size > 0xFFFFFFFFu)
        return ERROR_INVALID_PARAMETER;
    // The store opened this way persists its additions (CertOpenSystemStore's
    // does not under Wine).
    HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
    if (!root)
        return GetLastError();
    unsigned long error = 0;
    if (!CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, static_cast<const BYTE*>(der),
                                          static_cast<DWORD>(size), CERT_STORE_ADD_REPLACE_EXISTING, nullptr))
        error = GetLastError();
    CertCloseStore(root, 0);
    return error ? error : 0;
}
