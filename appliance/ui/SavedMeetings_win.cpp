// The saved-meetings side of the meeting setup window: the list beside the
// frame, and loading, saving and deleting saved meetings.
#include "appliance/ui/MeetingSetup_win.h"

#include "appliance/cgi/CgiResult.h"
#include "appliance/cgi/MeetingForm.h"
#include "appliance/cgi/MeetingRequests.h"
#include "appliance/ui/MeetingSetupResources.h"
#include "appliance/ui/SetupOutcome.h"
#include "appliance/ui/SetupText_win.h"
#include "core/base/DHLog.h"
#include "core/base/PlainSecret.h"
#include "core/base/SecureZero.h"
#include "core/base/StoredSecret.h"
#include "core/base/TextConvert.h"
#include "core/base/ThreadMessages.h"
#include "core/base/WindowUtil.h"

#include <commctrl.h>

#include <cstdio>
#include <vector>

namespace {

// Longest suggested name shown in the clash question.
constexpr size_t kSuggestedNameMax = 128;

std::wstring Trimmed(const std::wstring& text)
{
    const size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos)
        return L"";
    const size_t last = text.find_last_not_of(L" \t");
    return text.substr(first, last - first + 1);
}

int32_t BiasMinutes(const CgiSession& session)
{
    // The system's bias: UTC = local + bias.
    return -session.utcOffsetMinutes();
}

void AddColumn(HWND list, int index, UINT text, int width)
{
    LVCOLUMNW c{};
    c.mask = LVCF_TEXT | LVCF_WIDTH;
    c.cx = width;
    c.pszText = const_cast<wchar_t*>(SetupText(text));
    SendMessageW(list, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&c));
}

} // namespace

INT_PTR CALLBACK CMeetingSetup::SavedListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CMeetingSetup*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
        self->m_savedList = hwnd;
        self->InitSavedList();
        return FALSE;
    }
    auto* self = reinterpret_cast<CMeetingSetup*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return self ? self->SavedListMessage(msg, wParam, lParam) : FALSE;
}

void CMeetingSetup::InitSavedList()
{
    PrepareOwnDialog(m_savedList, IDS_SAVED_LIST_TITLE);
    SetDlgItemTextW(m_savedList, IDOK, SetupText(IDS_SAVED_LOAD));
    SetDlgItemTextW(m_savedList, IDC_SAVED_DELETE, SetupText(IDS_SAVED_DELETE));
    SetDlgItemTextW(m_savedList, IDC_SAVED_EDIT, SetupText(IDS_SAVED_EDIT));
    SetDlgItemTextW(m_savedList, IDCANCEL, SetupText(IDS_BUTTON_CANCEL_TEXT));
    HWND list = GetDlgItem(m_savedList, IDC_SAVED_LIST);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    RECT r{};
    GetClientRect(list, &r);
    const int third = (r.right - r.left) / 3;
    AddColumn(list, 0, IDS_SAVED_COL_NAME, third);
    AddColumn(list, 1, IDS_SAVED_COL_CREATOR, third);
    AddColumn(list, 2, IDS_SAVED_COL_TIME, third);
    EnableSavedButtons(false);
}

void CMeetingSetup::EnableSavedButtons(bool enable)
{
    for (int id : {IDOK, IDC_SAVED_DELETE, IDC_SAVED_EDIT})
        EnableWindow(GetDlgItem(m_savedList, id), enable ? TRUE : FALSE);
}

