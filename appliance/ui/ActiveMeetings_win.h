// The active-meetings window: a frame with the list of the meetings the
// appliance offers this user, refreshed every 5 seconds, from which the user
// joins one with its code, reads its details, cancels an own meeting, goes
// on to create one, or logs out. Every row carries its meeting's id, so
// selection, join, details and cancel act on that row's own meeting.
#pragma once

#include "appliance/cgi/MeetingRecord.h"
#include "appliance/ui/MeetingDetails_win.h"
#include "appliance/ui/MeetingListContext_win.h"
#include "core/base/WindowFrame_win.h"

#include <string>
#include <vector>

class CActiveMeetings : public CWindowFrame {
public:
    static constexpr UINT kRefreshMs = 5000;

    explicit CActiveMeetings(MeetingListContext& context);
    ~CActiveMeetings() override;

    // The frame with its list, shown; createPermission 1 shows "Create",
    // any non-zero value lets an owner cancel. False when it could not be made.
    bool Create(int createPermission);
    // Reloads the list from the appliance (at start and on each tick).
    void RefreshList();

    HWND ListDialog() const { return m_list; }
    HWND CodeDialog() const { return m_code; }
    MeetingDetails& Details() { return m_details; }
    // The meeting of the last selection (empty id: none yet).
    const MeetingRecord& Selected() const { return m_selected; }
    // The context menu as it was last built (its first sub-menu).
    HMENU ContextMenu() const;
    // The meeting ids of the rows, top to bottom.
    std::vector<std::string> RowIds() const;

protected:
    void OnClose() override;

private:
    enum class Page { List, Code };
    static INT_PTR PageProc(Page page, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK ListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK CodeProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static void PaintPage(HWND hwnd, HINSTANCE instance);

    void InitList(HWND list);
    void InitCode(HWND code);
    INT_PTR OnListNotify(const NMHDR& header);
    void OnListCommand(int id);
    void OnCodeCommand(int id);
    void ShowList();
    void ShowCodeDialog(UINT statusId);
    void JoinWithCode();
    void OpenContextMenu();
    void CancelMeeting(const MeetingRecord& meeting);
    void ShowDetails(const MeetingRecord& meeting);
    void Logout();
    void Status(int kind, const wchar_t* text);
    void Log(int level, const std::wstring& line);
    // The meeting of a list row; null when the row names none in the list.
    const MeetingRecord* MeetingOfRow(int row) const;
    int RowOfMeeting(const std::string& id) const;
    void SelectRow(int row);

    MeetingListContext& m_context;
    HWND m_list = nullptr;
    HWND m_code = nullptr;
    HMENU m_menu = nullptr;
    MeetingDetails m_details;
    int m_createPermission = 0;
    MeetingRecord m_selected;
    // The meeting the open context menu was built for: a refresh while it is
    // open does not move its commands to another row.
    MeetingRecord m_menuMeeting;
    // Meeting id of each row by the row's item data, and the records of the
    // last list delivered: a failed refresh keeps both with the rows.
    std::vector<std::string> m_rowIds;
    std::vector<MeetingRecord> m_records;
};
