#include "extras/CPolling.h"

#include "core/base/DHLog.h"
#include "core/base/LoadResString.h"
#include "core/base/PollToolStrip_win.h"
#include "core/base/TextConvert.h"
#include "core/base/WinHandle.h"
#include "core/base/WindowUtil.h"
#include "core/control/ControlPacket.h"
#include "extras/CPollRet_win.h"
#include "extras/CPollTree_win.h"
#include "extras/PollContext.h"
#include "extras/PollResources.h"

#include <commctrl.h>
#include <commdlg.h>

#include <cwchar>

namespace {

// Indexed by command - 2000: seven buttons; only the editing panel has them.
int g_toolbarButtonStates[kPollButtonLast - kPollButtonFirst + 1] = {};

// Posted to a panel: lParam a std::string* the panel takes.
constexpr UINT WM_POLL_RECEIVED = WM_APP + 61;
constexpr UINT WM_POLL_SUBMIT = WM_APP + 62;
// Posted to a panel without data.
constexpr UINT WM_POLL_ENDED = WM_APP + 63;
constexpr UINT WM_POLL_POPUP_DONE = WM_APP + 64;

std::wstring Res(UINT id)
{
    wchar_t buffer[512] = {};
    LoadStringW(GetModuleHandleW(nullptr), id, buffer, static_cast<int>(std::size(buffer)));
    return buffer;
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes)
{
    WinHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    DWORD written = 0;
    return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

// The file's bytes, at most kPollFileMaxBytes; false when it cannot be read
// or is larger.
bool ReadWholeFile(const std::wstring& path, std::string& bytes)
{
    WinHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart > static_cast<LONGLONG>(kPollFileMaxBytes))
        return false;
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    return bytes.empty() ||
           (ReadFile(file.get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr) && read == bytes.size());
}

// "<name>\0<pattern>\0\0" for the file dialogs.
std::wstring Filter(std::initializer_list<std::pair<UINT, const wchar_t*>> entries)
{
    std::wstring filter;
    for (const auto& e : entries) {
        filter += Res(e.first);
        filter.push_back(L'\0');
        filter += e.second;
        filter.push_back(L'\0');
    }
    filter.push_back(L'\0');
    return filter;
}

// The save or open dialog; the chosen path, or empty when cancelled.
std::wstring AskPath(HWND owner, bool save, const std::wstring& filter, const wchar_t* extension)
{
    wchar_t path[MAX_PATH] = {};
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.c_str();
    ofn.lpstrFile = path;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrDefExt = extension;
    ofn.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    BOOL chosen = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    return chosen ? std::wstring(path) : std::wstring();
}

int Box(HWND owner, UINT text, UINT title, UINT flags)
{
    return MessageBoxW(owner, Res(text).c_str(), Res(title).c_str(), flags);
}

} // namespace

CPolling::CPolling(PollContext* context, HWND parent, int role) : m_context(context), m_parent(parent), m_kind(role)
{
    CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(role == 1 ? IDD_POLL_EDIT : IDD_POLL_ANSWER),
                       parent, DialogProc, reinterpret_cast<LPARAM>(this));
}

CPolling::~CPolling()
{
    m_popup.Close();
    HWND window = m_hWnd;
    if (window && IsWindow(window)) {
        // Texts posted and not yet handled are freed here.
        MSG msg;
        while (PeekMessageW(&msg, window, WM_POLL_RECEIVED, WM_POLL_SUBMIT, PM_REMOVE))
            delete reinterpret_cast<std::string*>(msg.lParam);
    }
    m_editor.reset();
    m_results.reset();
    if (window && IsWindow(window)) {
        SetWindowLongPtrW(window, DWLP_USER, 0);
        DestroyWindow(window);
    }
}

bool CPolling::SetToolbarButtonState(int command, int state)
{
    if (command < kPollButtonFirst || command > kPollButtonLast)
        return false;
    g_toolbarButtonStates[command - kPollButtonFirst] = state != 0 ? 1 : 0;
    return true;
}

int CPolling::ToolbarButtonState(int command)
{
    if (command < kPollButtonFirst || command > kPollButtonLast)
        return 0;
    return g_toolbarButtonStates[command - kPollButtonFirst];
}

