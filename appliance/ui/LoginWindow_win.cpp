#include "appliance/ui/LoginWindow_win.h"

#include "appliance/cgi/CgiResult.h"
#include "appliance/cgi/LoginRequests.h"
#include "appliance/cgi/SessionRequests.h"
#include "appliance/ui/CertificateAlert_win.h"
#include "appliance/ui/ClientCertChooser_win.h"
#include "appliance/ui/LoginOutcome.h"
#include "appliance/ui/LoginPages_win.h"
#include "appliance/ui/LoginResources.h"
#include "appliance/ui/SecondFactorPages_win.h"
#include "core/base/CaptchaPage.h"
#include "core/base/DialogKeys_win.h"
#include "core/base/DHLog.h"
#include "core/base/FrameMessages.h"
#include "core/base/LoadResString.h"
#include "core/base/LogFormat.h"
#include "core/base/ServerAddress.h"
#include "core/base/TextConvert.h"
#include "core/base/ThreadMessages.h"
#include "appliance/ui/PageMessages_win.h"

#include <cstdarg>
#include <cwchar>
#include <vector>

namespace {

constexpr UINT WM_LOGIN_RETIRE_PAGES = WM_APP + 1;
constexpr uint8_t kLogCategory = DHLOG_CAT_MEETING;

const wchar_t* Str(UINT id)
{
    // One slot per id for the whole run (LoadResString keeps the text).
    static ResStringSlot slots[700];
    if (id < 4000 || id >= 4700)
        return L"";
    return LoadResString(slots[id - 4000], id);
}

} // namespace

std::wstring FormatResourceText(size_t max, const wchar_t* format, ...)
{
    std::vector<wchar_t> text(max, L'\0');
    va_list args;
    va_start(args, format);
    // The runtime's own form: %s is wide here, as in the texts.
    _vsnwprintf(text.data(), max - 1, format, args);
    va_end(args);
    text[max - 1] = L'\0';
    return text.data();
}

CLogin::CLogin(LoginContext& context)
    : CWindowFrame(context.Instance(), context.MainThreadId()), m_context(context),
      m_mailbox(std::make_shared<WorkerMailbox>())
{
}

CLogin::~CLogin()
{
    m_worker.Join(LoginWorker::kJoinMs);
    DestroyFrame();
    m_page.reset();
    m_retired.clear();
}

bool CLogin::Create()
{
    SetIcon(LoadIconW(Instance(), MAKEINTRESOURCEW(IDB_LOGIN_BACKGROUND)));
    HWND frame = CreateFrameDialog(IDD_LOGIN_FRAME, false);
    if (!frame)
        return false;
    ShowPageId(PageId::Server);
    if (m_pageId != PageId::Server)
        return false;
    ShowWindow(frame, SW_SHOW);
    return true;
}

void CLogin::SetServerText(const std::string& server)
{
    if (m_pageId == PageId::Server)
        SetDlgItemTextW(PageWindow(), IDC_SERVER_COMBO, AnsiToWide(server, kCodePageUtf8).c_str());
}

std::unique_ptr<LoginPage> CLogin::MakePage(PageId id)
{
    switch (id) {
    case PageId::Server: return MakeServerPage(*this);
    case PageId::Credentials: return MakeCredentialsPage(*this);
    case PageId::Domains: return MakeDomainPage(*this);
    case PageId::Portals: return MakePortalPage(*this);
    case PageId::Proxy: return MakeProxyPage(*this);
    case PageId::Otp: return MakeOtpPage(*this);
    case PageId::NewPin: return MakeNewPinPage(*this);
    case PageId::SystemPin: return MakeSystemPinPage(*this);
    case PageId::Passcode: return MakePasscodePage(*this);
    case PageId::NextCode: return MakeNextCodePage(*this);
    case PageId::Radius: return MakeRadiusPage(*this);
    default: return nullptr;
    }
}

