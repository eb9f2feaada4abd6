#include "appliance/ui/LoginPages_win.h"

#include "appliance/cgi/CgiResult.h"
#include "appliance/cgi/LoginRequests.h"
#include "appliance/ui/HostPort.h"
#include "appliance/ui/LoginResources.h"
#include "appliance/ui/LoginWindow_win.h"
#include "core/base/SecureZero.h"
#include "core/base/DialogKeys_win.h"
#include "core/base/LoadResString.h"
#include "core/base/ServerAddress.h"
#include "core/base/SessionUserName.h"
#include "core/base/StoredSecret.h"
#include "core/base/TextConvert.h"
#include "core/base/ThreadMessages.h"

#include <cwchar>
#include <vector>

s_mem StoreSecret(const std::wstring& typed)
{
    std::string plain = WideToAnsi(typed, kCodePageUtf8);
    std::vector<char> buffer(plain.begin(), plain.end());
    buffer.push_back('\0');
    s_mem stored;
    EncryptStoredString(buffer.data(), stored);
    SecureWipe(buffer);
    SecureWipe(plain);
    return stored;
}

namespace {

constexpr size_t kFieldMax = 127;

void FillServerCombo(CLogin& login, HWND combo)
{
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (const std::string& server : login.Context().ProfileServers())
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(AnsiToWide(server, kCodePageUtf8).c_str()));
    const std::string def = login.Context().DefaultProfileServer();
    if (!def.empty())
        SetWindowTextW(combo, AnsiToWide(def, kCodePageUtf8).c_str());
}

class ServerPage : public LoginPage {
public:
    explicit ServerPage(CLogin& l) : LoginPage(l, PageId::Server, IDD_LOGIN_SERVER) {}

protected:
    void OnInit() override
    {
        m_login.Status(STATUS_NORMAL, IDS_SERVER_PROMPT);
        m_login.Context().ClearLoginState();
        FillServerCombo(m_login, Item(IDC_SERVER_COMBO));
        SetText(IDC_SERVER_LABEL, IDS_SERVER_LABEL);
        SetText(IDC_HOST, IDS_BUTTON_HOST);
        SetText(IDOK, IDS_BUTTON_JOIN);
        SendMessageW(Item(IDC_SERVER_COMBO), CB_LIMITTEXT, kFieldMax, 0);
        SubclassKeys({IDC_HOST, IDOK});
        COMBOBOXINFO info{};
        info.cbSize = sizeof(info);
        if (GetComboBoxInfo(Item(IDC_SERVER_COMBO), &info))
            InstallKeySubclass(info.hwndItem, EnterTabSubclassProc);
        SetFocus(Item(IDC_SERVER_COMBO));
    }
    void OnCommand(int id) override
    {
        if (id == IDC_HOST)
            OnHost();
        else if (id == IDOK)
            OnJoin();
    }
    bool OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        uint32_t generation = static_cast<uint32_t>(lParam);
        int result = 0;
        switch (msg) {
        case WM_CONNECT_RESULT:
            if (!m_login.TakeWorkerResult(generation, result) || m_login.HandleCertificateResult(result))
                return true;
            m_login.ReportConnectResult(result);
            if (result == CGI_PROXY_AUTH_REQUIRED)
                m_login.ShowPageId(PageId::Proxy);
            else if (result == CGI_OK)
                m_login.SelectDomain();
            return true;
        case WM_LOGIN_RESULT:
            if (!m_login.TakeWorkerResult(generation, result) || m_login.HandleCertificateResult(result))
                return true;
            m_login.ReportLoginResult(result);
            if (result == CGI_PROXY_AUTH_REQUIRED)
                m_login.ShowPageId(PageId::Proxy);
            return true;
        case PLM_PROFILES_CHANGED: FillServerCombo(m_login, Item(IDC_SERVER_COMBO)); return true;
        case WM_SETCURSOR:
            if (m_login.WorkerRunning()) {
                SetCursor(LoadCursorW(nullptr, IDC_WAIT));
                SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT, TRUE);
                return true;
            }
            return false;
        default: (void)wParam; return false;
        }
    }