// --- from the receive thread ---------------------------------------------------

bool CPolling::PostText(UINT message, const char* text)
{
    if (!m_hWnd || !text)
        return false;
    auto* copy = new std::string(text);
    if (PostMessageW(m_hWnd, message, 0, reinterpret_cast<LPARAM>(copy)))
        return true;
    delete copy;
    return false;
}

void CPolling::ShowReceivedPoll(const char* text)
{
    if (m_kind == 2)
        PostText(WM_POLL_RECEIVED, text);
}

void CPolling::OnRecvSubmit(const char* text)
{
    if (m_kind == 1)
        PostText(WM_POLL_SUBMIT, text);
}

void CPolling::SubmitAnswers()
{
    if (m_kind == 2 && m_hWnd)
        PostMessageW(m_hWnd, WM_POLL_ENDED, 0, 0);
}

// --- the dialog ------------------------------------------------------------------

INT_PTR CALLBACK CPolling::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CPolling*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        self->m_hWnd = hwnd;
        self->InitDialog();
        return TRUE;
    }
    auto* self = reinterpret_cast<CPolling*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!self) {
        if (msg == WM_POLL_RECEIVED || msg == WM_POLL_SUBMIT)
            delete reinterpret_cast<std::string*>(lParam);
        return FALSE;
    }
    switch (msg) {
    case WM_COMMAND:
        // A click or command; the controls' focus and selection notices
        // (the kind list's, as the panel is activated) end no edit.
        if (HIWORD(wParam) != BN_CLICKED)
            break;
        if (self->m_editor)
            self->m_editor->CommitEdit();
        if (self->OnCommand(LOWORD(wParam)))
            return TRUE;
        break;
    case WM_LBUTTONDOWN:
        if (self->m_editor)
            self->m_editor->CommitEdit();
        break;
    case WM_NOTIFY: {
        auto* tip = reinterpret_cast<NMTTDISPINFOW*>(lParam);
        if (tip->hdr.code == TTN_GETDISPINFOW && tip->hdr.idFrom >= kPollButtonFirst &&
            tip->hdr.idFrom <= kPollButtonLast) {
            static const UINT tips[] = {IDS_POLL_TIP_OPEN, IDS_POLL_TIP_SAVE,  IDS_POLL_TIP_EDIT, IDS_POLL_TIP_DELETE,
                                        IDS_POLL_TIP_CLEAR, IDS_POLL_TIP_UP, IDS_POLL_TIP_DOWN};
            tip->hinst = GetModuleHandleW(nullptr);
            tip->lpszText = MAKEINTRESOURCEW(tips[tip->hdr.idFrom - kPollButtonFirst]);
            return TRUE;
        }
        break;
    }
    case WM_CLOSE:
        if (self->m_kind == 2) {
            self->Submit();
        } else {
            ShowWindow(hwnd, SW_HIDE);
            self->m_context->LogPollEvent(3, L"%sHide the polling panel.\n");
        }
        return TRUE;
    case WM_SHOWWINDOW:
        // A hidden panel keeps no box or dialog open.
        if (!wParam && self->m_popup.Running()) {
            self->m_popup.Close();
            self->m_job = PopupJob();
        }
        break;
    case WM_POLL_RECEIVED:
    case WM_POLL_SUBMIT: {
        std::unique_ptr<std::string> text(reinterpret_cast<std::string*>(lParam));
        if (msg == WM_POLL_RECEIVED)
            self->OnPollReceived(*text);
        else
            self->OnSubmitReceived(*text);
        return TRUE;
    }
    case WM_POLL_ENDED: self->Submit(); return TRUE;
    case WM_POLL_POPUP_DONE: self->OnPopupDone(); return TRUE;
    default: break;
    }
    return FALSE;
}

INT_PTR CALLBACK CPolling::DetailProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        return TRUE;
    }
    auto* self = reinterpret_cast<CPolling*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (self && msg == WM_COMMAND && LOWORD(wParam) == IDOK) {
        ShowWindow(hwnd, SW_HIDE);
        if (self->m_results) {
            ShowWindow(self->m_results->Window(), SW_SHOW);
            SetFocus(self->m_results->Window());
        }
        return TRUE;
    }
    return FALSE;
}