void CLogin::ShowPageId(PageId id)
{
    std::unique_ptr<LoginPage> page = MakePage(id);
    if (!page || !page->Create(Window()))
        return;  // the current page stays
    // A page handler may be what asked for the switch: its object lives on
    // until the frame has handled the next message.
    if (m_page) {
        m_retired.push_back(std::move(m_page));
        PostMessageW(Window(), WM_LOGIN_RETIRE_PAGES, 0, 0);
    }
    m_page = std::move(page);
    m_pageId = id;
    SwapChildDialog(m_page->Window());
    SendMessageW(m_page->Window(), WM_SHOWWINDOW, TRUE, 0);
}

bool CLogin::OnFrameMessage(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& result)
{
    switch (msg) {
    case WM_LOGIN_RETIRE_PAGES:
        m_retired.clear();
        result = TRUE;
        return true;
    case PLM_PROFILES_CHANGED:
        if (PageWindow())
            PostMessageW(PageWindow(), PLM_PROFILES_CHANGED, wParam, lParam);
        result = TRUE;
        return true;
    case WM_COMMAND:
        // Enter in the server combo's edit box comes here (its grandparent is the page).
        if (LOWORD(wParam) == IDOK && PageWindow() && lParam == 0 && GetFocus() &&
            IsChild(PageWindow(), GetFocus())) {
            PostMessageW(PageWindow(), WM_COMMAND, IDOK, 0);
            result = TRUE;
            return true;
        }
        return false;
    default: return false;
    }
}

void CLogin::OnClose()
{
    PostMain(PLM_LOGIN_CLOSED, 0);
}

void CLogin::PostMain(UINT message, WPARAM wParam)
{
    PostThreadMessageW(MainThreadId(), message, wParam, 0);
}

void CLogin::Status(int kind, UINT id)
{
    SetStatusText(kind, Str(id));
}

void CLogin::StatusUtf8(int kind, const std::string& text)
{
    SetStatusTextUtf8(kind, text.c_str());
}

void CLogin::Log(int level, const wchar_t* text, bool prefixed)
{
    if (prefixed)
        DHLog::Instance().PrintW(kLogCategory, level, false, text, m_context.EventPrefix().c_str());
    else
        DHLog::Instance().PrintW(kLogCategory, level, false, L"%s", text);
}

bool CLogin::StartWorker(WorkerRoad road, int mode, HWND page, int control)
{
    uint8_t proxyType = 0;
    auto job = std::make_unique<WorkerJob>(m_context.MakeTransport());
    ICgiTransport* transport = job->transport.get();
    job->session = m_context.PreparedSession();
    job->session.transport = transport;
    const std::wstring prefix = m_context.EventPrefix();
    job->session.log.eventPrefix = [prefix] { return WideToAnsi(prefix, kCodePageUtf8); };
    job->road = road;
    job->mode = mode;
    job->proxyConfig = m_context.ProxySettings(proxyType);
    job->proxyType = proxyType;
    CgiSession& js = job->session;
    // A server always trusted in its profile is accepted with the stored certificate.
    const std::string trusted = m_context.TrustedThumbprint(FormatServerAddress(js.applianceHost, js.appliancePort));
    if (!trusted.empty() && !js.acceptedCert.Covers(js.applianceHost, js.appliancePort))
        js.acceptedCert = AcceptedCertificate{js.applianceHost, js.appliancePort, trusted};
    const bool accepted = js.acceptedCert.Covers(js.applianceHost, js.appliancePort);
    job->checkCertificate = !m_context.LaunchedWithSession() && !accepted;
    job->checkWhenRefused = !m_context.LaunchedWithSession() && accepted;
    ++m_generation;
    if (!m_worker.Start(std::move(job), m_mailbox, page, m_generation))
        return false;
    m_waiting = true;
    m_workerPage = page;
    m_workerControl = control;
    m_workerRoad = road;
    m_workerMode = mode;
    if (road == WorkerRoad::Guest && mode == 1) {
        EnableWindow(GetDlgItem(page, IDC_HOST), FALSE);
        SetDlgItemTextW(page, IDOK, Str(IDS_BUTTON_CANCEL));
    } else {
        EnableWindow(GetDlgItem(page, control), FALSE);
    }
    return true;
}

