// The security alert for an appliance certificate that did not verify: who
// issued it to whom, its validity, which of three tests failed, and the
// user's choice (go on once, always trust, give up; view the certificate).
#pragma once

#include "appliance/cgi/CertificateRecords.h"

#include <windows.h>

#include <string>

struct CertificateFindings {
    bool authorityOk = false;  // chains to a trusted root
    bool nameOk = false;       // names the host
    bool datesOk = false;      // valid now
};

// The refused certificate judged as WinHTTP would have: its chain, its name
// against the host, its dates.
CertificateFindings JudgeCertificate(const ServerCertDetails& cert, const std::string& host);

enum class AlertChoice {
    Cancel,
    Once,
    AlwaysTrust,
};

// Modal on the calling thread, owned by owner.
AlertChoice RunCertificateAlert(HINSTANCE instance, HWND owner, const ServerCertDetails& cert,
                                const CertificateFindings& verdict);

// Resource ids of the alert.
constexpr UINT kAlertDialog = 279;
constexpr int kAlertIssuer = 282;
constexpr int kAlertSubject = 283;
constexpr int kAlertFrom = 284;
constexpr int kAlertTo = 285;
constexpr int kAlertAuthorityIcon = 286;
constexpr int kAlertValidityIcon = 287;
constexpr int kAlertNameIcon = 288;
constexpr int kAlertValidityText = 289;
constexpr int kAlertAuthorityText = 290;
constexpr int kAlertNameText = 291;
constexpr int kAlertView = 292;
constexpr int kAlertAlwaysTrust = 293;