void CPolling::InitDialog()
{
    MakeOwnLayeredWindow(m_hWnd);
    SetWindowTextW(m_hWnd, Res(IDS_POLL_TITLE).c_str());
    RECT frame{};
    HWND frameWindow = GetDlgItem(m_hWnd, IDC_POLL_FRAME);
    GetWindowRect(frameWindow, &frame);
    ScreenRectToClient(m_hWnd, &frame);
    const PollTree::Mode mode = m_kind == 1 ? PollTree::Mode::Editing : PollTree::Mode::Answering;
    m_editor = std::make_unique<CPollTree>(mode, m_hWnd, frame, [this] { UpdateToolbar(); });
    if (m_kind != 1)
        return;
    m_results = std::make_unique<CPollRet>(m_hWnd, frame, [this](const std::wstring& text) { ShowDetail(text); });
    ShowWindow(m_results->Window(), SW_HIDE);
    m_detail = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_POLL_DETAIL), m_hWnd, DetailProc,
                                  reinterpret_cast<LPARAM>(this));
    if (m_detail)
        MoveWindow(m_detail, frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top, FALSE);
    if (HWND text = GetDlgItem(m_detail, IDC_POLL_DETAIL_TEXT)) {
        RECT inner{};
        GetClientRect(m_detail, &inner);
        RECT edit{};
        GetWindowRect(text, &edit);
        ScreenRectToClient(m_detail, &edit);
        MoveWindow(text, 0, edit.top, inner.right, inner.bottom - edit.top, FALSE);
    }
    HWND kinds = GetDlgItem(m_hWnd, IDC_POLL_KIND);
    for (UINT id : {IDS_POLL_KIND_RADIO, IDS_POLL_KIND_CHECK, IDS_POLL_KIND_SHORT})
        SendMessageW(kinds, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Res(id).c_str()));
    SendMessageW(kinds, CB_SETCURSEL, 0, 0);
    CreateToolbar();
    SetState(State::Editing);
}

void CPolling::CreateToolbar()
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    RECT client{};
    GetClientRect(m_hWnd, &client);
    HWND rebar = CreateWindowExW(0, REBARCLASSNAMEW, L"",
                                 WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | RBS_VARHEIGHT | CCS_NODIVIDER,
                                 0, 0, client.right, 30, m_hWnd, reinterpret_cast<HMENU>(IDC_POLL_REBAR), instance, nullptr);
    m_toolbar = CreateWindowExW(0, TOOLBARCLASSNAMEW, L"",
                                WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_NORESIZE | CCS_NODIVIDER |
                                    CCS_NOPARENTALIGN,
                                0, 0, client.right, 26, rebar ? rebar : m_hWnd,
                                reinterpret_cast<HMENU>(IDC_POLL_TOOLBAR), instance, nullptr);
    if (!m_toolbar)
        return;
    SendMessageW(m_toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageW(m_toolbar, TB_LOADIMAGES, IDB_STD_SMALL_COLOR, reinterpret_cast<LPARAM>(HINST_COMMCTRL));
    const int images[kPollButtons] = {STD_FILEOPEN, STD_FILESAVE, STD_PROPERTIES, STD_DELETE,
                                      STD_FILENEW,  STD_UNDO,     STD_REDOW};
    TBBUTTON buttons[2 * kPollButtons - 1] = {};
    for (int n = 0; n < kPollButtons; ++n) {
        buttons[2 * n] = TBBUTTON{images[n], kPollButtonFirst + n, TBSTATE_ENABLED, BTNS_BUTTON, {}, 0, 0};
        if (n > 0)
            buttons[2 * n - 1] = TBBUTTON{0, 0, TBSTATE_ENABLED, BTNS_SEP, {}, 0, 0};
    }
    SendMessageW(m_toolbar, TB_ADDBUTTONSW, std::size(buttons), reinterpret_cast<LPARAM>(buttons));
    SendMessageW(m_toolbar, TB_AUTOSIZE, 0, 0);
    // Commands and tooltip requests come to the panel, not the rebar.
    SendMessageW(m_toolbar, TB_SETPARENT, reinterpret_cast<WPARAM>(m_hWnd), 0);
    if (rebar) {
        REBARBANDINFOW band{};
        band.cbSize = sizeof(band);
        band.fMask = RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_STYLE;
        band.fStyle = RBBS_CHILDEDGE | RBBS_NOGRIPPER;
        band.hwndChild = m_toolbar;
        band.cxMinChild = 0;
        band.cyMinChild = 24;
        SendMessageW(rebar, RB_INSERTBANDW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&band));
    }
    InstallPollToolbarSubclass(m_toolbar, ToolbarButtonState);
}

