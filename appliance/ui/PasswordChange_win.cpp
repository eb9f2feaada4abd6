#include "appliance/ui/PasswordChange_win.h"

#include "appliance/ui/LoginResources.h"
#include "appliance/ui/LoginWindow_win.h"
#include "appliance/ui/MeetingListResources.h"
#include "appliance/ui/ResourceText_win.h"
#include "core/base/DHLog.h"
#include "core/base/SecureZero.h"
#include "core/base/TextConvert.h"
#include "core/base/WindowUtil.h"

#include <algorithm>

namespace {

constexpr uint8_t kLogCategory = DHLOG_CAT_MEETING;
constexpr size_t kPromptTextMax = 128;
constexpr UINT kBoxStyle = MB_ICONWARNING | MB_TOPMOST;

} // namespace

struct PasswordChange::Shared {
    explicit Shared(HINSTANCE i) : instance(i) {}

    HINSTANCE instance;
    std::atomic<bool> open{false};
    std::atomic<HWND> dialog{nullptr};
    std::atomic<bool> stopping{false};
    std::mutex lock;                 // guards threadIds
    std::vector<DWORD> threadIds;    // threads that may be showing a box or the dialog
    // The open dialog's copies of the fields (its thread only while open).
    wchar_t oldPassword[kPasswordFieldMax + 1] = {};
    wchar_t newPassword[kPasswordFieldMax + 1] = {};
    wchar_t confirmation[kPasswordFieldMax + 1] = {};
};

namespace {

// What one dialog run has: the shared state and what its prompt was given.
struct DialogRun {
    PasswordChange::Request request;
    PasswordChange::Ended ended;
    void* shared;
};

} // namespace

PasswordChange::PasswordChange(HINSTANCE instance) : m_shared(std::make_shared<Shared>(instance)) {}

PasswordChange::~PasswordChange()
{
    m_shared->stopping = true;
    {
        std::lock_guard<std::mutex> g(m_shared->lock);
        // A box's or the dialog's modal loop ends on WM_QUIT.
        for (DWORD id : m_shared->threadIds)
            PostThreadMessageW(id, WM_QUIT, 0, 0);
    }
    if (HWND dialog = m_shared->dialog.load())
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    for (auto& thread : m_threads)
        thread->Join(BoundedThread::kDestructorJoinMs);
}

HWND PasswordChange::Dialog() const
{
    return m_shared->dialog.load();
}

bool PasswordChange::DialogOpen() const
{
    return m_shared->open.load();
}

bool PasswordChange::BuffersClear() const
{
    const Shared& s = *m_shared;
    auto zero = [](const wchar_t* b) { return std::all_of(b, b + kPasswordFieldMax + 1, [](wchar_t c) { return c == 0; }); };
    return zero(s.oldPassword) && zero(s.newPassword) && zero(s.confirmation);
}

size_t PasswordChange::Running()
{
    // Threads that have ended are dropped here.
    m_threads.erase(std::remove_if(m_threads.begin(), m_threads.end(),
                                   [](const std::unique_ptr<BoundedThread>& t) { return !t->Running() && t->Join(0); }),
                    m_threads.end());
    return m_threads.size();
}

// The dialog procedure and the thread bodies reach the shared state through
// these, so no thread touches the PasswordChange object itself.
class PasswordChangeThreads {
public:
    using Shared = PasswordChange::Shared;

    static void Prompt(const std::shared_ptr<Shared>& shared, PasswordExpiryState state,
                       const PasswordChange::Request& request, const PasswordChange::Ended& ended)
    {
        const std::optional<ExpiryPrompt> prompt = ExpiryPromptFor(state.known, state.daysLeft, state.mayChange);
        if (!prompt || shared->stopping)
            return;
        const std::wstring text = prompt->withDays
                                      ? FormatResourceText(kPromptTextMax, ResText(prompt->textId), state.daysLeft)
                                      : std::wstring(ResText(prompt->textId));
        const int answer = MessageBoxW(nullptr, text.c_str(), ResText(IDS_PASSWORD_EXPIRED_CAPTION),
                                       (prompt->askYesNo ? MB_YESNO : MB_OK) | kBoxStyle);
        if (answer != IDYES || !prompt->askYesNo || shared->stopping)
            return;
        bool closed = false;
        if (!shared->open.compare_exchange_strong(closed, true)) {
            // One dialog only: the open one comes to the front.
            if (HWND dialog = shared->dialog.load()) {
                ShowWindow(dialog, SW_RESTORE);
                SetForegroundWindow(dialog);
            }
            return;
        }
        DialogRun run{request, ended, shared.get()};
        DialogBoxParamW(shared->instance, MAKEINTRESOURCEW(IDD_PASSWORD_CHANGE), nullptr, DialogProc,
                        reinterpret_cast<LPARAM>(&run));
        shared->dialog = nullptr;
        shared->open = false;
    }

    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        if (msg == WM_INITDIALOG) {
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
            auto* run = reinterpret_cast<DialogRun*>(lParam);
            static_cast<Shared*>(run->shared)->dialog = hwnd;
            Init(hwnd);
            return FALSE;
        }
        auto* run = reinterpret_cast<DialogRun*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (!run)
            return FALSE;
        switch (msg) {
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK)
                Ok(hwnd, *run);
            else if (LOWORD(wParam) == IDCANCEL)
                EndDialog(hwnd, 0);
            return TRUE;
        case WM_CLOSE: EndDialog(hwnd, 0); return TRUE;
        case WM_DESTROY: SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0); return FALSE;
        default: return FALSE;
        }
    }

