// The meeting setup window: a form that creates a meeting on the appliance
// (now or at a chosen time, with e-mail invitations) and enters it as host,
// or, in its second mode, moves the start and end of the meeting running now.
// Beside it, the user's saved meetings: a list kept on the appliance from
// which one is viewed, loaded as a new meeting, edited, saved or deleted.
// Everything runs on the GUI thread; the outcome is a message to the main
// thread.
#pragma once

#include "appliance/cgi/MeetingInfo.h"
#include "appliance/ui/SetupContext_win.h"
#include "core/base/WindowFrame_win.h"

#include <string>
#include <vector>

enum class SetupMode {
    NewMeeting = 0,
    Reschedule = 1,
};

class CMeetingSetup : public CWindowFrame {
public:
    // lParam of the OK that "Start Now" posts.
    static constexpr LPARAM kStartNowMarker = 9527;
    // The saved list's refresh timer and its period.
    static constexpr UINT_PTR kSavedListTimer = 1;
    static constexpr UINT kSavedListPeriodMs = 10000;
    // Gap between the saved list and the frame, and the room it needs beyond
    // its width to go right of the frame.
    static constexpr int kSavedListGap = 10;
    static constexpr int kSavedListRoom = 15;

    CMeetingSetup(SetupContext& context, SetupMode mode);
    ~CMeetingSetup() override;

    // The frame with its form, shown, the optional section collapsed; false
    // when either could not be made.
    bool Create();

    HWND Form() const { return m_form; }
    HWND SavedList() const { return m_savedList; }
    SetupMode Mode() const { return m_mode; }
    bool Expanded() const { return m_expanded; }
    int LoadedRowId() const { return m_loadedRowId; }
    bool Editing() const { return m_editing; }
    const std::vector<MeetingInfo>& SavedMeetings() const { return m_saved; }

protected:
    void OnClose() override;

private:
    static INT_PTR CALLBACK FormProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK SavedListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    INT_PTR FormMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    INT_PTR SavedListMessage(UINT msg, WPARAM wParam, LPARAM lParam);

    void InitForm();
    void FitFrameToForm();
    void FillTimeLists();
    void SetExpanded(bool expanded);
    void OnStartNow();
    void OnStartOrSchedule(LPARAM marker);
    void AfterStart(bool lobby, LPARAM marker);
    void OnAddressList(int field);

    // Saved meetings.
    void InitSavedList();
    void ShowSavedList(bool timerTick);
    void HideSavedList();
    // False when the session is over (the window then logs out).
    bool RefreshSavedList();
    void OnSavedListClick();
    void LoadSavedMeeting(int rowid, bool edit);
    void OnSaveMeeting();
    void OnDeleteMeeting();
    void ClearForm();
    void EnableForm(bool enable);
    void EnableSavedButtons(bool enable);
    int SelectedRowId() const;
    const MeetingInfo* FindSaved(int rowid) const;

    std::wstring Field(int id, size_t max) const;
    std::string TimeText(int dateId, int timeId) const;
    void Status(int kind, const std::wstring& text);
    void Log(int level, const std::wstring& text);
    void Post(UINT message, WPARAM wParam, LPARAM lParam);

    SetupContext& m_context;
    SetupMode m_mode;
    HWND m_form = nullptr;
    HWND m_savedList = nullptr;
    // Only ever touched on the window's thread: no lock, so a delete can
    // reload the list it came from.
    std::vector<MeetingInfo> m_saved;
    int m_loadedRowId = -1;
    bool m_editing = false;
    int m_markerTop = 0;
    int m_markerBottom = 0;
    bool m_expanded = true;  // as the template lays it out
    bool m_rowSelected = false;
};