bool CLogin::WorkerRunning() const
{
    return m_waiting;
}

void CLogin::RestoreWorkerControls()
{
    if (!IsWindow(m_workerPage))
        return;
    if (m_workerRoad == WorkerRoad::Guest && m_workerMode == 1) {
        EnableWindow(GetDlgItem(m_workerPage, IDC_HOST), TRUE);
        SetDlgItemTextW(m_workerPage, IDOK, Str(IDS_BUTTON_JOIN));
    } else {
        EnableWindow(GetDlgItem(m_workerPage, m_workerControl), TRUE);
    }
}

void CLogin::CancelWorker()
{
    if (!m_waiting)
        return;
    ++m_generation;  // the late result is dropped
    m_waiting = false;
    RestoreWorkerControls();
}

bool CLogin::TakeWorkerResult(uint32_t generation, int& result)
{
    WorkerResult r;
    if (!m_waiting || generation != m_generation || !m_mailbox->Take(generation, r))
        return false;
    m_waiting = false;
    RestoreWorkerControls();
    result = r.result;
    if (!r.address.empty())
        m_context.SetApplianceAddress(r.address);
    if (r.session) {
        CgiSession& main = m_context.PreparedSession();
        ICgiTransport* transport = main.transport;
        CgiLog log = main.log;
        main = *r.session;
        main.transport = transport;
        main.log = log;
        m_context.TakeSessionResult();
    }
    return true;
}

namespace {

void ApplyReport(CLogin& login, const ResultReport& r)
{
    if (r.status) {
        if (r.statusFromMessage && !login.message.empty()) {
            login.StatusUtf8(r.statusKind, login.message);
        } else if (r.joinMessage) {
            wchar_t text[512];
            std::swprintf(text, 512, L"%ls %ls", Str(r.status),
                          AnsiToWide(login.message, kCodePageUtf8).c_str());
            login.SetStatusText(r.statusKind, text);
        } else {
            login.Status(r.statusKind, r.status);
        }
        if (r.statusFromMessage || r.joinMessage)
            login.message.clear();
    }
    if (r.logText) {
        if (r.logWithMinVersion) {
            const std::wstring text = FormatResourceText(
                256, Str(r.logText), AnsiToWide(kMinApplianceVersion, kCodePageUtf8).c_str());
            login.Log(r.logLevel, text.c_str(), false);
        } else {
            login.Log(r.logLevel, Str(r.logText), false);
        }
    }
    if (r.post)
        login.PostMain(r.post, r.postParam);
    if (r.tooOldBox)
        MessageBoxW(nullptr, Str(IDS_CLIENT_CANNOT_RUN_BOX), Str(IDS_LOGIN_WARNING),
                    MB_ICONEXCLAMATION | MB_TASKMODAL | MB_TOPMOST);
    if (r.captcha)
        OpenCaptchaPage(login.Context().ApplianceAddress());
    if (r.portalPage)
        login.ShowPageId(PageId::Portals);
}

} // namespace

bool CLogin::HandleCertificateResult(int result)
{
    if (result == CGI_SERVER_CERT_UNREADABLE) {
        MessageBoxW(nullptr, Str(IDS_SERVER_CERT_UNREADABLE), Str(IDS_LOGIN_WARNING), MB_ICONEXCLAMATION | MB_TOPMOST);
        return true;
    }
    if (result != CGI_BAD_PASSWORD_OR_CERT)
        return false;
    CgiSession& s = m_context.PreparedSession();
    if (!s.serverCertKnown)
        return true;
    const ServerCertDetails cert = s.serverCert;
    const AlertChoice choice =
        RunCertificateAlert(Instance(), Window(), cert, JudgeCertificate(cert, s.applianceHost));
    if (choice == AlertChoice::Cancel || !IsWindow(m_workerPage))
        return true;  // nothing sent, nothing posted; the page's buttons are back
    CgiSession& again = m_context.PreparedSession();
    again.acceptedCert = AcceptedCertificate{again.applianceHost, again.appliancePort, cert.thumbprint};
    if (choice == AlertChoice::AlwaysTrust)
        m_context.TrustCertificate(FormatServerAddress(again.applianceHost, again.appliancePort), cert.subject,
                                   cert.thumbprint);
    StartWorker(m_workerRoad, m_workerMode, m_workerPage, m_workerControl);
    return true;
}