void CPolling::UpdateToolbar()
{
    if (m_kind != 1 || !m_editor)
        return;
    const PollTree& tree = m_editor->Tree();
    const PollNode* selected = m_editor->Selected();
    const bool editing = m_state == State::Editing;
    const bool hasQuestion = tree.QuestionCount() > 0;
    int enabled[kPollButtons] = {
        editing,
        (editing && hasQuestion && tree.modified) || (m_state == State::Closed && !m_resultsSaved),
        editing && selected,
        editing && selected,
        editing && hasQuestion,
        editing && selected && selected->IndexInParent() > 0,
        editing && selected && selected->IndexInParent() + 1 < selected->parent->children.size(),
    };
    for (int n = 0; n < kPollButtons; ++n) {
        SetToolbarButtonState(kPollButtonFirst + n, enabled[n]);
        if (m_toolbar)
            SendMessageW(m_toolbar, TB_ENABLEBUTTON, kPollButtonFirst + n, MAKELONG(enabled[n] != 0, 0));
    }
}

void CPolling::SetState(State state)
{
    m_state = state;
    if (m_kind != 1)
        return;
    const bool editing = state == State::Editing;
    if (m_detail)
        ShowWindow(m_detail, SW_HIDE);
    ShowWindow(m_editor->Window(), editing ? SW_SHOW : SW_HIDE);
    ShowWindow(m_results->Window(), editing ? SW_HIDE : SW_SHOW);
    for (int id : {IDC_POLL_KIND, IDC_POLL_NEW, IDC_POLL_ADD})
        EnableWindow(GetDlgItem(m_hWnd, id), editing);
    ShowWindow(GetDlgItem(m_hWnd, IDC_POLL_OPEN), editing ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(m_hWnd, IDC_POLL_END), state == State::Open ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(m_hWnd, IDC_POLL_NEW_POLL), state == State::Closed ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(m_hWnd, IDC_POLL_STATUS), state == State::Open ? SW_SHOW : SW_HIDE);
    if (!editing)
        SetFocus(m_results->Window());
    UpdateToolbar();
}

void CPolling::ShowStatus()
{
    wchar_t counts[48];
    std::swprintf(counts, std::size(counts), L"%zu/%zu", m_tally.Answered(), m_tally.Asked());
    SetDlgItemTextW(m_hWnd, IDC_POLL_STATUS, (Res(IDS_POLL_STATUS) + L" " + counts).c_str());
    const PollResultTexts texts{WideToAnsi(Res(IDS_POLL_ANSWERS), kCodePageUtf8),
                                WideToAnsi(Res(IDS_POLL_NO_ANSWER), kCodePageUtf8)};
    m_results->UpdateResults(m_tally.Record(), m_tally.Asked(), m_tally.GetState() == PollTally::State::Closed, texts);
}

void CPolling::ShowDetail(const std::wstring& text)
{
    if (!m_detail)
        return;
    SetDlgItemTextW(m_detail, IDC_POLL_DETAIL_TEXT, text.c_str());
    ShowWindow(m_results->Window(), SW_HIDE);
    ShowWindow(m_detail, SW_SHOW);
}

