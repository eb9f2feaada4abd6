#include "appliance/ui/CertificateAlert_win.h"

#include "appliance/https/CertificateInfo_win.h"
#include "appliance/ui/CertificateText.h"
#include "appliance/ui/CertificateViewer_win.h"
#include "appliance/ui/LoginResources.h"
#include "core/base/LoadResString.h"
#include "core/base/ServerAddress.h"
#include "core/base/TextConvert.h"

namespace {

// The SSL policy's "overlook" bits (wininet's values).
constexpr DWORD kIgnoreUnknownCa = 0x00000100;
constexpr DWORD kIgnoreDateInvalid = 0x00002000;

const wchar_t* Text(UINT id)
{
    static ResStringSlot slots[64];
    if (id < 4534 || id >= 4534 + 64)
        return L"";
    return LoadResString(slots[id - 4534], id);
}

// A context made from the refused certificate's bytes; null when they do not parse.
PCCERT_CONTEXT ContextOf(const ServerCertDetails& cert)
{
    if (cert.der.empty())
        return nullptr;
    return CertCreateCertificateContext(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, cert.der.data(),
                                        static_cast<DWORD>(cert.der.size()));
}

struct AlertState {
    const ServerCertDetails* cert;
    const CertificateFindings* verdict;
    HINSTANCE instance;
    HICON passed = nullptr;
    HICON failed = nullptr;
};

void SetLine(HWND dlg, const AlertState& s, int icon, int text, bool ok, UINT passText, UINT failText)
{
    HWND iconWindow = GetDlgItem(dlg, icon);
    SendMessageW(iconWindow, STM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(ok ? s.passed : s.failed));
    RECT r;
    GetWindowRect(iconWindow, &r);
    MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&r), 2);
    SetWindowPos(iconWindow, nullptr, r.left, r.top, 16, 16, SWP_NOZORDER | SWP_NOACTIVATE);
    SetDlgItemTextW(dlg, text, Text(ok ? passText : failText));
}

void OnInit(HWND dlg, AlertState& s)
{
    HICON app = static_cast<HICON>(LoadImageW(s.instance, MAKEINTRESOURCEW(IDI_LOGIN_APP), IMAGE_ICON, 32, 32, 0));
    HICON small = static_cast<HICON>(LoadImageW(s.instance, MAKEINTRESOURCEW(IDI_LOGIN_APP), IMAGE_ICON, 16, 16, 0));
    SendMessageW(dlg, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(app));
    SendMessageW(dlg, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    SetWindowTextW(dlg, Text(IDS_ALERT_TITLE));
    const struct {
        int control;
        UINT text;
    } labels[] = {{1195, IDS_ALERT_PROBLEM}, {1196, IDS_ALERT_ISSUED_BY}, {1197, IDS_ALERT_ISSUED_TO},
                  {1198, IDS_ALERT_VALID_FROM}, {1199, IDS_ALERT_VALID_TO}, {1200, IDS_ALERT_PROCEED},
                  {kAlertAlwaysTrust, IDS_ALERT_ALWAYS_TRUST}, {kAlertView, IDS_ALERT_VIEW}};
    for (const auto& l : labels)
        SetDlgItemTextW(dlg, l.control, Text(l.text));
    s.passed = static_cast<HICON>(LoadImageW(s.instance, MAKEINTRESOURCEW(IDI_ALERT_PASSED), IMAGE_ICON, 16, 16, 0));
    s.failed = static_cast<HICON>(LoadImageW(s.instance, MAKEINTRESOURCEW(IDI_ALERT_FAILED), IMAGE_ICON, 16, 16, 0));
    const CertificateFindings& v = *s.verdict;
    SetLine(dlg, s, kAlertValidityIcon, kAlertValidityText, v.datesOk, IDS_ALERT_DATES_OK, IDS_ALERT_DATES_BAD);
    SetLine(dlg, s, kAlertNameIcon, kAlertNameText, v.nameOk, IDS_ALERT_NAME_OK, IDS_ALERT_NAME_BAD);
    SetLine(dlg, s, kAlertAuthorityIcon, kAlertAuthorityText, v.authorityOk, IDS_ALERT_AUTHORITY_OK,
            IDS_ALERT_AUTHORITY_BAD);
    auto set = [&](int control, const std::string& utf8) {
        SetDlgItemTextW(dlg, control, AnsiToWide(utf8, kCodePageUtf8).c_str());
    };
    set(kAlertIssuer, AfterFirstLineFeed(s.cert->issuer));
    set(kAlertSubject, AfterFirstLineFeed(s.cert->subject));
    set(kAlertFrom, AlertDate(s.cert->notBefore));
    set(kAlertTo, AlertDate(s.cert->notAfter));
    SetForegroundWindow(dlg);
}

void ViewCertificate(HWND dlg, const AlertState& s)
{
    CertContext context(ContextOf(*s.cert));
    ShowCertificate(SystemCertificateViewer(), dlg, context.get());
}

INT_PTR CALLBACK AlertProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto* s = reinterpret_cast<AlertState*>(GetWindowLongPtrW(dlg, GWLP_USERDATA));
    switch (msg) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dlg, GWLP_USERDATA, lParam);
        OnInit(dlg, *reinterpret_cast<AlertState*>(lParam));
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK: EndDialog(dlg, static_cast<INT_PTR>(AlertChoice::Once)); return TRUE;
        case IDCANCEL: EndDialog(dlg, static_cast<INT_PTR>(AlertChoice::Cancel)); return TRUE;
        case kAlertAlwaysTrust: EndDialog(dlg, static_cast<INT_PTR>(AlertChoice::AlwaysTrust)); return TRUE;
        case kAlertView:
            if (s)
                ViewCertificate(dlg, *s);
            return TRUE;
        default: return FALSE;
        }
    default: return FALSE;
    }
}

} // namespace