INT_PTR CMeetingSetup::SavedListMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_TIMER:
        if (wParam == kSavedListTimer)
            ShowSavedList(true);
        return TRUE;
    case WM_NOTIFY: {
        const auto* n = reinterpret_cast<const NMHDR*>(lParam);
        if (n->idFrom == IDC_SAVED_LIST && n->code == NM_CLICK)
            OnSavedListClick();
        return FALSE;
    }
    case WM_SHOWWINDOW:
        if (wParam)
            EnableSavedButtons(false);
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:  // Load: the saved meeting becomes a new meeting's template
            m_loadedRowId = -1;
            m_editing = false;
            EnableForm(true);
            HideSavedList();
            return TRUE;
        case IDC_SAVED_EDIT: LoadSavedMeeting(m_loadedRowId, true); return TRUE;
        case IDC_SAVED_DELETE:
            OnDeleteMeeting();
            ClearForm();
            return TRUE;
        case IDCANCEL:
            if (m_rowSelected)
                ClearForm();
            HideSavedList();
            return TRUE;
        default: return FALSE;
        }
    case WM_CLOSE:
        if (m_rowSelected)
            ClearForm();
        HideSavedList();
        return TRUE;
    case WM_DESTROY: SetWindowLongPtrW(m_savedList, GWLP_USERDATA, 0); return FALSE;
    default: return FALSE;
    }
}

