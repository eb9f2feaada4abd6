#pragma once
// The viewer frame of a participant's sharing view: frame, toolbar and viewer
// windows, and the connection that feeds them.
#include "core/base/CHeap.h"

#include <windows.h>

class MeetingContext;
class ClientConnection;

class TechnicianGUI : public CHeap {
public:
    TechnicianGUI(MeetingContext* meeting, HWND parent);
    // Deletes the connection (which joins its reader).
    ~TechnicianGUI() override;
    TechnicianGUI(const TechnicianGUI&) = delete;
    TechnicianGUI& operator=(const TechnicianGUI&) = delete;

    // Creates the frame, toolbar and viewer windows; throws on failure.
    void CreateWindows();
    // Shows the current zoom on the toolbar.
    void UpdateZoomDisplay();

    ClientConnection* m_conn = nullptr;  // null until created
    HWND m_hwndFrame = nullptr;          // destroyed by the manager
    HWND m_hwndToolbar = nullptr;        // destroyed by the manager

private:
    MeetingContext* m_meeting;
    HWND m_parent;
};
