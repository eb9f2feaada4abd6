#include "appliance/ui/MeetingSetup_win.h"

#include "appliance/cgi/CgiResult.h"
#include "appliance/cgi/MeetingForm.h"
#include "appliance/cgi/MeetingRequests.h"
#include "appliance/ui/AddressList_win.h"
#include "appliance/ui/MeetingSetupResources.h"
#include "appliance/ui/SetupOutcome.h"
#include "appliance/ui/SetupText_win.h"
#include "core/base/DHLog.h"
#include "core/base/DialogKeys_win.h"
#include "core/base/SecureZero.h"
#include "core/base/StoredSecret.h"
#include "core/base/TextConvert.h"
#include "core/base/ThreadMessages.h"
#include "core/base/WindowUtil.h"

#include <commctrl.h>

#include <vector>

namespace {

constexpr int kLayoutMargin = 5;
constexpr int kStatusAreaHeight = 64;  // the frame's status box under the form
constexpr uint8_t kMeetingLog = 0x80;

constexpr int kOptionalSection[] = {
    IDC_SETUP_DESCRIPTION_LABEL, IDC_SETUP_DESCRIPTION,     IDC_SETUP_REQUIRED_LABEL,    IDC_SETUP_REQUIRED,
    IDC_SETUP_REQUIRED_LIST,     IDC_SETUP_OPTIONAL_LABEL,  IDC_SETUP_OPTIONAL,          IDC_SETUP_OPTIONAL_LIST,
    IDC_SETUP_COORDINATOR_LABEL, IDC_SETUP_COORDINATOR,     IDC_SETUP_MESSAGE_LABEL,     IDC_SETUP_MESSAGE,
};
constexpr int kBelowSection[] = {IDC_SETUP_LOBBY, IDC_SETUP_EXPAND, IDC_SETUP_SAVE, IDC_SETUP_VIEW,
                                 IDC_SETUP_START_NOW, IDOK, IDCANCEL};
constexpr int kFormFields[] = {IDC_SETUP_NAME,        IDC_SETUP_CODE,     IDC_SETUP_START_DATE, IDC_SETUP_START_TIME,
                               IDC_SETUP_END_DATE,    IDC_SETUP_END_TIME, IDC_SETUP_DESCRIPTION, IDC_SETUP_REQUIRED,
                               IDC_SETUP_OPTIONAL,    IDC_SETUP_COORDINATOR, IDC_SETUP_MESSAGE, IDC_SETUP_SAVE,
                               IDC_SETUP_REQUIRED_LIST, IDC_SETUP_OPTIONAL_LIST};
constexpr int kTabOrder[] = {IDC_SETUP_NAME,          IDC_SETUP_CODE,      IDC_SETUP_START_DATE, IDC_SETUP_END_DATE,
                             IDC_SETUP_LOBBY,         IDC_SETUP_EXPAND,    IDC_SETUP_DESCRIPTION, IDC_SETUP_REQUIRED,
                             IDC_SETUP_REQUIRED_LIST, IDC_SETUP_OPTIONAL,  IDC_SETUP_OPTIONAL_LIST, IDC_SETUP_COORDINATOR,
                             IDC_SETUP_MESSAGE,       IDC_SETUP_START_NOW, IDOK, IDCANCEL, IDC_SETUP_SAVE,
                             IDC_SETUP_VIEW};

struct Limit {
    int id;
    size_t max;
};
// What each field holds is what the form reads and what an invitation carries.
constexpr Limit kLimits[] = {
    {IDC_SETUP_NAME, 128},
    {IDC_SETUP_CODE, 8},
    {IDC_SETUP_REQUIRED, kInviteAddressesMax},
    {IDC_SETUP_OPTIONAL, kInviteAddressesMax},
    {IDC_SETUP_COORDINATOR, kInviteCoordinatorMax},
    {IDC_SETUP_MESSAGE, kInviteMessageMax},
    {IDC_SETUP_DESCRIPTION, 255},
};

struct Label {
    int id;
    UINT text;
};
constexpr Label kLabels[] = {
    {IDC_SETUP_NAME_LABEL, IDS_SETUP_NAME_LABEL},       {IDC_SETUP_CODE_LABEL, IDS_SETUP_CODE_LABEL},
    {IDC_SETUP_START_DATE_LABEL, IDS_SETUP_START_DATE}, {IDC_SETUP_START_TIME_LABEL, IDS_SETUP_TIME},
    {IDC_SETUP_END_DATE_LABEL, IDS_SETUP_END_DATE},     {IDC_SETUP_END_TIME_LABEL, IDS_SETUP_TIME},
    {IDC_SETUP_LOBBY, IDS_SETUP_LOBBY},                 {IDC_SETUP_DESCRIPTION_LABEL, IDS_SETUP_DESCRIPTION},
    {IDC_SETUP_REQUIRED_LABEL, IDS_REQUIRED_EMAILS},    {IDC_SETUP_OPTIONAL_LABEL, IDS_OPTIONAL_EMAILS},
    {IDC_SETUP_COORDINATOR_LABEL, IDS_COORDINATOR_EMAIL}, {IDC_SETUP_MESSAGE_LABEL, IDS_ADDITIONAL_MESSAGE},
    {IDOK, IDS_BUTTON_OK_TEXT},                         {IDCANCEL, IDS_BUTTON_CANCEL_TEXT},
    {IDC_SETUP_START_NOW, IDS_SETUP_START_NOW},         {IDC_SETUP_SAVE, IDS_SETUP_SAVE},
    {IDC_SETUP_VIEW, IDS_SETUP_VIEW},
};

// The code as a StoredSecret; the plain text is wiped.
s_mem Protect(std::string& code)
{
    s_mem secret;
    if (!code.empty()) {
        std::vector<char> buffer(code.begin(), code.end());
        buffer.push_back('\0');
        EncryptStoredString(buffer.data(), secret);
    }
    SecureZero(&code[0], code.size());
    return secret;
}

void MoveBy(HWND parent, int id, int dy)
{
    HWND control = GetDlgItem(parent, id);
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    SetWindowPos(control, nullptr, r.left, r.top + dy, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void GrowBy(HWND window, int dy)
{
    RECT r{};
    GetWindowRect(window, &r);
    SetWindowPos(window, nullptr, 0, 0, r.right - r.left, r.bottom - r.top + dy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int TopOf(HWND parent, int id)
{
    RECT r{};
    GetWindowRect(GetDlgItem(parent, id), &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r.top;
}

} // namespace

CMeetingSetup::CMeetingSetup(SetupContext& context, SetupMode mode)
    : CWindowFrame(context.Instance(), context.MainThreadId()), m_context(context), m_mode(mode)
{
}

CMeetingSetup::~CMeetingSetup()
{
    if (m_savedList) {
        KillTimer(m_savedList, kSavedListTimer);
        DestroyWindow(m_savedList);
    }
    if (m_form)
        SetWindowLongPtrW(m_form, GWLP_USERDATA, 0);
    DestroyFrame();
}

bool CMeetingSetup::Create()
{
    SetIcon(LoadIconW(Instance(), MAKEINTRESOURCEW(IDI_SETUP_APP)));
    HWND frame = CreateFrameDialog(IDD_SETUP_FRAME, false);
    if (!frame)
        return false;
    CreateDialogParamW(Instance(), MAKEINTRESOURCEW(IDD_SETUP_FORM), frame, FormProc, reinterpret_cast<LPARAM>(this));
    if (!m_form)
        return false;
    SwapChildDialog(m_form);
    FitFrameToForm();
    SetExpanded(false);
    ShowWindow(frame, SW_SHOW);
    return true;
}

void CMeetingSetup::FitFrameToForm()
{
    RECT form{}, outer{}, client{};
    GetWindowRect(m_form, &form);
    GetWindowRect(Window(), &outer);
    GetClientRect(Window(), &client);
    const int width = (form.right - form.left) + (outer.right - outer.left) - client.right;
    const int height = (form.bottom - form.top) + kStatusAreaHeight + (outer.bottom - outer.top) - client.bottom;
    SetWindowPos(Window(), nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK CMeetingSetup::FormProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CMeetingSetup*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
        self->m_form = hwnd;
        self->InitForm();
        return FALSE;  // the name field has the focus
    }
    auto* self = reinterpret_cast<CMeetingSetup*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return self ? self->FormMessage(msg, wParam, lParam) : FALSE;
}

void CMeetingSetup::InitForm()
{
    m_savedList = CreateDialogParamW(Instance(), MAKEINTRESOURCEW(IDD_SAVED_LIST), m_form, SavedListProc,
                                     reinterpret_cast<LPARAM>(this));
    m_markerTop = TopOf(m_form, IDC_SETUP_MARKER_TOP);
    m_markerBottom = TopOf(m_form, IDC_SETUP_MARKER_BOTTOM);
    SetWindowLongPtrW(m_form, GWL_EXSTYLE, GetWindowLongPtrW(m_form, GWL_EXSTYLE) | WS_EX_CONTROLPARENT);

    if (m_mode == SetupMode::Reschedule) {
        SetDlgItemTextW(m_form, IDC_SETUP_NAME, FromUtf8(m_context.OpenMeetingName()).c_str());
        {
            s_mem plain;
            const s_mem code = m_context.OpenMeetingCode();
            if (DecryptStoredString(plain, code) == 1) {
                SetDlgItemTextW(m_form, IDC_SETUP_CODE,
                                FromUtf8(reinterpret_cast<const char*>(plain.Data())).c_str());
                SecureZero(plain.Data(), plain.Length());
            }
        }
        for (int id : {IDC_SETUP_NAME, IDC_SETUP_CODE, IDC_SETUP_START_NOW, IDC_SETUP_SAVE, IDC_SETUP_VIEW,
                       IDC_SETUP_EXPAND, IDC_SETUP_LOBBY})
            EnableWindow(GetDlgItem(m_form, id), FALSE);
    }
    CheckDlgButton(m_form, IDC_SETUP_LOBBY, BST_CHECKED);
    for (const Label& l : kLabels)
        SetDlgItemTextW(m_form, l.id, SetupText(l.text));
    SetDlgItemTextW(m_form, IDC_SETUP_EXPAND, L"^");
    for (const Limit& l : kLimits)
        SendDlgItemMessageW(m_form, l.id, EM_LIMITTEXT, l.max, 0);
    FillTimeLists();
    SetFocus(GetDlgItem(m_form, IDC_SETUP_NAME));
    for (int id : kTabOrder)
        InstallKeySubclass(GetDlgItem(m_form, id), DlgButtonEditSubclassProc);
    for (int id : {IDC_SETUP_START_TIME, IDC_SETUP_END_TIME})
        InstallKeySubclass(GetWindow(GetDlgItem(m_form, id), GW_CHILD), EnterTabSubclassProc);
}

void CMeetingSetup::FillTimeLists()
{
    const ScheduleDefaults d = DefaultSchedule(m_context.Zone(), m_context.Now());
    const std::vector<std::string> entries = TimeListEntries();
    const struct {
        int date;
        int time;
        const LocalTime& at;
    } lists[] = {{IDC_SETUP_START_DATE, IDC_SETUP_START_TIME, d.start}, {IDC_SETUP_END_DATE, IDC_SETUP_END_TIME, d.end}};
    for (const auto& l : lists) {
        SetPickerDate(GetDlgItem(m_form, l.date), l.at);
        HWND list = GetDlgItem(m_form, l.time);
        SendMessageW(list, CB_RESETCONTENT, 0, 0);
        for (const std::string& e : entries)
            SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(FromUtf8(e).c_str()));
        SendMessageW(list, CB_SETCURSEL, TimeListIndex(l.at), 0);
    }
}

void CMeetingSetup::SetExpanded(bool expanded)
{
    if (expanded == m_expanded)
        return;
    m_expanded = expanded;
    for (int id : kOptionalSection)
        ShowWindow(GetDlgItem(m_form, id), expanded ? SW_SHOW : SW_HIDE);
    SetDlgItemTextW(m_form, IDC_SETUP_EXPAND, expanded ? L"^" : L"v");
    const int target = (expanded ? m_markerBottom : m_markerTop) + kLayoutMargin;
    const int dy = target - TopOf(m_form, IDC_SETUP_LOBBY);
    for (int id : kBelowSection)
        MoveBy(m_form, id, dy);
    GrowBy(m_form, dy);
    GrowBy(Window(), dy);
    InvalidateRect(m_form, nullptr, TRUE);
}

INT_PTR CMeetingSetup::FormMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CTLCOLORSTATIC:
        SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
        return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
    case WM_CTLCOLORDLG: return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            OnStartOrSchedule(lParam == kStartNowMarker ? kStartNowMarker : 0);
            return TRUE;
        case IDCANCEL:
            if (m_mode == SetupMode::Reschedule)
                Post(PLM_SETUP_DONE, 0, 1);
            else
                Post(PLM_SHOW_MEETING_LIST, 0, 0);
            return TRUE;
        case IDC_SETUP_START_NOW: OnStartNow(); return TRUE;
        case IDC_SETUP_EXPAND: SetExpanded(!m_expanded); return TRUE;
        case IDC_SETUP_REQUIRED_LIST: OnAddressList(IDC_SETUP_REQUIRED); return TRUE;
        case IDC_SETUP_OPTIONAL_LIST: OnAddressList(IDC_SETUP_OPTIONAL); return TRUE;
        case IDC_SETUP_SAVE: OnSaveMeeting(); return TRUE;
        case IDC_SETUP_VIEW: ShowSavedList(false); return TRUE;
        default: return FALSE;
        }
    case WM_DESTROY: SetWindowLongPtrW(m_form, GWLP_USERDATA, 0); return FALSE;
    default: return FALSE;
    }
}

std::wstring CMeetingSetup::Field(int id, size_t max) const
{
    std::wstring text(max + 1, L'\0');
    const UINT n = GetDlgItemTextW(m_form, id, text.data(), static_cast<int>(max + 1));
    text.resize(n);
    return text;
}

std::string CMeetingSetup::TimeText(int dateId, int timeId) const
{
    SYSTEMTIME s{};
    SendDlgItemMessageW(m_form, dateId, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&s));
    LocalTime date;
    date.year = s.wYear;
    date.month = s.wMonth;
    date.day = s.wDay;
    return ScheduleText(date, ToUtf8(Field(timeId, 31)));
}