bool CPolling::OnCommand(int id)
{
    if (m_kind == 2) {
        if (id != IDC_POLL_SUBMIT)
            return false;
        Submit();
        return true;
    }
    if (id >= kPollButtonFirst && id <= kPollButtonLast) {
        if (ToolbarButtonState(id))
            OnToolbarCommand(id);
        UpdateToolbar();
        return true;
    }
    switch (id) {
    case IDC_POLL_NEW: {
        static const int kinds[] = {kPollRadioQuestion, kPollCheckQuestion, kPollShortQuestion};
        LRESULT index = SendDlgItemMessageW(m_hWnd, IDC_POLL_KIND, CB_GETCURSEL, 0, 0);
        if (m_state == State::Editing && index >= 0 && index < 3)
            m_editor->NewQuestion(kinds[index]);
        break;
    }
    case IDC_POLL_ADD:
        if (m_state == State::Editing)
            m_editor->AddOption();
        break;
    case IDC_POLL_OPEN:
        if (m_state == State::Editing)
            OpenPoll();
        break;
    case IDC_POLL_END:
        if (m_state == State::Open)
            ClosePoll();
        break;
    case IDC_POLL_NEW_POLL:
        if (m_state == State::Closed)
            NewPoll();
        break;
    default: return false;
    }
    UpdateToolbar();
    return true;
}

void CPolling::OnToolbarCommand(int id)
{
    switch (id) {
    case IDC_POLL_TB_OPEN: OpenFile(); break;
    case IDC_POLL_TB_SAVE: Save(); break;
    case IDC_POLL_TB_EDIT: m_editor->BeginEdit(m_editor->Selected(), CPollTree::EditMode::Existing); break;
    case IDC_POLL_TB_DELETE: m_editor->DeleteSelected(); break;
    case IDC_POLL_TB_CLEAR:
        m_editor->ResetTree();
        m_editor->Tree().modified = true;
        break;
    case IDC_POLL_TB_UP: m_editor->MoveSelected(true); break;
    case IDC_POLL_TB_DOWN: m_editor->MoveSelected(false); break;
    default: break;
    }
}

// --- opening, counting and ending a poll (editing panel) --------------------------

void CPolling::StartPopup(std::function<void()> job)
{
    if (!m_popup.Start(std::move(job), m_hWnd, WM_POLL_POPUP_DONE))
        DHLog::Instance().Print(0x80, 2, false, "A polling dialog is open already.\n");
}

void CPolling::OpenPoll()
{
    if (m_popup.Running())
        return;
    m_context->LogPollEvent(3, Res(IDS_POLL_LOG_OPEN).c_str());
    m_job = PopupJob();
    m_pollText = m_editor->Tree().BuildOpenText(m_context != nullptr, &m_job.record);
    HWND owner = m_hWnd;
    if (m_pollText.empty()) {
        m_job.kind = Popup::Warning;
        StartPopup([owner] { Box(owner, IDS_POLL_NO_QUESTIONS, IDS_POLL_WARNING, MB_OK | MB_ICONWARNING | MB_TOPMOST); });
        return;
    }
    // The list's lock is held only while the list is read, never over a box.
    m_job.asked = m_context->OtherParticipants();
    if (m_job.asked.empty()) {
        m_job.kind = Popup::Warning;
        m_job.record.clear();
        StartPopup([owner] { Box(owner, IDS_POLL_NO_USERS, IDS_POLL_WARNING, MB_OK | MB_ICONWARNING | MB_TOPMOST); });
        return;
    }
    if (!m_editor->Tree().modified) {
        SendPoll();
        return;
    }
    m_job.kind = Popup::AskSaveQuestions;
    m_job.bytes = m_pollText;
    SaveOnPopup(IDS_POLL_SAVE_QUESTIONS, MB_YESNOCANCEL, false);
}

void CPolling::SaveOnPopup(UINT question, UINT buttons, bool results)
{
    HWND owner = m_hWnd;
    PopupJob* job = &m_job;
    PollPopupThread* popup = &m_popup;
    std::wstring filter = results ? Filter({{IDS_POLL_FILTER_RESULTS, L"*.plpr"}})
                                  : Filter({{IDS_POLL_FILTER_POLL, L"*.plp"}});
    StartPopup([owner, job, popup, filter, question, buttons, results] {
        job->answer = question ? Box(owner, question, IDS_POLL_TITLE, buttons | MB_ICONQUESTION) : IDYES;
        if (job->answer != IDYES || popup->Cancelled())
            return;
        std::wstring path = AskPath(owner, true, filter, results ? L"plpr" : L"plp");
        job->saved = !path.empty() && WriteWholeFile(path, job->bytes);
        if (!path.empty() && !job->saved)
            DHLog::Instance().Print(0x80, 2, false, "The poll file could not be written.\n");
    });
}

