// The meeting details dialog: one meeting's name, owner, times, states,
// members, description and (for a coordinator in a meeting) its invitation
// link. A top-level tool window that is hidden, never destroyed, by its OK
// and close box; its owner object destroys it.
#pragma once

#include "appliance/cgi/MeetingRecord.h"

#include <windows.h>

class MeetingDetails {
public:
    // How one view is shown.
    struct View {
        bool inMeeting = false;   // a caption bar, no "Meeting Details:" label
        bool inviteRow = false;   // the invitation link row
        bool centred = false;     // centred on the screen, else at the cursor
    };
    // Rows of the invitation link make the dialog this much taller.
    static constexpr int kInviteRowHeight = 55;

    explicit MeetingDetails(HINSTANCE instance) : m_instance(instance) {}
    ~MeetingDetails();
    MeetingDetails(const MeetingDetails&) = delete;
    MeetingDetails& operator=(const MeetingDetails&) = delete;

    // The dialog, hidden; false when it could not be made.
    bool Create();
    void Show(const MeetingRecord& meeting, const View& view);
    void Hide();
    bool Visible() const;
    HWND Window() const { return m_hwnd; }
    HWND ToolTip() const { return m_tip; }
    bool InviteRowShown() const { return m_inviteShown; }

private:
    static INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void SetNameTip(const std::wstring& name);
    void SetCaptionBar(bool inMeeting);
    void SetInviteRow(bool shown);

    HINSTANCE m_instance;
    HWND m_hwnd = nullptr;
    HWND m_tip = nullptr;
    bool m_tipAdded = false;
    bool m_inviteShown = false;
};
