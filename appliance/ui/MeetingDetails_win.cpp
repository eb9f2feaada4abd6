#include "appliance/ui/MeetingDetails_win.h"

#include "appliance/cgi/MeetingListRules.h"
#include "appliance/ui/MeetingListResources.h"
#include "appliance/ui/ResourceText_win.h"
#include "core/base/AppWindows.h"
#include "core/base/TextConvert.h"
#include "core/base/WindowUtil.h"

#include <commctrl.h>

#include <string>

namespace {

constexpr int kTipWidth = 300;

struct Label {
    int control;
    UINT text;
};
constexpr Label kLabels[] = {
    {IDC_DETAILS_TITLE, IDS_DETAILS_TITLE},         {IDC_DETAILS_NAME_LABEL, IDS_DETAILS_NAME},
    {IDC_DETAILS_OWNER_LABEL, IDS_DETAILS_OWNER},   {IDC_DETAILS_START_LABEL, IDS_DETAILS_START},
    {IDC_DETAILS_END_LABEL, IDS_DETAILS_END},       {IDC_DETAILS_STATE_LABEL, IDS_DETAILS_STATE},
    {IDC_DETAILS_SHARING_LABEL, IDS_DETAILS_SHARING}, {IDC_DETAILS_MEMBERS_LABEL, IDS_DETAILS_MEMBERS},
    {IDC_DETAILS_DESCRIPTION_LABEL, IDS_DETAILS_DESCRIPTION}, {IDC_DETAILS_INVITE_LABEL, IDS_DETAILS_INVITE},
    {IDOK, 4020},
};

std::wstring Utf8(const std::string& text)
{
    return AnsiToWide(text, kCodePageUtf8);
}

} // namespace

MeetingDetails::~MeetingDetails()
{
    if (m_tip)
        DestroyWindow(m_tip);
    if (m_hwnd)
        DestroyWindow(m_hwnd);
}

bool MeetingDetails::Create()
{
    if (m_hwnd)
        return true;
    m_hwnd = CreateDialogParamW(m_instance, MAKEINTRESOURCEW(IDD_MEETING_DETAILS), nullptr, Proc, 0);
    if (!m_hwnd)
        return false;
    ShowWindow(m_hwnd, SW_HIDE);
    return true;
}

INT_PTR CALLBACK MeetingDetails::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG:
        for (const Label& l : kLabels)
            SetDlgItemTextW(hwnd, l.control, ResText(l.text));
        MakeOwnLayeredWindow(hwnd);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            ShowWindow(hwnd, SW_HIDE);
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE: ShowWindow(hwnd, SW_HIDE); return TRUE;
    default: return FALSE;
    }
}

bool MeetingDetails::Visible() const
{
    return m_hwnd && IsWindowVisible(m_hwnd);
}

void MeetingDetails::Hide()
{
    if (m_hwnd)
        ShowWindow(m_hwnd, SW_HIDE);
}

void MeetingDetails::SetNameTip(const std::wstring& name)
{
    if (!m_tip) {
        m_tip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, m_hwnd, nullptr,
                                m_instance, nullptr);
        if (!m_tip)
            return;
        SetWindowPos(m_tip, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        MakeOwnLayeredWindow(m_tip);
        SendMessageW(m_tip, TTM_SETMAXTIPWIDTH, 0, kTipWidth);
    }
    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = m_hwnd;
    tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(m_hwnd, IDC_DETAILS_NAME));
    std::wstring text = name;
    tool.lpszText = text.data();
    // One tool over the name; later views only change its text.
    SendMessageW(m_tip, m_tipAdded ? TTM_UPDATETIPTEXTW : TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    m_tipAdded = true;
}

void MeetingDetails::SetCaptionBar(bool inMeeting)
{
    LONG_PTR style = GetWindowLongPtrW(m_hwnd, GWL_STYLE);
    const LONG_PTR bar = WS_CAPTION | WS_SYSMENU;
    const LONG_PTR wanted = inMeeting ? (style | bar) : (style & ~bar);
    if (wanted != style) {
        SetWindowLongPtrW(m_hwnd, GWL_STYLE, wanted);
        SetWindowPos(m_hwnd, nullptr, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    }
    ShowWindow(GetDlgItem(m_hwnd, IDC_DETAILS_TITLE), inMeeting ? SW_HIDE : SW_SHOW);
    // The title is the label's text without its colon.
    std::wstring title = ResText(IDS_DETAILS_TITLE);
    if (!title.empty())
        title.pop_back();
    SetWindowTextW(m_hwnd, title.c_str());
}

void MeetingDetails::SetInviteRow(bool shown)
{
    if (shown == m_inviteShown)
        return;
    m_inviteShown = shown;
    ShowWindow(GetDlgItem(m_hwnd, IDC_DETAILS_INVITE_LABEL), shown ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(m_hwnd, IDC_DETAILS_INVITE), shown ? SW_SHOW : SW_HIDE);
    RECT r;
    GetWindowRect(m_hwnd, &r);
    const int height = r.bottom - r.top + (shown ? kInviteRowHeight : -kInviteRowHeight);
    SetWindowPos(m_hwnd, nullptr, 0, 0, r.right - r.left, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void MeetingDetails::Show(const MeetingRecord& m, const View& view)
{
    if (!m_hwnd && !Create())
        return;
    const std::wstring name = Utf8(m.meetingName);
    SetNameTip(name);
    SetDlgItemTextW(m_hwnd, IDC_DETAILS_NAME, name.c_str());
    SetDlgItemTextW(m_hwnd, IDC_DETAILS_OWNER, m.ownerName.c_str());
    SetDlgItemTextW(m_hwnd, IDC_DETAILS_START,
                    Utf8(JoinDateAndTime(m.meetingDate, m.meetingTime, kDetailsTimeMax)).c_str());
    SetDlgItemTextW(m_hwnd, IDC_DETAILS_END, Utf8(JoinDateAndTime(m.endDate, m.endTime, kDetailsTimeMax)).c_str());
    SetDlgItemTextW(m_hwnd, IDC_DETAILS_STATE, ResText(MeetingStateTextId(m.meetingState)));
    SetDlgItemTextW(m_hwnd, IDC_DETAILS_SHARING, ResText(SharingStateTextId(m.sharingState)));
    SetDlgItemTextW(m_hwnd, IDC_DETAILS_MEMBERS, std::to_wstring(m.meetingCount).c_str());
    SetDlgItemTextW(m_hwnd, IDC_DETAILS_DESCRIPTION, Utf8(m.meetingDescription).c_str());
    SetDlgItemTextW(m_hwnd, IDC_DETAILS_INVITE, Utf8(m.inviteUrl).c_str());

    SetCaptionBar(view.inMeeting);
    SetInviteRow(view.inviteRow);
    if (view.centred) {
        CenterWindow(m_hwnd);
    } else {
        POINT at{};
        GetCursorPos(&at);
        SetWindowPos(m_hwnd, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (!IsWindowVisible(m_hwnd))
        ShowWindow(m_hwnd, SW_SHOW);
}