void CPolling::SendPoll()
{
    // Set first: the appliance's echo of the text must find this client the owner.
    m_context->SetPollFlags(true, true);
    if (!m_context->SendPollPacket(PLP_POLL_OPEN_LAST, m_pollText))
        DHLog::Instance().Print(0x80, 2, false, "The poll text could not be sent.\n");
    m_tally.Open(std::move(m_job.record), std::move(m_job.asked));
    m_job = PopupJob();
    m_resultsSaved = true;
    SetState(State::Open);
    ShowStatus();
}

void CPolling::ClosePoll()
{
    m_context->LogPollEvent(3, Res(IDS_POLL_LOG_END).c_str());
    m_context->SendPollPacket(PLP_POLL_CLOSE, {});
    FinishPoll();
}

void CPolling::FinishPoll()
{
    m_tally.Finish();
    if (!m_tally.Record().empty() && m_tally.Asked() > 0) {
        ShowStatus();
        SetState(State::Closed);
        m_resultsSaved = false;
    }
    m_context->SetPollFlags(false, false);
    UpdateToolbar();
}

void CPolling::OnSubmitReceived(const std::string& text)
{
    if (m_kind != 1)
        return;
    using S = PollTally::Submit;
    switch (m_tally.OnSubmit(text)) {
    case S::Ignored:
        DHLog::Instance().Print(0x80, 2, false, "A poll submit that is not one, or with no poll open, was ignored.\n");
        return;
    case S::NotAsked:
        DHLog::Instance().Print(0x80, 2, false, "A poll submit from a participant not asked was ignored.\n");
        return;
    case S::Repeated:
        DHLog::Instance().Print(0x80, 2, false, "A second poll submit of a participant was ignored.\n");
        return;
    case S::Partial:
        DHLog::Instance().Print(0x80, 2, false, "A poll submit cut short was read in part and not counted.\n");
        ShowStatus();
        return;
    case S::Late:
        ShowStatus();
        return;
    case S::Counted: ShowStatus(); return;
    case S::Last: EndByLastAnswer(); return;
    }
}

void CPolling::SyncParticipants(const PollPeople& present)
{
    if (m_kind != 1 || m_tally.GetState() != PollTally::State::Open)
        return;
    bool last = false;
    for (const auto& asked : PollPeople(m_tally.AskedPeople())) {
        auto now = present.find(asked.first);
        if (now == present.end())
            last = m_tally.OnDeparted(asked.first) || last;
        else if (now->second != asked.second)
            m_tally.Rename(asked.first, now->second);
    }
    if (last)
        EndByLastAnswer();
    else
        ShowStatus();
}

void CPolling::EndByLastAnswer()
{
    m_context->SendPollPacket(PLP_POLL_CLOSE, {});
    m_context->LogPollEvent(3, Res(IDS_POLL_LOG_ALL_ANSWERED).c_str());
    FinishPoll();
}

void CPolling::NewPoll()
{
    if (m_popup.Running())
        return;
    m_context->LogPollEvent(3, Res(IDS_POLL_LOG_NEW).c_str());
    if (m_resultsSaved) {
        BackToEditing();
        return;
    }
    m_job = PopupJob();
    m_job.kind = Popup::AskSaveResults;
    m_job.bytes = BuildResultFile(m_pollText, m_tally.AskedPeople(), m_tally.Submits());
    SaveOnPopup(IDS_POLL_SAVE_RESULTS, MB_YESNO, true);
}

void CPolling::BackToEditing()
{
    m_tally.Reset();
    m_pollText.clear();
    m_editor->ResetTree();
    m_editor->Tree().modified = false;
    m_results->ResetTree();
    m_resultsSaved = true;
    SetState(State::Editing);
}