void CMeetingSetup::Status(int kind, const std::wstring& text)
{
    SetStatusText(kind, text.c_str());
}

void CMeetingSetup::Log(int level, const std::wstring& text)
{
    DHLog::Instance().PrintW(kMeetingLog, level, false, L"%s", text.c_str());
}

void CMeetingSetup::Post(UINT message, WPARAM wParam, LPARAM lParam)
{
    PostThreadMessageW(MainThreadId(), message, wParam, lParam);
}

void CMeetingSetup::OnClose()
{
    if (m_mode == SetupMode::Reschedule) {
        Post(PLM_SETUP_DONE, 0, 1);
        return;
    }
    m_context.Logout();
    Post(PLM_LOGOUT, 0, 0);
}

void CMeetingSetup::OnStartNow()
{
    const LocalTime now = m_context.Zone().FromEpoch(m_context.Now());
    const StartNowTimes times = StartNowTexts(now);
    // Both dates are today's: the form may show tomorrow's half hour.
    SetPickerDate(GetDlgItem(m_form, IDC_SETUP_START_DATE), now);
    SetPickerDate(GetDlgItem(m_form, IDC_SETUP_END_DATE), now);
    SetDlgItemTextW(m_form, IDC_SETUP_START_TIME, FromUtf8(times.start).c_str());
    SetDlgItemTextW(m_form, IDC_SETUP_END_TIME, FromUtf8(times.end).c_str());
    PostMessageW(m_form, WM_COMMAND, IDOK, kStartNowMarker);
}

