#include "appliance/ui/SecondFactorPages_win.h"

#include "appliance/cgi/CgiResult.h"
#include "appliance/cgi/LoginRequests.h"
#include "appliance/cgi/SecondStepRequests.h"
#include "appliance/ui/LoginPages_win.h"
#include "appliance/ui/LoginResources.h"
#include "appliance/ui/LoginWindow_win.h"
#include "appliance/ui/SecondFactorResources.h"
#include "core/base/SecureZero.h"
#include "core/base/LoadResString.h"
#include "core/base/TextConvert.h"

#include <cstdint>
#include <string>

namespace {

constexpr size_t kCodeMax = 127;
constexpr size_t kPinMax = 255;
// Requests a counted page allows; each failed one is counted down and the
// count left is what the status line shows.
constexpr uint16_t kTries = 4;

void Wipe(std::wstring& text)
{
    SecureWipe(text);
}

void Wipe(std::string& text)
{
    SecureWipe(text);
}

// A page of one second step: its prompt in the status line, the appliance's
// text in its message line, OK sends, Cancel goes back to the server page.
class StepPage : public LoginPage {
public:
    StepPage(CLogin& l, PageId id, UINT templ, UINT prompt, int entry)
        : LoginPage(l, id, templ), m_entry(entry), m_prompt(prompt)
    {
    }

protected:
    void OnInit() override
    {
        m_login.Status(STATUS_NORMAL, m_prompt);
        ShowMessage(m_login.message);
        m_login.message.clear();
        SetText(IDOK, IDS_BUTTON_OK);
        SetText(IDCANCEL, IDS_BUTTON_CANCEL);
        if (m_entry) {
            SendMessageW(Item(m_entry), EM_LIMITTEXT, kCodeMax, 0);
            SubclassKeys({m_entry});
        }
        SubclassKeys({IDOK, IDCANCEL});
        InitControls();
    }
    void OnShow() override
    {
        if (m_entry)
            SetFocus(Item(m_entry));
    }
    void OnCommand(int id) override
    {
        if (id == IDOK)
            OnOk();
        else if (id == IDCANCEL)
            OnCancel();
    }
    virtual void InitControls() {}
    virtual void OnOk() = 0;
    virtual void OnCancel()
    {
        m_login.Context().ClearLoginState();
        m_login.ShowPageId(PageId::Server);
    }

    void ShowMessage(const std::string& utf8)
    {
        SetDlgItemTextW(m_hwnd, IDC_STEP_MESSAGE, AnsiToWide(utf8, kCodePageUtf8).c_str());
    }
    // The appliance's text of the last answer, for a page that stays.
    void ShowServerMessage()
    {
        CgiSession& s = Session();
        ShowMessage(s.serverMessage);
        s.serverMessage.clear();
    }
    CgiSession& Session() { return m_login.Context().PreparedSession(); }
    // A request's session values (its cookie) into the program's.
    int Took(int result)
    {
        m_login.Context().TakeSessionResult();
        return result;
    }
    // A typed entry as UTF-8; the typed copy is wiped.
    std::string Entry(int control, size_t max)
    {
        std::wstring typed = Text(control, max);
        std::string utf8 = WideToAnsi(typed, kCodePageUtf8);
        Wipe(typed);
        return utf8;
    }