void CPolling::Save()
{
    if (m_popup.Running())
        return;
    m_job = PopupJob();
    m_job.kind = Popup::Save;
    m_job.results = m_state == State::Closed;
    if (m_job.results) {
        if (m_pollText.empty() || m_tally.Submits().empty() || m_tally.Asked() == 0)
            return;
        m_job.bytes = BuildResultFile(m_pollText, m_tally.AskedPeople(), m_tally.Submits());
    } else {
        m_job.bytes = m_editor->Tree().BuildOpenText(true, nullptr);
        if (m_job.bytes.empty())
            return;
    }
    SaveOnPopup(0, 0, m_job.results);
}

void CPolling::OpenFile()
{
    if (m_popup.Running())
        return;
    m_job = PopupJob();
    m_job.kind = Popup::Open;
    HWND owner = m_hWnd;
    PopupJob* job = &m_job;
    std::wstring filter = Filter({{IDS_POLL_FILTER_POLL, L"*.plp"}, {IDS_POLL_FILTER_OPEN_RESULTS, L"*.plpr"}});
    StartPopup([owner, job, filter] {
        std::wstring path = AskPath(owner, false, filter, L"plp");
        if (path.empty())
            return;
        job->results = path.back() == L'r' || path.back() == L'R';
        job->saved = ReadWholeFile(path, job->bytes);
        if (!job->saved)
            DHLog::Instance().Print(0x80, 2, false, "The poll file could not be read.\n");
    });
}

void CPolling::OnPopupDone()
{
    m_popup.Join();
    PopupJob job = std::move(m_job);
    m_job = PopupJob();
    switch (job.kind) {
    case Popup::AskSaveQuestions:
        if (job.answer == IDCANCEL)
            break;
        if (job.saved)
            m_editor->Tree().modified = false;
        m_job.record = std::move(job.record);
        m_job.asked = std::move(job.asked);
        SendPoll();
        break;
    case Popup::AskSaveResults:
        BackToEditing();
        break;
    case Popup::Save:
        if (!job.saved)
            break;
        if (job.results)
            m_resultsSaved = true;
        else
            m_editor->Tree().modified = false;
        break;
    case Popup::Open:
        if (!job.saved)
            break;
        if (job.results) {
            PollResults results;
            int code = ReadResultFile(job.bytes, results);
            if (code != kPollResultLoaded) {
                DHLog::Instance().Print(0x80, 2, false, "The poll result file was not loaded (%d).\n", code);
                break;
            }
            m_pollText = BuildPollText(results.record);
            m_tally.Adopt(std::move(results));
            SetState(State::Closed);
            ShowStatus();
            m_resultsSaved = true;
        } else if (!m_editor->LoadPollFile(job.bytes)) {
            DHLog::Instance().Print(0x80, 2, false, "The file is not a poll file.\n");
        }
        break;
    case Popup::Warning:
    case Popup::None: break;
    }
    UpdateToolbar();
}

// --- answering panel ------------------------------------------------------------

void CPolling::OnPollReceived(const std::string& text)
{
    if (m_kind != 2)
        return;
    // A text that is not a poll, or one without a question, would show a
    // panel that nothing can submit or close: it is dropped, and unless a
    // poll is shown already, no poll is active here.
    if (!m_editor->ParseOpenText(text) || m_editor->Tree().QuestionCount() == 0) {
        DHLog::Instance().Print(0x80, 2, false, "A poll text without questions was ignored.\n");
        m_editor->ResetTree();
        if (!IsWindowVisible(m_hWnd))
            m_context->SetPollFlags(false, false);
        return;
    }
    ShowWindow(m_hWnd, SW_SHOW);
    BringWindowToTop(m_hWnd);
}

void CPolling::Submit()
{
    if (m_kind != 2 || !IsWindowVisible(m_hWnd))
        return;
    m_editor->CommitEdit();
    std::string text = m_editor->Tree().BuildSubmitText(m_context->OwnSessionId(), m_context->OwnDisplayName());
    if (text.empty())
        return;
    m_context->LogPollEvent(3, Res(IDS_POLL_LOG_SUBMIT).c_str());
    if (!m_context->SendPollPacket(PLP_POLL_SUBMIT, text))
        DHLog::Instance().Print(0x80, 2, false, "The poll answers could not be sent.\n");
    m_editor->ResetTree();
    ShowWindow(m_hWnd, SW_HIDE);
}