void CMeetingSetup::OnStartOrSchedule(LPARAM marker)
{
    std::wstring name = Field(IDC_SETUP_NAME, 128);
    std::string code = ToUtf8(Field(IDC_SETUP_CODE, 8));
    const std::wstring description = Field(IDC_SETUP_DESCRIPTION, 255);
    const bool lobby = IsDlgButtonChecked(m_form, IDC_SETUP_LOBBY) == BST_CHECKED;
    const std::string start = TimeText(IDC_SETUP_START_DATE, IDC_SETUP_START_TIME);
    const std::string end = TimeText(IDC_SETUP_END_DATE, IDC_SETUP_END_TIME);

    switch (CheckNameAndCode(name, code)) {
    case NameCodeCheck::Empty:
        SecureZero(&code[0], code.size());
        Status(STATUS_ERROR, SetupText(IDS_NAME_CODE_EMPTY));
        SetDlgItemTextW(m_form, IDC_SETUP_NAME, L"");
        return;
    case NameCodeCheck::BadCharacter:
        SecureZero(&code[0], code.size());
        Status(STATUS_NORMAL, SetupText(IDS_NAME_CODE_CHARACTERS));
        return;
    case NameCodeCheck::Ok: break;
    }
    const int64_t now = m_context.Now();
    int64_t toStart = 0, toEnd = 0;
    if (!SecondsFromNow(m_context.Zone(), now, start, toStart) ||
        !SecondsFromNow(m_context.Zone(), now, end, toEnd)) {
        SecureZero(&code[0], code.size());
        return;  // a time typed by hand that is no time: nothing is sent
    }
    if (marker != kStartNowMarker && toStart <= 0) {
        SecureZero(&code[0], code.size());
        Status(STATUS_ERROR, SetupText(IDS_START_IN_PAST));
        return;
    }
    if (toStart > toEnd) {
        SecureZero(&code[0], code.size());
        Status(STATUS_ERROR, SetupText(IDS_START_AFTER_END));
        return;
    }

    ScheduledMeeting meeting;
    meeting.nameUtf8 = ToUtf8(name);
    meeting.code = Protect(code);
    meeting.startDate = start.substr(0, 10);
    meeting.startTime = start.substr(11);
    meeting.endDate = end.substr(0, 10);
    meeting.endTime = end.substr(11);
    meeting.descriptionUtf8 = ToUtf8(description);
    m_context.KeepMeeting(meeting);

    CgiSession& session = m_context.PreparedSession();
    session.meetingName = meeting.nameUtf8;
    session.meetingPassword = meeting.code;
    session.meetingDescription = meeting.descriptionUtf8;

    if (m_mode == SetupMode::Reschedule) {
        m_context.SetMeetingState(1);
        const int32_t result = CgiRescheduleMeeting(session, toStart, toEnd);
        if (result == CGI_OK)
            Post(PLM_SETUP_DONE, 1, 0);
        else if (result == CGI_RESCHEDULE_FAILED)
            Post(PLM_SETUP_DONE, 0, 0);
        return;
    }
    const int32_t result =
        CgiStartMeeting(session, toStart, toEnd, marker == kStartNowMarker ? kStartNow : 0);
    if (result == CGI_OK) {
        AfterStart(lobby, marker);
        return;
    }
    const OutcomeTexts texts = StartRefusedTexts(result);
    if (texts.status) {
        Status(STATUS_ERROR, SetupText(texts.status));
        Log(2, FormatSetupText(512, texts.log, m_context.EventPrefix().c_str()));
    }
}

