#pragma once
// What the requests and the certificate prompts need to know of a
// certificate context, and the desktop user's personal certificates.
#include <windows.h>
#include <wincrypt.h>

#include <string>
#include <vector>

#include "appliance/cgi/CertificateRecords.h"
#include "core/base/CertificateVerifier_win.h"

// Subject, issuer, validity, DER bytes and thumbprint.
ServerCertDetails DescribeCertificate(PCCERT_CONTEXT cert);

// The personal store ("MY") of the desktop shell's user: opened while this
// thread impersonates that user, then the thread's own identity is back. When
// no shell runs in this session, this process user's store, with a log line.
// Null when the store cannot be opened.
HCERTSTORE OpenShellUserStore();

// The WINHTTP_CALLBACK_STATUS_FLAG_ bits of what is wrong with the
// certificate for host (0 when nothing is): unknown or untrusted authority,
// name, validity dates, revocation, usage. What WinHTTP's secure-failure
// notice says; Wine never sends that notice.
DWORD CertificateFailureFlags(PCCERT_CONTEXT cert, const std::string& host);

// The negotiated protocol's name ("TLS 1.2") from an SSPI protocol bit; ""
// for none known.
std::string ProtocolName(DWORD protocolBits);

// Every certificate of OpenShellUserStore with a readable thumbprint, in the
// store's order, into list (replaced); false when the store cannot be opened.
bool ListUserCertificates(std::vector<ClientCertEntry>& list);

// The certificate with this thumbprint from OpenShellUserStore, the store the
// certificate list was read from; null if none. storeOpened, when given, tells
// a store that could not be opened from a certificate that is not there.
PCCERT_CONTEXT FindUserCertificate(const std::string& thumbprint, bool* storeOpened = nullptr);