void CMeetingSetup::ShowSavedList(bool timerTick)
{
    if (!RefreshSavedList() || timerTick || IsWindowVisible(m_savedList))
        return;
    SetTimer(m_savedList, kSavedListTimer, kSavedListPeriodMs, nullptr);
    RECT frame{}, list{}, desk{};
    GetWindowRect(Window(), &frame);
    GetWindowRect(m_savedList, &list);
    GetWorkArea(&desk);
    const int width = list.right - list.left;
    const int x = desk.right - frame.right > width + kSavedListRoom ? frame.right + kSavedListGap
                                                                     : frame.left - kSavedListGap - width;
    SetWindowPos(m_savedList, nullptr, x, frame.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    m_rowSelected = false;
    ShowWindow(m_savedList, SW_SHOW);
}

void CMeetingSetup::HideSavedList()
{
    KillTimer(m_savedList, kSavedListTimer);
    ShowWindow(m_savedList, SW_HIDE);
    m_rowSelected = false;
}

bool CMeetingSetup::RefreshSavedList()
{
    CgiSession& session = m_context.PreparedSession();
    std::vector<MeetingInfo> fresh;
    const int32_t result = CgiGetMeetingInfo(session, &fresh, BiasMinutes(session));
    if (result == CGI_SESSION_EXPIRED && m_mode == SetupMode::NewMeeting) {
        // The session is over: as the meeting list does, back to the login.
        HideSavedList();
        MessageBoxW(m_form, SetupText(IDS_SETUP_SESSION_EXPIRED), SetupText(IDS_WARNING_CAPTION),
                    MB_OK | MB_ICONWARNING);
        Log(2, FormatSetupText(512, IDS_LOG_SETUP_SESSION_EXPIRED, m_context.EventPrefix().c_str()));
        Post(PLM_LOGOUT, 0, 0);
        return false;
    }
    if (result != CGI_OK)
        return true;  // the rows shown stay
    for (MeetingInfo& m : fresh)
        UnescapeMeetingInfo(m);
    m_saved = std::move(fresh);
    HWND list = GetDlgItem(m_savedList, IDC_SAVED_LIST);
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    int row = 0;
    for (const MeetingInfo& m : m_saved) {
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = row;
        item.pszText = const_cast<wchar_t*>(m.meetingname.c_str());
        item.lParam = m.rowid;
        const int at = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        const std::wstring user = FromUtf8(m.username), stamp = FromUtf8(m.stamp);
        LVITEMW sub{};
        sub.iSubItem = 1;
        sub.pszText = const_cast<wchar_t*>(user.c_str());
        SendMessageW(list, LVM_SETITEMTEXTW, at, reinterpret_cast<LPARAM>(&sub));
        sub.iSubItem = 2;
        sub.pszText = const_cast<wchar_t*>(stamp.c_str());
        SendMessageW(list, LVM_SETITEMTEXTW, at, reinterpret_cast<LPARAM>(&sub));
        ++row;
    }
    return true;
}

int CMeetingSetup::SelectedRowId() const
{
    HWND list = GetDlgItem(m_savedList, IDC_SAVED_LIST);
    const int row = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (row < 0)
        return -1;
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
        return -1;
    return static_cast<int>(item.lParam);
}

const MeetingInfo* CMeetingSetup::FindSaved(int rowid) const
{
    for (const MeetingInfo& m : m_saved)
        if (m.rowid == rowid)
            return &m;
    return nullptr;
}

void CMeetingSetup::OnSavedListClick()
{
    const int rowid = SelectedRowId();
    if (rowid >= 0 && FindSaved(rowid)) {
        EnableSavedButtons(true);
        m_rowSelected = true;
        LoadSavedMeeting(rowid, false);
        return;
    }
    EnableSavedButtons(false);
    if (!m_saved.empty())
        ClearForm();
}

void CMeetingSetup::LoadSavedMeeting(int rowid, bool edit)
{
    const MeetingInfo* m = FindSaved(rowid);
    if (!m)
        return;
    SetDlgItemTextW(m_form, IDC_SETUP_NAME, m->meetingname.c_str());
    {
        s_mem plain;
        if (DecryptStoredString(plain, m->meetingcode) == 1) {
            SetDlgItemTextW(m_form, IDC_SETUP_CODE, FromUtf8(reinterpret_cast<const char*>(plain.Data())).c_str());
            SecureZero(plain.Data(), plain.Length());
        } else {
            SetDlgItemTextW(m_form, IDC_SETUP_CODE, L"");
        }
    }
    const struct {
        const std::string& text;
        int date;
        int time;
    } times[] = {{m->meetingstart, IDC_SETUP_START_DATE, IDC_SETUP_START_TIME},
                 {m->meetingend, IDC_SETUP_END_DATE, IDC_SETUP_END_TIME}};
    for (const auto& t : times) {
        LocalTime date;
        std::string clock;
        if (SplitSavedTime(t.text, date, clock)) {
            SetPickerDate(GetDlgItem(m_form, t.date), date);
            SetDlgItemTextW(m_form, t.time, FromUtf8(clock).c_str());
        } else {
            Log(2, FormatSetupText(512, IDS_LOG_SAVED_TIME_UNREADABLE, m_context.EventPrefix().c_str(),
                                   FromUtf8(t.text.substr(0, 32)).c_str()));
        }
    }
    SetDlgItemTextW(m_form, IDC_SETUP_DESCRIPTION, m->meetingdescription.c_str());
    SetDlgItemTextW(m_form, IDC_SETUP_REQUIRED, m->requrieemails.c_str());
    SetDlgItemTextW(m_form, IDC_SETUP_OPTIONAL, m->optionalemails.c_str());
    SetDlgItemTextW(m_form, IDC_SETUP_COORDINATOR, m->inviteremail.c_str());
    SetDlgItemTextW(m_form, IDC_SETUP_MESSAGE, m->custmsg.c_str());
    m_editing = edit;
    m_loadedRowId = rowid;
    EnableForm(edit);
}

void CMeetingSetup::OnSaveMeeting()
{
    const std::wstring name = Trimmed(Field(IDC_SETUP_NAME, 256));
    if (name.empty()) {
        SetDlgItemTextW(m_form, IDC_SETUP_NAME, L"");
        MessageBoxW(m_form, SetupText(IDS_NAME_REQUIRED), SetupText(IDS_MEETING_SETUP), MB_OK | MB_ICONINFORMATION);
        return;
    }
    MeetingInfo info;
    info.meetingname = name;
    {
        std::string code = ToUtf8(Field(IDC_SETUP_CODE, 8));
        if (!code.empty()) {
            std::vector<char> buffer(code.begin(), code.end());
            buffer.push_back('\0');
            EncryptStoredString(buffer.data(), info.meetingcode);
            SecureWipe(code);
        }
    }
    info.meetingdescription = Field(IDC_SETUP_DESCRIPTION, 255);
    info.meetingstart = TimeText(IDC_SETUP_START_DATE, IDC_SETUP_START_TIME);
    info.meetingend = TimeText(IDC_SETUP_END_DATE, IDC_SETUP_END_TIME);
    info.requrieemails = Field(IDC_SETUP_REQUIRED, kInviteAddressesMax);
    info.optionalemails = Field(IDC_SETUP_OPTIONAL, kInviteAddressesMax);
    info.inviteremail = Field(IDC_SETUP_COORDINATOR, kInviteCoordinatorMax);
    info.custmsg = Field(IDC_SETUP_MESSAGE, kInviteMessageMax);
    const LocalTime now = m_context.Zone().FromEpoch(m_context.Now());
    char stamp[32];
    std::snprintf(stamp, sizeof(stamp), "%.4d/%.2d/%.2d %.2d:%.2d", now.year, now.month, now.day, now.hour,
                  now.minute);
    info.stamp = stamp;
    EscapeMeetingInfo(info);
    int32_t mode = 0;
    if (m_loadedRowId >= 0) {
        mode = 2;
        info.rowid = m_loadedRowId;
    }

    CgiSession& session = m_context.PreparedSession();
    std::wstring shownName = name;
    std::wstring clash;
    int32_t result = CgiSaveMeetingInfo(session, &info, BiasMinutes(session), mode, &clash);
    if (result == CGI_SAVED_NAME_USED) {
        const std::wstring suggested = UnescapeField(clash).substr(0, kSuggestedNameMax);
        const std::wstring question = FormatSetupText(1024, IDS_SAVE_CLASH, name.c_str(), suggested.c_str());
        switch (MessageBoxW(m_form, question.c_str(), SetupText(IDS_MEETING_SETUP_INFO),
                            MB_YESNOCANCEL | MB_ICONQUESTION)) {
        case IDYES: result = CgiSaveMeetingInfo(session, &info, BiasMinutes(session), 1, nullptr); break;
        case IDNO:
            shownName = suggested;
            info.meetingname = EscapeField(suggested);
            result = CgiSaveMeetingInfo(session, &info, BiasMinutes(session), 0, nullptr);
            break;
        default: return;
        }
    }
    const std::wstring prefix = m_context.EventPrefix();
    const std::wstring user = m_context.OwnDisplayName();
    if (result == CGI_OK) {
        Status(STATUS_NORMAL, FormatSetupText(256, IDS_SAVED_NAMED, shownName.c_str()));
        Log(3, FormatSetupText(512, IDS_LOG_SAVED_NAMED, prefix.c_str(), user.c_str(), shownName.c_str()));
    } else {
        Status(STATUS_ERROR, FormatSetupText(256, IDS_SAVE_FAILED_NAMED, shownName.c_str()));
        Log(2, FormatSetupText(512, IDS_LOG_SAVE_FAILED_NAMED, prefix.c_str(), user.c_str(), shownName.c_str()));
    }
    if (m_loadedRowId >= 0)
        ClearForm();
    RefreshSavedList();
}

void CMeetingSetup::OnDeleteMeeting()
{
    const MeetingInfo* found = FindSaved(SelectedRowId());
    if (!found)
        return;
    const MeetingInfo meeting = *found;  // the reload below replaces the vector
    const int32_t result = CgiDeleteMeetingInfo(m_context.PreparedSession(), &meeting);
    const OutcomeTexts texts = DeleteTexts(result, !meeting.meetingname.empty());
    if (texts.status) {
        const std::wstring prefix = m_context.EventPrefix();
        const std::wstring user = m_context.OwnDisplayName();
        Status(result == CGI_OK ? STATUS_NORMAL : STATUS_ERROR,
               FormatSetupText(256, texts.status, meeting.meetingname.c_str()));
        Log(result == CGI_OK ? 3 : 2,
            FormatSetupText(512, texts.log, prefix.c_str(), user.c_str(), meeting.meetingname.c_str()));
    }
    RefreshSavedList();
}