void CMeetingSetup::AfterStart(bool lobby, LPARAM marker)
{
    m_context.TakeStartedMeeting();
    InvitationTexts invitation;
    invitation.required = Field(IDC_SETUP_REQUIRED, kInviteAddressesMax);
    invitation.optional = Field(IDC_SETUP_OPTIONAL, kInviteAddressesMax);
    if (!invitation.required.empty() || !invitation.optional.empty()) {
        invitation.coordinator = Field(IDC_SETUP_COORDINATOR, kInviteCoordinatorMax);
        invitation.message = Field(IDC_SETUP_MESSAGE, kInviteMessageMax);
        m_context.SendInvitations(invitation);
    }
    const std::wstring prefix = m_context.EventPrefix();
    Log(3, FormatSetupText(512, IDS_LOG_MEETING_CREATED, prefix.c_str()));
    if (marker != kStartNowMarker && !lobby) {
        Post(PLM_SHOW_MEETING_LIST, 0, 0);
        return;
    }
    int32_t minutes = 0;
    const int32_t join = CgiJoinMeeting(m_context.PreparedSession(), false, &minutes);
    if (join == CGI_OK) {
        Log(3, FormatSetupText(512, IDS_LOG_JOIN_OK, prefix.c_str()));
        Post(PLM_START_MEETING, 0, 0);
        return;
    }
    const OutcomeTexts texts = JoinRefusedTexts(join);
    if (texts.status) {
        if (join == CGI_NOT_OPEN_YET) {
            Status(STATUS_ERROR, FormatSetupText(256, texts.status, minutes));
            Log(2, FormatSetupText(512, texts.log, prefix.c_str(), minutes));
        } else {
            Status(STATUS_ERROR, SetupText(texts.status));
            Log(2, FormatSetupText(512, texts.log, prefix.c_str()));
        }
        return;
    }
    MessageBoxW(nullptr, SetupText(IDS_JOIN_FAILED_BOX), SetupText(IDS_WARNING_CAPTION),
                MB_OK | MB_ICONWARNING | MB_TOPMOST);
    Post(PLM_SHOW_MEETING_LIST, 0, 0);
}

void CMeetingSetup::OnAddressList(int field)
{
    std::wstring addresses = Field(field, kInviteAddressesMax);
    if (DialogBoxParamW(Instance(), MAKEINTRESOURCEW(IDD_ADDRESS_LIST), m_form, ModalAddressListProc,
                        reinterpret_cast<LPARAM>(&addresses)) == IDOK)
        SetDlgItemTextW(m_form, field, addresses.c_str());
}

void CMeetingSetup::EnableForm(bool enable)
{
    for (int id : kFormFields)
        EnableWindow(GetDlgItem(m_form, id), enable ? TRUE : FALSE);
}

void CMeetingSetup::ClearForm()
{
    m_editing = false;
    m_loadedRowId = -1;
    for (int id : {IDC_SETUP_NAME, IDC_SETUP_CODE, IDC_SETUP_DESCRIPTION, IDC_SETUP_REQUIRED, IDC_SETUP_OPTIONAL,
                   IDC_SETUP_COORDINATOR, IDC_SETUP_MESSAGE})
        SetDlgItemTextW(m_form, id, L"");
    FillTimeLists();
    EnableForm(true);
}
