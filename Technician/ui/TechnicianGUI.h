#pragma once
// The viewer frame of a participant's sharing view: the frame and the viewer
// window that paints the connection's framebuffer at the view's scale, with
// black beyond the picture, and the drawn cursor over it.
#include "core/base/CHeap.h"

#include <windows.h>

#include <cstdint>
#include <vector>

class MeetingContext;
class ClientConnection;

// The viewer window's zoom requests (wParam numerator, lParam denominator)
// and its answer with the scaled size.
constexpr UINT WM_VIEWER_SET_SCALE = 0x465;
constexpr UINT WM_VIEWER_QUERY_SIZE = 0x467;

class TechnicianGUI : public CHeap {
public:
    TechnicianGUI(MeetingContext* meeting, HWND parent);
    // Deletes the connection (which joins its reader).
    ~TechnicianGUI() override;
    TechnicianGUI(const TechnicianGUI&) = delete;
    TechnicianGUI& operator=(const TechnicianGUI&) = delete;

    // Creates the frame and viewer windows; throws on failure.
    void CreateWindows();
    // Takes the connection and tells it its windows.
    void AttachConnection(ClientConnection* conn);
    // Shows the current zoom (the frame's title while there is no toolbar).
    void UpdateZoomDisplay();

    ClientConnection* m_conn = nullptr;  // null until created
    HWND m_hwndFrame = nullptr;          // destroyed by the manager
    HWND m_hwndToolbar = nullptr;        // destroyed by the manager
    HWND m_hwndViewer = nullptr;

private:
    static LRESULT CALLBACK FrameProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK ViewerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT OnViewerMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void Paint(HWND hwnd);
    void Relayout();
    // Writes the display options (colour depth, scale, bars) for the user.
    void SaveOptions();

    MeetingContext* m_meeting;
    HWND m_parent;
    bool m_painting = false;
    std::vector<uint32_t> m_paintCopy;
};
