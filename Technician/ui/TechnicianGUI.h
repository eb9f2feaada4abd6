#pragma once
// The windows of a participant's sharing view: the frame, a container (a
// subclassed "Button") with the zoom toolbar's band above the viewer window,
// and a splitter. The viewer window paints the connection's framebuffer at
// the view's scale, black beyond the picture, with the drawn cursor over it.
// The GUI owns the view's display options and the connection the core gives
// it; everything here runs on the thread that made the windows.
#include "Technician/ui/ViewerOptionsStore.h"
#include "Technician/ui/ViewerPaint.h"
#include "Technician/ui/ZoomToolbar.h"
#include "core/base/CHeap.h"

#include <windows.h>

#include <string>

class MeetingContext;
class ClientConnection;

// The viewer window's zoom requests (wParam numerator, lParam denominator)
// and its answer with the scaled size.
constexpr UINT WM_VIEWER_SET_SCALE = 0x465;
constexpr UINT WM_VIEWER_QUERY_SIZE = 0x467;
// To the container window: lay out the band and the viewer window again.
constexpr UINT WM_VIEWER_LAYOUT = 0x519;

// SetZoomMode's modes.
enum class ZoomMode { TrueSize = 0, Scale = 1, FitToWindow = 2, FullScreen = 3 };

class TechnicianGUI : public CHeap {
public:
    TechnicianGUI(MeetingContext* meeting, HWND parent);
    // Deletes the connection (which joins its reader), writes the live
    // display options and destroys the windows that are left.
    ~TechnicianGUI() override;
    TechnicianGUI(const TechnicianGUI&) = delete;
    TechnicianGUI& operator=(const TechnicianGUI&) = delete;

    // Registers the classes (a second GUI finds them registered) and creates
    // the frame, container, zoom toolbar, viewer window and splitter; throws
    // on failure.
    void CreateWindows();
    // Takes the connection, gives it the display options and its windows.
    void AttachConnection(ClientConnection* conn);
    // Shows the zoom state on the toolbar.
    void UpdateZoomDisplay();
    // 0 true size without scaling, 1 the scale num / den, 2 fit to window:
    // each leaves full screen and scrolls home (ignored, bar full screen,
    // while there is no picture). 3 full screen.
    void SetZoomMode(ZoomMode mode, double num = 100.0, double den = 100.0);

    // The next left-button release in the viewer window picks the monitor
    // the host shows (a monitor request for that point).
    void StartMonitorPick() { m_pickPoint = true; }
    bool PickingMonitor() const { return m_pickPoint; }

    ViewerOptionsStore& Options() { return m_options; }
    bool FullScreen() const { return m_fullScreen; }
    // The frame is minimised: the view is dormant.
    bool Dormant() const { return m_dormant; }
    bool Painting() const { return m_painting; }
    const ZoomToolbar& Zoom() const { return m_zoom; }

    ClientConnection* m_conn = nullptr;  // null until created
    HWND m_hwndFrame = nullptr;          // destroyed by the manager
    HWND m_hwndToolbar = nullptr;        // the zoom band; destroyed by the manager
    HWND m_hwndContainer = nullptr;
    HWND m_hwndViewer = nullptr;
    HWND m_hwndSplitter = nullptr;

private:
    static LRESULT CALLBACK FrameProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK ContainerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK ViewerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK SplitterProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

    // Frame (ViewerFrame_win.cpp): close, minimise, full screen.
    LRESULT OnFrameMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void ApplyFullScreen(bool on);
    void SetDormant(bool dormant);
    void AddFullScreenMenuItem();

    // Container and zoom (ViewerZoom_win.cpp).
    LRESULT OnContainerMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void OnZoomCommand(int id, int code);
    void ApplyComboText(const std::wstring& text);
    void ApplyPercent(int percent);

    // Viewer window (ViewerWindow_win.cpp).
    LRESULT OnViewerMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void OnSessionState(bool painting);
    void OnScroll(int bar, int code);
    void ScrollBy(int dx, int dy);
    void PaintViewer(HWND hwnd);
    // Hands a frame copy to the recorder through the core.
    void PostRecordFrame(HBITMAP frame);
    // The default handling of a system command, which may run a modal loop
    // (move, size, menus, scroll bars) that drops thread messages.
    LRESULT DefaultSysCommand(HWND hwnd, WPARAM wp, LPARAM lp);
    // WM_QUERYNEWPALETTE and WM_PALETTECHANGED: true when the viewer's
    // palette was realised (a palette display).
    bool OnPaletteMessage(HWND hwnd, UINT msg, WPARAM wp);

    // Input (ViewerInput_win.cpp): keys, mouse and wheel go to the host
    // while this participant holds control; without it a left press places
    // the own mark. The clipboard moves with control only, both ways.
    bool OnInputMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    bool InputAllowed() const;
    void OnPointerMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void OnLocalClipboardChanged();
    void OnHostClipboard(LPARAM text);

    // A live session with a picture: zoom, fits and scrolling need one.
    bool HasPicture() const;
    // This participant controls the presenter's screen.
    bool ControlHeld() const;
    // The scale follows the viewer window and the picture's size: fit,
    // page, positions, scroll bars, the zoom display, a repaint.
    void RefreshView(bool erase);
    void UpdateScrollBars();
    void Layout();
    void LayoutContainer();
    void SaveOptions();

    MeetingContext* m_meeting;
    HWND m_parent;
    WNDPROC m_buttonProc = nullptr;
    HWND m_nextClipboardViewer = nullptr;
    ZoomToolbar m_zoom;
    ViewerOptionsStore m_options;
    ViewerPainter m_painter;
    bool m_painting = false;
    bool m_pickPoint = false;
    bool m_initialClipboardSeen = false;
    bool m_fullScreen = false;
    bool m_dormant = false;
    int m_modalLoops = 0;
    LONG_PTR m_windowedStyle = 0;
    WINDOWPLACEMENT m_windowedPlacement = {};
};