    int m_entry;

private:
    UINT m_prompt;
};

// A page whose failed tries are counted: once none is left, OK returns to
// the server page without a request. The count restarts with a new page.
class CountedPage : public StepPage {
public:
    CountedPage(CLogin& l, PageId id, UINT templ, UINT prompt, UINT triesText)
        : StepPage(l, id, templ, prompt, IDC_STEP_CODE), m_triesText(triesText)
    {
    }

protected:
    bool MaySend()
    {
        if (m_tries > 0)
            return true;
        m_login.Context().ClearLoginState();
        m_login.ShowPageId(PageId::Server);
        return false;
    }
    void CountFailure()
    {
        --m_tries;
        static ResStringSlot otpText, tokenText;
        ResStringSlot& slot = m_triesText == IDS_WRONG_TOKEN_TRIES ? tokenText : otpText;
        const std::wstring text = FormatResourceText(kCodeMax + 1, LoadResString(slot, m_triesText), m_tries);
        m_login.SetStatusText(STATUS_ERROR, text.c_str());
        ShowMessage(Session().serverMessage);
    }

private:
    UINT m_triesText;
    uint16_t m_tries = kTries;
};

// The one-time password and the RSA next code: a code sent as it is typed;
// a verdict of "retry" counts a try.
class CodePage : public CountedPage {
public:
    using Request = int32_t (*)(CgiSession&, const std::string&);
    CodePage(CLogin& l, PageId id, UINT templ, UINT prompt, UINT triesText, Request request)
        : CountedPage(l, id, templ, prompt, triesText), m_request(request)
    {
    }

protected:
    void OnOk() override
    {
        if (!MaySend())
            return;
        std::string code = Entry(IDC_STEP_CODE, kCodeMax);
        const int result = Took(m_request(Session(), code));
        Wipe(code);
        if (result == CGI_SECOND_STEP_VERDICT && Session().tfResult == 1)
            CountFailure();
        m_login.ShowPage(result);
    }

private:
    Request m_request;
};

class NewPinPage : public StepPage {
public:
    explicit NewPinPage(CLogin& l) : StepPage(l, PageId::NewPin, IDD_LOGIN_NEW_PIN, IDS_CHANGE_PIN, 0) {}

protected:
    void InitControls() override
    {
        SetText(IDC_NEW_PIN_LABEL, IDS_NEW_PIN_LABEL);
        SetText(IDC_PIN_CONFIRM_LABEL, IDS_PIN_CONFIRM_LABEL);
        SendMessageW(Item(IDC_NEW_PIN), EM_LIMITTEXT, kPinMax, 0);
        SendMessageW(Item(IDC_PIN_CONFIRM), EM_LIMITTEXT, kPinMax, 0);
        SubclassKeys({IDC_NEW_PIN, IDC_PIN_CONFIRM});
    }
    void OnShow() override { SetFocus(Item(IDC_NEW_PIN)); }
    void OnOk() override
    {
        std::string pin = Entry(IDC_NEW_PIN, kPinMax);
        std::string confirmation = Entry(IDC_PIN_CONFIRM, kPinMax);
        if (pin != confirmation) {
            // Never sent: the user types both again.
            m_login.Status(STATUS_ERROR, IDS_PIN_MISMATCH);
            SetDlgItemTextW(m_hwnd, IDC_NEW_PIN, L"");
            SetDlgItemTextW(m_hwnd, IDC_PIN_CONFIRM, L"");
            SetFocus(Item(IDC_NEW_PIN));
        } else {
            const int result = Took(CgiRsaNewPin(Session(), pin, confirmation));
            // Also when the page stays (a refused PIN): the appliance says why.
            ShowMessage(Session().serverMessage);
            m_login.ShowPage(result);
        }
        Wipe(pin);
        Wipe(confirmation);
    }
};

class SystemPinPage : public StepPage {
public:
    explicit SystemPinPage(CLogin& l) : StepPage(l, PageId::SystemPin, IDD_LOGIN_SYSTEM_PIN, IDS_SYSTEM_PIN, 0) {}

protected:
    void OnShow() override { SetFocus(Item(IDCANCEL)); }
    void OnOk() override
    {
        const int result = Took(CgiRsaSystemPin(Session(), true));
        if (result == CGI_SECOND_STEP_AGAIN)
            ShowServerMessage();
        else
            m_login.ShowPage(result);
    }
    // Button 2 refuses the appliance's PIN; the appliance then asks for one.
    void OnCancel() override { m_login.ShowPage(Took(CgiRsaSystemPin(Session(), false))); }
};

class PasscodePage : public CountedPage {
public:
    explicit PasscodePage(CLogin& l)
        : CountedPage(l, PageId::Passcode, IDD_LOGIN_PASSCODE, IDS_PASSCODE_HINT, IDS_OTP_FAILED_TRIES)
    {
    }

protected:
    void InitControls() override { SetText(IDCANCEL, IDS_BUTTON_NO); }
    void OnShow() override
    {
        m_login.Status(STATUS_NORMAL, IDS_PASSCODE_PROMPT);
        StepPage::OnShow();
    }
    void OnOk() override
    {
        if (!MaySend())
            return;
        // The pass-code (PIN and token) is the password of a new login.
        std::wstring passcode = Text(IDC_STEP_CODE, kCodeMax);
        Session().password = StoreSecret(passcode);
        Wipe(passcode);
        const int result = Took(CgiUserLogin(Session()));
        if (result == CGI_LOGIN_FAILED)
            CountFailure();
        m_login.ShowPage(result);
    }
};

class RadiusPage : public StepPage {
public:
    explicit RadiusPage(CLogin& l)
        : StepPage(l, PageId::Radius, IDD_LOGIN_NEXT_CODE, IDS_EXTRA_TOKEN_PROMPT, IDC_STEP_CODE)
    {
    }

protected:
    void OnOk() override
    {
        std::string reply = Entry(IDC_STEP_CODE, kCodeMax);
        SetDlgItemTextW(m_hwnd, IDC_STEP_CODE, L"");
        const int result = Took(CgiRadiusChallenge(Session(), reply));
        Wipe(reply);
        // A further challenge is asked on this page.
        if (result == CGI_SECOND_STEP)
            ShowServerMessage();
        else
            m_login.ShowPage(result);
    }
};

} // namespace

std::unique_ptr<LoginPage> MakeOtpPage(CLogin& login)
{
    return std::make_unique<CodePage>(login, PageId::Otp, IDD_LOGIN_OTP, IDS_OTP_PROMPT, IDS_OTP_FAILED_TRIES,
                                      CgiOtpLogin);
}

std::unique_ptr<LoginPage> MakeNewPinPage(CLogin& login)
{
    return std::make_unique<NewPinPage>(login);
}

std::unique_ptr<LoginPage> MakeSystemPinPage(CLogin& login)
{
    return std::make_unique<SystemPinPage>(login);
}

std::unique_ptr<LoginPage> MakePasscodePage(CLogin& login)
{
    return std::make_unique<PasscodePage>(login);
}

std::unique_ptr<LoginPage> MakeNextCodePage(CLogin& login)
{
    return std::make_unique<CodePage>(login, PageId::NextCode, IDD_LOGIN_NEXT_CODE, IDS_EXTRA_TOKEN_PROMPT, IDS_WRONG_TOKEN_TRIES,
                                      CgiRsaNextCode);
}

std::unique_ptr<LoginPage> MakeRadiusPage(CLogin& login)
{
    return std::make_unique<RadiusPage>(login);
}
