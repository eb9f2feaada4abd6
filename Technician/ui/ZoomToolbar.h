#pragma once
// The viewer's zoom toolbar: a rebar in the container window with one band
// holding the toolbar ("Auto Scaling", "Zoom", the zoom combo box's place,
// "True Size") and the zoom combo box (drop-down with an edit field). Every
// command reaches the container as WM_COMMAND: toolbar buttons with their
// ids, the combo box's selection as CBN_SELCHANGE and its typed text, on
// Enter, Tab or Esc, as kZoomTextConfirmed.
#include <windows.h>

#include <string>

// The combo box's edit confirmed (the notification code of its WM_COMMAND).
constexpr WORD kZoomTextConfirmed = 0x7F01;
// The band's height while the toolbar shows.
constexpr int kZoomBandHeight = 22;

class ZoomToolbar {
public:
    ZoomToolbar() = default;
    ZoomToolbar(const ZoomToolbar&) = delete;
    ZoomToolbar& operator=(const ZoomToolbar&) = delete;

    // Makes the rebar, toolbar and combo box in `container`; false on failure.
    // The windows go with the container.
    bool Create(HWND container);

    // The rebar at (0, 0) across `width` and kZoomBandHeight high, or 0 x 0
    // when hidden (full screen). Returns the height taken.
    int Layout(int width, bool shown);
    // The zoom state: "Auto Scaling" checked while fit is on; the "Zoom"
    // button shows "Auto Scale" then, else the percentage; the combo box's
    // edit shows the percentage.
    void Show(bool fit, int percent);

    // The text of the combo box's selected item, or of its edit field (at
    // most 63 characters).
    std::wstring SelectedText() const;
    std::wstring EditText() const;

    HWND Rebar() const { return m_rebar; }
    HWND Toolbar() const { return m_toolbar; }
    HWND Combo() const { return m_combo; }

private:
    static LRESULT CALLBACK ToolbarSubclass(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR data);
    static LRESULT CALLBACK EditSubclass(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR data);
    void SetButtonText(int command, const wchar_t* text);

    HWND m_container = nullptr;
    HWND m_rebar = nullptr;
    HWND m_toolbar = nullptr;
    HWND m_combo = nullptr;
};