private:
    // The server text into the program's host and port; false when empty.
    bool TakeServer()
    {
        const std::wstring text = Text(IDC_SERVER_COMBO, kFieldMax);
        if (text.empty()) {
            m_login.Status(STATUS_ERROR, IDS_SERVER_EMPTY);
            return false;
        }
        const HostPort hp = SplitHostPort(WideToAnsi(text, kCodePageUtf8));
        m_login.Context().SetServer(hp.host, hp.port);
        return !hp.host.empty();
    }
    void OnHost()
    {
        m_login.hostMode = 1;
        if (TakeServer())
            m_login.StartWorker(WorkerRoad::Connect, 2, m_hwnd, IDC_HOST);
    }
    void OnJoin()
    {
        if (m_login.WorkerRunning()) {
            m_login.CancelWorker();
            return;
        }
        m_login.hostMode = 0;
        if (!TakeServer())
            return;
        std::wstring name;
        GetSessionUserName(name);
        m_login.Context().SetDisplayName(name);
        m_login.StartWorker(WorkerRoad::Guest, 1, m_hwnd, IDOK);
    }
};

class CredentialsPage : public LoginPage {
public:
    explicit CredentialsPage(CLogin& l) : LoginPage(l, PageId::Credentials, IDD_LOGIN_CREDENTIALS) {}

protected:
    void OnInit() override
    {
        SetText(IDC_NAME_LABEL, IDS_NAME_LABEL);
        SetText(IDC_PASSWORD_LABEL, IDS_PASSWORD_LABEL);
        SetText(IDOK, IDS_BUTTON_LOGIN);
        SetText(IDCANCEL, IDS_BUTTON_CANCEL);
        SendMessageW(Item(IDC_NAME), EM_LIMITTEXT, 128, 0);
        SendMessageW(Item(IDC_PASSWORD), EM_LIMITTEXT, 128, 0);
        SubclassKeys({IDC_NAME, IDC_PASSWORD, IDOK, IDCANCEL});
        const CgiSession& s = m_login.Context().PreparedSession();
        const std::wstring user = m_login.Context().ProfileUser(FormatServerAddress(s.applianceHost, s.appliancePort));
        if (!user.empty())
            SetDlgItemTextW(m_hwnd, IDC_NAME, user.c_str());
        SetFocus(Item(IDC_NAME));
    }
    void OnShow() override { m_login.Status(STATUS_NORMAL, IDS_CREDENTIALS_PROMPT); }
    void OnCommand(int id) override
    {
        if (id == IDOK)
            OnLogin();
        else if (id == IDCANCEL)
            OnCancel();
    }

private:
    void OnLogin()
    {
        const std::wstring name = Text(IDC_NAME, kFieldMax);
        std::wstring password = Text(IDC_PASSWORD, kFieldMax);
        if (name.empty() && password.empty()) {
            m_login.Status(STATUS_ERROR, IDS_CREDENTIALS_EMPTY);
            return;
        }
        LoginContext& c = m_login.Context();
        c.SetDisplayName(name);
        CgiSession& s = c.PreparedSession();
        s.password = StoreSecret(password);
        SecureWipe(password);
        int result = CgiUserLogin(s);
        c.TakeSessionResult();
        if (result == CGI_SESSION_EXISTS) {
            static ResStringSlot text, caption;
            const std::wstring question = FormatResourceText(1024, LoadResString(text, IDS_SESSION_EXISTS), name.c_str(),
                                                             AnsiToWide(s.domain, kCodePageUtf8).c_str());
            if (MessageBoxExW(nullptr, question.c_str(), LoadResString(caption, IDS_LOGIN_WARNING), MB_OKCANCEL, 0) !=
                IDOK) {
                c.PreparedSession().pendingId.clear();
                return;
            }
            result = CgiUserLogin(c.PreparedSession());
            c.TakeSessionResult();
            c.PreparedSession().pendingId.clear();
        }
        m_login.ShowPage(result);
    }
    void OnCancel()
    {
        m_login.Context().ClearLoginState();
        m_login.ShowPageId(PageId::Server);
    }
};