private:
    static void Init(HWND hwnd)
    {
        CenterInWorkArea(hwnd);
        SetWindowTextW(hwnd, ResText(IDS_CHANGE_PASSWORD));
        const struct {
            int control;
            UINT text;
        } texts[] = {{IDC_PASSWORD_GROUP, IDS_CHANGE_PASSWORD}, {IDC_OLD_PASSWORD_LABEL, IDS_OLD_PASSWORD},
                     {IDC_NEW_PASSWORD_LABEL, IDS_NEW_PASSWORD}, {IDC_CONFIRM_PASSWORD_LABEL, IDS_CONFIRM_PASSWORD},
                     {IDOK, IDS_BUTTON_OK},                     {IDCANCEL, IDS_BUTTON_CANCEL}};
        for (const auto& t : texts)
            SetDlgItemTextW(hwnd, t.control, ResText(t.text));
        for (int field : {IDC_OLD_PASSWORD, IDC_NEW_PASSWORD, IDC_CONFIRM_PASSWORD})
            SendDlgItemMessageW(hwnd, field, EM_LIMITTEXT, kPasswordFieldMax, 0);
        SetForegroundWindow(hwnd);
        SetFocus(GetDlgItem(hwnd, IDC_OLD_PASSWORD));
    }

    static void Ok(HWND hwnd, DialogRun& run)
    {
        Shared& s = *static_cast<Shared*>(run.shared);
        const int size = static_cast<int>(kPasswordFieldMax + 1);
        GetDlgItemTextW(hwnd, IDC_OLD_PASSWORD, s.oldPassword, size);
        GetDlgItemTextW(hwnd, IDC_NEW_PASSWORD, s.newPassword, size);
        GetDlgItemTextW(hwnd, IDC_CONFIRM_PASSWORD, s.confirmation, size);
        const PasswordFieldCheck check = CheckPasswordFields(s.oldPassword, s.newPassword, s.confirmation);
        if (check != PasswordFieldCheck::Ok) {
            Clear(s);
            MessageBoxW(nullptr,
                        ResText(check == PasswordFieldCheck::Empty ? IDS_PASSWORD_FIELDS_EMPTY : IDS_PASSWORDS_DIFFER),
                        ResText(IDS_WARN_CAPTION), kBoxStyle);
            return;
        }
        ShowWindow(hwnd, SW_HIDE);
        std::string oldUtf8 = WideToAnsi(s.oldPassword, kCodePageUtf8);
        std::string newUtf8 = WideToAnsi(s.newPassword, kCodePageUtf8);
        Clear(s);
        const int32_t result = run.request ? run.request(oldUtf8, newUtf8) : 1;
        SecureWipe(oldUtf8);
        SecureWipe(newUtf8);
        if (result == 0) {
            DHLog::Instance().Print(kLogCategory, DHLOG_INFO, false, "Password has been changed.\n");
            MessageBoxW(nullptr, ResText(IDS_PASSWORD_CHANGED), ResText(IDS_INFO_CAPTION),
                        MB_ICONINFORMATION | MB_TOPMOST);
        } else {
            DHLog::Instance().Print(kLogCategory, DHLOG_WARN, false, "Failed to change password.\n");
            MessageBoxW(nullptr, ResText(IDS_PASSWORD_NOT_CHANGED), ResText(IDS_WARN_CAPTION), kBoxStyle);
        }
        if (run.ended)
            run.ended();
        EndDialog(hwnd, 0);
    }

    static void Clear(Shared& s)
    {
        SecureZero(s.oldPassword, sizeof(s.oldPassword));
        SecureZero(s.newPassword, sizeof(s.newPassword));
        SecureZero(s.confirmation, sizeof(s.confirmation));
    }
};

bool PasswordChange::StartPrompt(const PasswordExpiryState& state, Request request, Ended ended)
{
    Running();
    auto thread = std::make_unique<BoundedThread>();
    std::shared_ptr<Shared> shared = m_shared;
    const bool started = thread->Start([shared, state, request = std::move(request), ended = std::move(ended)] {
        {
            std::lock_guard<std::mutex> g(shared->lock);
            shared->threadIds.push_back(GetCurrentThreadId());
        }
        PasswordChangeThreads::Prompt(shared, state, request, ended);
        std::lock_guard<std::mutex> g(shared->lock);
        auto& ids = shared->threadIds;
        ids.erase(std::remove(ids.begin(), ids.end(), GetCurrentThreadId()), ids.end());
    });
    if (!started)
        return false;
    m_threads.push_back(std::move(thread));
    return true;
}