void CLogin::ReportConnectResult(int result)
{
    message = m_context.PreparedSession().serverMessage;
    m_context.PreparedSession().serverMessage.clear();
    ApplyReport(*this, ConnectReport(result));
}

void CLogin::ReportLoginResult(int result)
{
    message = m_context.PreparedSession().serverMessage;
    m_context.PreparedSession().serverMessage.clear();
    ApplyReport(*this, GuestLoginReport(result));
}

void CLogin::LoginNow()
{
    CgiSession& s = m_context.PreparedSession();
    int result = CgiUserLogin(s);
    m_context.TakeSessionResult();
    if (result == CGI_OK) {
        CgiSessionTest(m_context.PreparedSession());
        m_context.TakeSessionResult();
    }
    ShowPage(result);
}

void CLogin::SelectDomain()
{
    CgiSession& s = m_context.PreparedSession();
    if (s.domains.size() != 1) {
        ShowPageId(PageId::Domains);
        return;
    }
    s.domain = s.domains[0].name;
    const int32_t type = s.domains[0].authType;
    s.domains.clear();
    if (type == 8)
        LoginNow();
    else
        ShowPageId(PageId::Credentials);
}

void CLogin::ShowPage(int result)
{
    CgiSession& s = m_context.PreparedSession();
    message = s.serverMessage;
    s.serverMessage.clear();
    switch (ActionForLoginResult(result, s.secondStepKind, s.tfResult)) {
    case LoginAction::ShowMeetings:
        PostMain(PLM_SHOW_ACTIVE_MEETINGS, 1);
        Log(DHLOG_INFO, Str(IDS_LOG_LOGIN_OK), true);
        break;
    case LoginAction::CredentialsPage:
        ShowPageId(PageId::Credentials);
        m_context.SetPortal("");
        s.portal.clear();
        StatusUtf8(STATUS_ERROR, message);
        message.clear();
        Log(DHLOG_ERROR, Str(IDS_LOG_LOGIN_FAILED_TEXT), false);
        break;
    case LoginAction::OtpPage: ShowPageId(PageId::Otp); break;
    case LoginAction::NewPinPage: ShowPageId(PageId::NewPin); break;
    case LoginAction::SystemPinPage: ShowPageId(PageId::SystemPin); break;
    case LoginAction::PasscodePage: ShowPageId(PageId::Passcode); break;
    case LoginAction::NextCodePage: ShowPageId(PageId::NextCode); break;
    case LoginAction::RadiusPage: ShowPageId(PageId::Radius); break;
    case LoginAction::PortalPage:
        ShowPageId(PageId::Portals);
        Log(DHLOG_INFO, Str(IDS_LOG_MULTIPLE_PORTALS), false);
        break;
    case LoginAction::PasswordExpiry:
        if (m_context.PasswordExpiryPending())
            m_context.StartPasswordExpiryPrompt();
        break;
    case LoginAction::NoPortal:
        Status(STATUS_WARNING, IDS_CANNOT_HOST);
        Log(DHLOG_WARN, Str(IDS_LOG_CANNOT_HOST), true);
        break;
    case LoginAction::GeoDenied:
        Status(STATUS_ERROR, IDS_GEOIP_DENIED);
        Log(DHLOG_ERROR, Str(IDS_GEOIP_DENIED), false);
        OpenCaptchaPage(m_context.ApplianceAddress());
        break;
    case LoginAction::StayUnknownKind: {
        const std::wstring text = FormatResourceText(256, Str(IDS_LOG_UNKNOWN_AUTH_TYPE), L"", s.secondStepKind);
        Log(DHLOG_ERROR, text.c_str(), false);
        break;
    }
    case LoginAction::StayLogicError: Log(DHLOG_ERROR, Str(IDS_LOG_LOGIC_ERROR), false); break;
    case LoginAction::StayTfaRetry: Log(DHLOG_WARN, Str(IDS_LOG_TFA_RETRY), false); break;
    case LoginAction::StayTfaReset: Log(DHLOG_WARN, Str(IDS_LOG_TFA_RESET), false); break;
    case LoginAction::StayTfaUnknown: Log(DHLOG_WARN, Str(IDS_LOG_TFA_UNKNOWN), false); break;
    case LoginAction::CertificateChooser: LoginWithClientCertificate(*this); break;
    default:
        // Any other result: back to the server page.
        m_context.ClearLoginState();
        ShowPageId(PageId::Server);
        break;
    }
}

