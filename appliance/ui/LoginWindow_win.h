// The stand-alone login window: a frame that shows one page at a time (server,
// credentials, domain, portal, proxy credentials, second steps), runs the first step of a
// login on a worker and the login request itself on the GUI thread, and
// reports every outcome in its status line, the log and to the main thread.
#pragma once

#include "appliance/ui/LoginContext_win.h"
#include "appliance/ui/LoginWorker_win.h"
#include "core/base/WindowFrame_win.h"

#include <memory>
#include <string>
#include <vector>

class LoginPage;

// A string-table format filled in with Windows conversions (%s takes wide
// text, as the texts are written), cut to max - 1 characters.
std::wstring FormatResourceText(size_t max, const wchar_t* format, ...);

enum class PageId {
    None,
    Server,
    Credentials,
    Domains,
    Portals,
    Proxy,
    Otp,
    NewPin,
    SystemPin,
    Passcode,
    NextCode,
    Radius,
};

class CLogin : public CWindowFrame {
public:
    explicit CLogin(LoginContext& context);
    ~CLogin() override;

    // The frame and its server page, both shown; false when either could not be made.
    bool Create();
    // Puts a server text into the server page's field (a preset launch).
    void SetServerText(const std::string& server);

    // The page switch after a login request on this thread.
    void ShowPage(int result);
    void ShowPageId(PageId page);

    PageId CurrentPage() const { return m_pageId; }
    HWND PageWindow() const { return CurrentChild(); }
    LoginContext& Context() { return m_context; }

    // --- used by the pages ---
    // Starts the first step; disables the given control of the page meanwhile.
    bool StartWorker(WorkerRoad road, int mode, HWND page, int control);
    // Forgets the running worker (its late result is dropped) and gives the
    // page's buttons back.
    void CancelWorker();
    bool WorkerRunning() const;
    // The result of the worker that posted (generation), applied to the
    // program's session; false for a stale one.
    bool TakeWorkerResult(uint32_t generation, int& result);
    // A refused (46) or unreadable (66) appliance certificate after a worker:
    // the alert, and on the user's go-ahead the same step again with that
    // certificate accepted. True when the result was one of these.
    bool HandleCertificateResult(int result);
    void ReportConnectResult(int result);
    void ReportLoginResult(int result);
    // After a successful domain query: one domain goes on (type 8 logs in at
    // once), several show the domain page.
    void SelectDomain();
    void LoginNow();
    void Status(int kind, UINT id);
    void StatusUtf8(int kind, const std::string& text);
    void Log(int level, const wchar_t* text, bool prefixed);
    void PostMain(UINT message, WPARAM wParam);

    int hostMode = 0;
    int proxyTries = 0;
    std::string message;  // the appliance's last text, shown once

protected:
    void OnClose() override;
    bool OnFrameMessage(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

private:
    std::unique_ptr<LoginPage> MakePage(PageId id);
    void RestoreWorkerControls();

    LoginContext& m_context;
    PageId m_pageId = PageId::None;
    std::unique_ptr<LoginPage> m_page;
    std::vector<std::unique_ptr<LoginPage>> m_retired;  // deleted once their handler returned
    std::shared_ptr<WorkerMailbox> m_mailbox;
    LoginWorker m_worker;
    uint32_t m_generation = 0;
    bool m_waiting = false;
    HWND m_workerPage = nullptr;
    int m_workerControl = 0;
    WorkerRoad m_workerRoad = WorkerRoad::Connect;
    int m_workerMode = 0;
};

// Internal: a page of the login window (a child dialog).
class LoginPage {
public:
    LoginPage(CLogin& login, PageId id, UINT templateId) : m_login(login), m_id(id), m_template(templateId) {}
    virtual ~LoginPage() = default;
    LoginPage(const LoginPage&) = delete;
    LoginPage& operator=(const LoginPage&) = delete;

    HWND Create(HWND frame);
    HWND Window() const { return m_hwnd; }
    PageId Id() const { return m_id; }

protected:
    virtual void OnInit() {}
    virtual void OnShow() {}
    virtual void OnCommand(int id) = 0;
    // Other messages; true when handled.
    virtual bool OnMessage(UINT, WPARAM, LPARAM) { return false; }

    void SetText(int control, UINT stringId);
    std::wstring Text(int control, size_t max) const;
    HWND Item(int control) const { return GetDlgItem(m_hwnd, control); }
    void SubclassKeys(std::initializer_list<int> controls);

    CLogin& m_login;
    HWND m_hwnd = nullptr;

private:
    static INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);
    void Paint();

    PageId m_id;
    UINT m_template;
};
