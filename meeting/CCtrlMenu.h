#pragma once
// The floating control bar of a meeting while the screen is shared: a strip
// of owner-drawn buttons with the turning role text, at the top edge of the
// work area. It slides out of sight when the pointer leaves it and back when
// the pointer touches it; any click on it (and the local-input watch's
// 0x800A) takes control back from a participant who holds it. The host also
// gets annotation, the whiteboard and the choice of windows left out of the
// shared picture. All of it runs on the main thread.
#include "core/base/CHeap.h"
#include "meeting/CtrlMenuContext.h"

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

// The tray asks the bar to show for wParam milliseconds (WM_USER + 9).
constexpr UINT WM_BAR_TRAY_SHOW = WM_USER + 9;
// A button reports the pointer entering (wParam its id) or leaving (0).
constexpr UINT WM_BAR_HOVER = WM_USER + 4;
// The viewer frame went out of sight by other means.
constexpr UINT WM_BAR_VIEWER_HIDDEN = WM_USER + 12;

class CCtrlMenu : public CHeap {
public:
    // Creates the bar (layered, tool window, top-most) centred in the work
    // area, its top 63 pixels above the work area's top, and shows it.
    explicit CCtrlMenu(std::shared_ptr<CtrlMenuContext> context);
    // Destroys the shared-windows dialog and the bar (which writes its place
    // under "Topbar") and unregisters the class.
    ~CCtrlMenu() override;
    CCtrlMenu(const CCtrlMenu&) = delete;
    CCtrlMenu& operator=(const CCtrlMenu&) = delete;

    HWND Window() const { return m_hWnd; }
    HWND SharedWindowsDialog() const { return m_sharedDlg; }
    bool FullView() const { return m_fullView; }
    const std::wstring& Marquee() const { return m_marquee; }

    HWND m_hWnd = nullptr;

private:
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static LRESULT CALLBACK ButtonProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    static INT_PTR CALLBACK SharedWindowsDlgProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

    LRESULT OnMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    void OnCreate(HWND hwnd);
    void OnCommand(int id);
    void OnTimer(UINT_PTR id);
    void OnDestroy(HWND hwnd);
    void TakeBack();
    void ToggleViewer();
    void ShowHostMenu();
    void StartSlide(bool showing, UINT intervalMs);
    void Layout();
    void Paint(HWND hwnd);
    // The bar's face into a device context (painting, and WM_PRINTCLIENT).
    void PaintTo(HWND hwnd, HDC dc);
    void DrawButton(const DRAWITEMSTRUCT& item);
    RECT WorkArea() const;

    // The shared-windows dialog (CtrlMenuSharedWindows_win.cpp).
    void OpenSharedWindows();
    void FillSharedWindows(HWND dlg);
    void ApplySharedChecks(HWND dlg);
    void CheckAll(HWND dlg, bool check);
    INT_PTR OnSharedWindowsMessage(HWND dlg, UINT msg, WPARAM wp, LPARAM lp);

    std::shared_ptr<CtrlMenuContext> m_context;
    BarRoles m_roles;
    int m_width = 0;
    std::wstring m_marquee;
    std::vector<HWND> m_buttons;
    HWND m_compactButton = nullptr;
    HWND m_menuButton = nullptr;
    HIMAGELIST m_images = nullptr;
    HBITMAP m_faces[3] = {};
    HFONT m_font = nullptr;
    HFONT m_glyphFont = nullptr;
    WNDPROC m_buttonProc = nullptr;
    bool m_fullView = true;
    int m_hoverId = 0;
    bool m_slideDown = false;
    int m_outsideTicks = 0;
    bool m_shownByTray = false;
    bool m_viewerShown = false;
    HWND m_sharedDlg = nullptr;
    bool m_filling = false;
};