// --- LoginPage ---

HWND LoginPage::Create(HWND frame)
{
    m_hwnd = CreateDialogParamW(m_login.Instance(), MAKEINTRESOURCEW(m_template), frame, Proc,
                                reinterpret_cast<LPARAM>(this));
    return m_hwnd;
}

INT_PTR CALLBACK LoginPage::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) {
        auto* page = reinterpret_cast<LoginPage*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
        page->m_hwnd = hwnd;
        page->OnInit();
        return FALSE;  // the page sets its own focus
    }
    auto* page = reinterpret_cast<LoginPage*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!page)
        return FALSE;
    return page->Dispatch(msg, wParam, lParam);
}

INT_PTR LoginPage::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam)
{
    INT_PTR answer = 0;
    if (AnswerPageMessage(m_hwnd, msg, wParam, answer))
        return answer;
    switch (msg) {
    case WM_PAINT: Paint(); return TRUE;
    case WM_SHOWWINDOW:
        if (wParam)
            OnShow();
        return FALSE;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED || lParam == 0) {
            OnCommand(LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    case WM_NEXTDLGCTL: return FALSE;  // the dialog manager moves the focus
    case WM_DESTROY:
        SetWindowLongPtrW(m_hwnd, GWLP_USERDATA, 0);
        return FALSE;
    default: return OnMessage(msg, wParam, lParam) ? TRUE : FALSE;
    }
}

void LoginPage::Paint()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hwnd, &ps);
    FillRect(dc, &ps.rcPaint, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    HBITMAP banner = static_cast<HBITMAP>(
        LoadImageW(m_login.Instance(), MAKEINTRESOURCEW(IDB_LOGIN_BANNER), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (banner) {
        BITMAP info{};
        GetObjectW(banner, sizeof(info), &info);
        RECT client;
        GetClientRect(m_hwnd, &client);
        HDC memory = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(memory, banner);
        const int left = (client.right - info.bmWidth) / 2;
        BitBlt(dc, left, 40, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY | CAPTUREBLT);
        SelectObject(memory, old);
        DeleteDC(memory);
        DeleteObject(banner);
    }
    EndPaint(m_hwnd, &ps);
}

void LoginPage::SetText(int control, UINT stringId)
{
    SetDlgItemTextW(m_hwnd, control, Str(stringId));
}

std::wstring LoginPage::Text(int control, size_t max) const
{
    std::wstring text(max + 1, L'\0');
    const UINT n = GetDlgItemTextW(m_hwnd, control, text.data(), static_cast<int>(max + 1));
    text.resize(n);
    return text;
}

void LoginPage::SubclassKeys(std::initializer_list<int> controls)
{
    for (int id : controls)
        InstallKeySubclass(Item(id), DlgButtonEditSubclassProc);
}
