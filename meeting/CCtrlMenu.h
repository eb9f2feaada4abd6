#pragma once
// The floating control bar of a meeting.
#include "core/base/CHeap.h"

#include <windows.h>

class MeetingContext;

class CCtrlMenu : public CHeap {
public:
    explicit CCtrlMenu(MeetingContext* meeting);
    ~CCtrlMenu() override;
    CCtrlMenu(const CCtrlMenu&) = delete;
    CCtrlMenu& operator=(const CCtrlMenu&) = delete;

    // Receives WM_CTRL_MENU_COMMAND (1033) with wParam 4999 on tray activation.
    HWND Window() const { return m_hWnd; }

    HWND m_hWnd = nullptr;

private:
    MeetingContext* m_meeting;
};
