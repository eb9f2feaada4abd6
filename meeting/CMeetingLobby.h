#pragma once
// The lobby window of a meeting: the meeting's name and state, the
// participants with their roles and sharing states, the toolbar, the control
// note and the participant menu. Its participant refresh (every 5 s, and at
// once when asked) is what moves screen sharing on both sides: after each
// list it posts the sharing steps 60109-60116 to the main thread.
#include "core/base/BoundedThread.h"
#include "core/base/WindowFrame_win.h"
#include "meeting/LobbyContext.h"
#include "meeting/LobbyRules.h"

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class LobbyCommandContext;
class LobbyCommandWorkers;
struct LobbyTarget;

// To the lobby dialog from its refresh worker: wParam the request's result.
constexpr UINT WM_LOBBY_LIST_READY = WM_APP + 0x120;
// The lobby's refresh timer; a WM_TIMER with this id to the frame or the
// dialog asks for a refresh at once.
constexpr UINT_PTR kLobbyRefreshTimer = 258;
constexpr UINT kLobbyRefreshPeriodMs = 5000;

class CMeetingLobby : public CWindowFrame {
public:
    explicit CMeetingLobby(std::shared_ptr<LobbyContext> context);
    ~CMeetingLobby() override;
    CMeetingLobby(const CMeetingLobby&) = delete;
    CMeetingLobby& operator=(const CMeetingLobby&) = delete;

    // Creates and shows the frame with the lobby dialog; the first refresh
    // starts at once.
    void Create();
    // The sharing-state machine over the current list (main thread).
    void OnSharingState();
    // Rebuilds the rows from the current list and request lists.
    void RefreshParticipantList();
    // From any thread: a refresh at once. From another thread it waits (at
    // most waitMs) until a list fetched after the call has been applied.
    bool RefreshNow(DWORD waitMs);
    // Recomputes the toolbar's button values and images.
    void UpdateToolbar();
    // Refreshes end (a result's box, the reschedule); from any thread. A
    // list on its way is dropped.
    void StopRefreshing();
    // A participant-list request is on its way (any thread).
    bool RequestRunning() const { return m_worker.Running(); }
    // Timer 258 again after it was stopped (the reschedule's end).
    void ResumeRefresh();
    // Posts the leave (60113, wParam by the own role, lParam the caller role).
    void Leave();
    // The toolbar and the control note (1064).
    void UpdateControlNote();

    // The frame, which other parts post and send to.
    HWND Window() const { return m_hWnd; }
    HWND Dialog() const { return m_dialog; }
    HWND ListWindow() const { return m_list; }
    HWND ToolbarWindow() const { return m_toolbar; }
    const ToolbarValues& Buttons() const { return m_buttons; }
    // The session of a row, by its index in the list view.
    std::string RowSession(int row) const;
    // The text of a toolbar button's tooltip.
    std::wstring GetToolTipText(int id) const;

    HWND m_hWnd = nullptr;
    // 2 after packet type 25, 1 after type 26 (the rename's reply).
    std::atomic<int> m_lobbyState{0};
    // While set, the poll panel stays as it is (message 60122).
    int m_pollLocked = 0;

    // --- commands and requests (CMeetingLobbyCommands_win.cpp) ---
    // A toolbar click (2500-2510) with the button's state value; ignored
    // unless the value says enabled. The caller updates the toolbar after.
    void OnToolbarCommand(int id, int buttonValue);
    // A participant menu command on the participant whose row was
    // right-clicked, named by its session id (display names may repeat).
    void OnParticipantCommand(int id, const std::string& session);
    void PassControl(const std::string& session);
    void RejectControlRequest(const std::string& session);
    void RejectHostRequest(const std::string& session);
    void AcceptHostRequest(const std::string& session);
    // Refuses every session of list (type 13 or 19), 200 ms apart, on a
    // thread of its own with its own copy of the list.
    void StartRejectAll(std::vector<std::string> list, uint8_t type);
    // The dialogs, each on a thread of its own with its own copy of the
    // participant. mode 0 makes an assist, 1 changes an assist's bits.
    void AssistPermissionThread(const LobbyTarget& selected, int mode);
    void RenameThread(const LobbyTarget& selected);
    void EndMeetingThread();
    // The frame's close button.
    void OnClose() override;
    // The meeting setup's reply to a reschedule (60125).
    void OnRescheduleResult(WPARAM wParam, LPARAM lParam);
    LobbyCommandContext* CommandContext() const;
    // The dialog threads and reject-all senders; joined when the lobby goes.
    std::shared_ptr<LobbyCommandWorkers> m_commandWorkers;
    // The share button (2506): starts or ends the own sharing by the
    // meeting's sharing state as the last list left it.

    // The participant the menu acts on: a copy taken at the right click.
    const LobbyParticipant& Selected() const { return m_selected; }
    LobbyContext& Context() { return *m_context; }

protected:
    bool OnFrameMessage(UINT msg, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    INT_PTR OnDialogMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void BuildImageLists();
    void CreateToolbar();
    void CreateColumns();
    void OnCommand(int id);
    LRESULT OnNotify(NMHDR* header);
    LRESULT OnCustomDraw(NMLVCUSTOMDRAW* draw);
    void ShowContextMenu();
    void RelayoutDialog();
    void FitDialog();
    void ShowMeetingState();

    // Refresh: one request at a time on a worker, applied here.
    void AskRefresh();
    void StartRefreshIfDue();
    void OnParticipantList(int result, uint64_t covers, int prevStep, int step);
    void ApplyExpiry();
    int ShowBox(int text, int title, UINT flags);

    std::shared_ptr<LobbyContext> m_context;
    HWND m_dialog = nullptr;
    HWND m_list = nullptr;
    HWND m_rebar = nullptr;
    HWND m_toolbar = nullptr;
    HWND m_nameTip = nullptr;
    HIMAGELIST m_toolbarImages = nullptr;
    HIMAGELIST m_markImages = nullptr;
    HMENU m_menu = nullptr;
    HFONT m_bold = nullptr;
    CAnchorLayout m_layout;

    ToolbarValues m_buttons = InitialToolbar();
    LobbySnapshot m_snapshot;
    std::vector<LobbyRow> m_rows;
    LobbyParticipant m_selected;
    bool m_startedSeen = false;
    bool m_ownSeen = false;
    bool m_viewOnly = false;
    // The chat docked below the page (announced with WM_FRAME_ANCHOR_CHILD):
    // its top and side margin in the frame's client area.
    HWND m_chatPane = nullptr;
    LONG m_chatPaneTop = 0;
    LONG m_chatPaneMargin = 0;

    // Refresh bookkeeping: asks are numbered; a request covers every ask
    // made before it started; waiters on other threads wait for theirs.
    BoundedThread m_worker;
    std::mutex m_refreshLock;
    std::condition_variable m_refreshDone;
    uint64_t m_asked = 0;
    uint64_t m_applied = 0;
    bool m_requestRunning = false;  // main thread
    bool m_boxOpen = false;         // main thread
    bool m_stopped = false;         // under m_refreshLock
};
