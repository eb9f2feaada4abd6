// The "E-mail Invite" window of a meeting: required and optional addresses,
// a coordinator address and a message, checked and sent by a worker thread
// per click; the worker's outcome comes back to the window as a message and
// shows in its status line, the details in the log.
#pragma once

#include "appliance/cgi/CgiSession.h"
#include "appliance/ui/InvitationSender_win.h"
#include "core/base/AnchorLayout_win.h"

#include <windows.h>

#include <memory>
#include <string>

class InviteContext {
public:
    virtual ~InviteContext() = default;
    virtual HINSTANCE Instance() const = 0;
    // The request session with the program's fields put in (GUI thread).
    virtual CgiSession& PreparedSession() = 0;
    // A transport of its own for a worker thread.
    virtual std::unique_ptr<ICgiTransport> MakeTransport() = 0;
    virtual std::wstring EventPrefix() const = 0;
    // The meeting's name (UTF-8).
    virtual std::string MeetingName() const = 0;
};

enum class InviteControl {
    Required,
    RequiredList,
    Optional,
    OptionalList,
    Coordinator,
    Message,
    Invite,
    Close,
    Status,
    Tooltip,
};

class CInvite {
public:
    static constexpr wchar_t kClassName[] = L"CInvite WndClass";
    static constexpr int kWidth = 350;
    static constexpr int kHeight = 350;
    // Tab (wParam the control, lParam 1 with Shift) from a control to the window.
    static constexpr UINT kTabMessage = 7658;
    // A worker's outcome (wParam 1: sent).
    static constexpr UINT kReportMessage = WM_APP + 0x51;

    explicit CInvite(InviteContext& context);
    ~CInvite();
    CInvite(const CInvite&) = delete;
    CInvite& operator=(const CInvite&) = delete;

    // Registers the class and makes the window (hidden); true when it exists.
    bool Create();
    // Shows the window and gives it the focus.
    void Show();

    HWND Window() const { return m_hwnd; }
    HWND ListDialog() const { return m_listDialog; }
    HWND Control(InviteControl which) const;
    std::wstring StatusText() const;
    // Workers still waiting on the appliance.
    size_t WorkersRunning() const { return m_workers.Running(); }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK ListDialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    void OnCommand(HWND control, int code);
    void OnTab(HWND from, bool backwards);
    void OnInvite();
    void OpenList(HWND field);
    void CloseList(bool accepted);
    void SetStatus(const wchar_t* text);
    void Paint();
    HWND Make(const wchar_t* cls, const wchar_t* text, DWORD style, DWORD exStyle, int id, const RECT& rect,
              int anchors);

    InviteContext& m_context;
    HWND m_hwnd = nullptr;
    HWND m_required = nullptr, m_requiredList = nullptr, m_optional = nullptr, m_optionalList = nullptr;
    HWND m_coordinator = nullptr, m_message = nullptr, m_invite = nullptr, m_close = nullptr;
    HWND m_status = nullptr, m_tooltip = nullptr;
    HWND m_listDialog = nullptr;
    HWND m_listField = nullptr;  // the field the list dialog edits
    HBITMAP m_banner = nullptr;
    bool m_classRegistered = false;
    CAnchorLayout m_layout;
    std::shared_ptr<InviteReportTarget> m_target;
    InvitationWorkers m_workers;
};