// The domain and portal pages: a list to choose from.
class ChooserPage : public LoginPage {
public:
    ChooserPage(CLogin& l, PageId id, UINT templ, int label, UINT labelText, int list, UINT prompt)
        : LoginPage(l, id, templ), m_label(label), m_labelText(labelText), m_list(list), m_prompt(prompt)
    {
    }

protected:
    void OnInit() override
    {
        m_login.Status(STATUS_NORMAL, m_prompt);
        SetText(m_label, m_labelText);
        SetText(IDOK, IDS_BUTTON_OK);
        SetText(IDCANCEL, IDS_BUTTON_CANCEL);
        SubclassKeys({IDOK, IDCANCEL});
    }
    void OnShow() override
    {
        HWND list = Item(m_list);
        SendMessageW(list, CB_RESETCONTENT, 0, 0);
        for (const std::string& entry : Entries())
            SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(AnsiToWide(entry, kCodePageUtf8).c_str()));
        const std::string chosen = Chosen();
        LRESULT index = chosen.empty() ? CB_ERR
                                       : SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                                      reinterpret_cast<LPARAM>(AnsiToWide(chosen, kCodePageUtf8).c_str()));
        SendMessageW(list, CB_SETCURSEL, index == CB_ERR ? 0 : index, 0);
        SetFocus(list);
    }
    void OnCommand(int id) override
    {
        if (id == IDCANCEL) {
            m_login.Context().ClearLoginState();
            m_login.ShowPageId(PageId::Server);
            return;
        }
        if (id != IDOK)
            return;
        const LRESULT index = SendMessageW(Item(m_list), CB_GETCURSEL, 0, 0);
        if (index == CB_ERR)
            return;
        Choose(static_cast<size_t>(index));
    }
    virtual std::vector<std::string> Entries() = 0;
    virtual std::string Chosen() = 0;
    virtual void Choose(size_t index) = 0;

private:
    int m_label;
    UINT m_labelText;
    int m_list;
    UINT m_prompt;
};

class DomainPage : public ChooserPage {
public:
    explicit DomainPage(CLogin& l)
        : ChooserPage(l, PageId::Domains, IDD_LOGIN_DOMAINS, IDC_DOMAINS_LABEL, IDS_DOMAINS_LABEL, IDC_DOMAINS,
                      IDS_DOMAIN_PROMPT)
    {
    }

protected:
    std::vector<std::string> Entries() override
    {
        std::vector<std::string> names;
        for (const DomainEntry& d : m_login.Context().PreparedSession().domains)
            names.push_back(d.name);
        return names;
    }
    std::string Chosen() override { return m_login.Context().PreparedSession().domain; }
    void Choose(size_t index) override
    {
        CgiSession& s = m_login.Context().PreparedSession();
        if (index >= s.domains.size())
            return;
        s.domain = s.domains[index].name;
        if (s.domains[index].authType == 8)
            m_login.LoginNow();
        else
            m_login.ShowPageId(PageId::Credentials);
    }
};

class PortalPage : public ChooserPage {
public:
    explicit PortalPage(CLogin& l)
        : ChooserPage(l, PageId::Portals, IDD_LOGIN_PORTALS, IDC_PORTALS_LABEL, IDS_PORTALS_LABEL, IDC_PORTALS,
                      IDS_PORTAL_PROMPT)
    {
    }

protected:
    std::vector<std::string> Entries() override { return m_login.Context().PreparedSession().portals; }
    std::string Chosen() override { return m_login.Context().PreparedSession().portal; }
    void Choose(size_t index) override
    {
        LoginContext& c = m_login.Context();
        const std::vector<std::string> portals = c.PreparedSession().portals;
        if (index >= portals.size() || portals[index].empty())
            return;
        c.SetPortal(portals[index].substr(0, kFieldMax));
        CgiSession& s = c.PreparedSession();
        if (m_login.hostMode == 1) {
            const int result = CgiUserLogin(s);
            c.TakeSessionResult();
            m_login.ShowPage(result);
        } else {
            const int result = CgiGuestLogin(s);
            c.TakeSessionResult();
            m_login.ReportLoginResult(result);
        }
    }
};