CertificateFindings JudgeCertificate(const ServerCertDetails& cert, const std::string& host)
{
    CertificateFindings v;
    CertContext context(ContextOf(cert));
    if (!context.get())
        return v;
    v.datesOk = CertVerifyTimeValidity(nullptr, context.get()->pCertInfo) == 0;

    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof(para);
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    if (!CertGetCertificateChain(nullptr, context.get(), nullptr, nullptr, &para, 0, nullptr, &chain))
        return v;
    // Dates are their own line; revocation cannot be known offline.
    const DWORD notAuthority = CERT_TRUST_IS_NOT_TIME_VALID | CERT_TRUST_IS_NOT_TIME_NESTED |
                               CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;
    v.authorityOk = (chain->TrustStatus.dwErrorStatus & ~notAuthority) == 0;

    // The name alone: the SSL policy told to overlook the authority and dates.
    std::wstring name = AnsiToWide(UnbracketedHost(host), kCodePageUtf8);
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof(ssl);
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.fdwChecks = kIgnoreUnknownCa | kIgnoreDateInvalid;
    ssl.pwszServerName = name.data();
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof(policy);
    policy.dwFlags = CERT_CHAIN_POLICY_IGNORE_ALL_NOT_TIME_VALID_FLAGS | CERT_CHAIN_POLICY_ALLOW_UNKNOWN_CA_FLAG;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof(status);
    if (CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &status))
        v.nameOk = status.dwError != static_cast<DWORD>(CERT_E_CN_NO_MATCH);
    CertFreeCertificateChain(chain);
    return v;
}

AlertChoice RunCertificateAlert(HINSTANCE instance, HWND owner, const ServerCertDetails& cert,
                                const CertificateFindings& verdict)
{
    AlertState state{&cert, &verdict, instance};
    const INT_PTR r = DialogBoxParamW(instance, MAKEINTRESOURCEW(kAlertDialog), owner, AlertProc,
                                      reinterpret_cast<LPARAM>(&state));
    if (state.passed)
        DestroyIcon(state.passed);
    if (state.failed)
        DestroyIcon(state.failed);
    if (r == static_cast<INT_PTR>(AlertChoice::Once) || r == static_cast<INT_PTR>(AlertChoice::AlwaysTrust))
        return static_cast<AlertChoice>(r);
    return AlertChoice::Cancel;
}