class ProxyPage : public LoginPage {
public:
    explicit ProxyPage(CLogin& l) : LoginPage(l, PageId::Proxy, IDD_LOGIN_PROXY) {}

protected:
    void OnInit() override
    {
        m_login.Status(STATUS_WARNING, IDS_PROXY_PROMPT);
        SendMessageW(Item(IDC_PROXY_USER), EM_LIMITTEXT, 128, 0);
        SendMessageW(Item(IDC_PROXY_PASSWORD), EM_LIMITTEXT, 128, 0);
        SetText(IDOK, IDS_BUTTON_OK);
        SetText(IDCANCEL, IDS_BUTTON_CANCEL);
        SetText(IDC_PROXY_USER_LABEL, IDS_PROXY_USER_LABEL);
        SetText(IDC_PROXY_PASSWORD_LABEL, IDS_PROXY_PASSWORD_LABEL);
        SubclassKeys({IDC_PROXY_USER, IDC_PROXY_PASSWORD, IDOK, IDCANCEL});
        SetFocus(Item(IDC_PROXY_USER));
    }
    void OnCommand(int id) override
    {
        if (id == IDCANCEL) {
            m_login.CancelWorker();
            m_login.Context().ClearLoginState();
            m_login.ShowPageId(PageId::Server);
        } else if (id == IDOK) {
            OnOk();
        }
    }
    bool OnMessage(UINT msg, WPARAM, LPARAM lParam) override
    {
        if (msg != WM_CONNECT_RESULT && msg != WM_LOGIN_RESULT)
            return false;
        int result = 0;
        if (!m_login.TakeWorkerResult(static_cast<uint32_t>(lParam), result) || m_login.HandleCertificateResult(result))
            return true;
        if (msg == WM_CONNECT_RESULT)
            m_login.ReportConnectResult(result);
        else
            m_login.ReportLoginResult(result);
        if (result == CGI_PROXY_AUTH_REQUIRED) {
            CountFailure();
        } else {
            m_login.proxyTries = 0;
            if (msg == WM_CONNECT_RESULT) {
                if (result == CGI_OK)
                    m_login.SelectDomain();
                else
                    m_login.ShowPageId(PageId::Server);
            }
        }
        return true;
    }

private:
    void OnOk()
    {
        std::string user = WideToAnsi(Text(IDC_PROXY_USER, kFieldMax), kCodePageUtf8);
        std::string password = WideToAnsi(Text(IDC_PROXY_PASSWORD, kFieldMax), kCodePageUtf8);
        if (user.empty() && password.empty()) {
            m_login.Status(STATUS_ERROR, IDS_PROXY_EMPTY);
            return;
        }
        m_login.Context().SetProxyCredentials(user, password);
        SecureWipe(password);
        if (m_login.hostMode == 1)
            m_login.StartWorker(WorkerRoad::Connect, 3, m_hwnd, IDOK);
        else
            m_login.StartWorker(WorkerRoad::Guest, 3, m_hwnd, IDOK);
    }
    void CountFailure()
    {
        ++m_login.proxyTries;
        static ResStringSlot slot;
        const std::wstring text = FormatResourceText(128, LoadResString(slot, IDS_PROXY_TRIES_LEFT), 3 - m_login.proxyTries);
        m_login.SetStatusText(STATUS_ERROR, text.c_str());
        if (m_login.proxyTries >= 3) {
            m_login.proxyTries = 0;
            m_login.Context().ClearLoginState();
            m_login.ShowPageId(PageId::Server);
        }
    }
};

} // namespace

std::unique_ptr<LoginPage> MakeServerPage(CLogin& login)
{
    return std::make_unique<ServerPage>(login);
}

std::unique_ptr<LoginPage> MakeCredentialsPage(CLogin& login)
{
    return std::make_unique<CredentialsPage>(login);
}

std::unique_ptr<LoginPage> MakeDomainPage(CLogin& login)
{
    return std::make_unique<DomainPage>(login);
}

std::unique_ptr<LoginPage> MakePortalPage(CLogin& login)
{
    return std::make_unique<PortalPage>(login);
}

std::unique_ptr<LoginPage> MakeProxyPage(CLogin& login)
{
    return std::make_unique<ProxyPage>(login);
}
