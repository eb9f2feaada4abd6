#pragma once
// The program's presence in the notification area: a hidden window that
// carries the single-instance property and receives the icon's notifications
// and the menu commands, the icon with its tool tip and balloons, and the menu.
#include "core/base/CHeap.h"

#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <mutex>
#include <string>

class CLogViewer;
class CManager;

constexpr wchar_t kTrayWindowClass[] = L"PL Tray Windows";
constexpr UINT kTrayIconId = 101;
constexpr size_t kBalloonTitleMax = 63;
constexpr size_t kBalloonTextMax = 255;

// The record NIM_MODIFY takes for an information balloon on the icon that
// `icon` describes: title cut to 63 characters and text to 255 (null: empty),
// shown for 5 s with the information icon. Nothing else of `icon` but its
// size, window and id is passed on.
NOTIFYICONDATAW MakeBalloonRecord(const NOTIFYICONDATAW& icon, const wchar_t* title, const wchar_t* text);

class CTray : public CHeap {
public:
    // Reads the general options and creates the window and the icon.
    explicit CTray(CManager* manager);
    // Removes the icon and the window.
    ~CTray() override;
    CTray(const CTray&) = delete;
    CTray& operator=(const CTray&) = delete;

    // An information balloon: title cut to 63, text to 255 characters. Safe
    // from any thread. Returns whether the shell took it.
    bool ShowBalloon(const wchar_t* title, const wchar_t* text);
    // NIM_ADD or NIM_DELETE of the icon.
    bool NotifyIcon(DWORD action);
    // Rebuilds the menu's first pop-up for what is open now.
    void PrepareMenu();

    HWND Window() const { return m_hWnd; }
    HMENU Menu() const { return m_hMenu; }
    std::wstring MediaFolder() const;
    void SetMediaFolder(const std::wstring& folder);
    const std::wstring& ToolTip() const { return m_toolTip; }
    // The log viewer "View Log" opens (made on first use), or null.
    CLogViewer* LogViewer() const { return m_logViewer.get(); }

    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

private:
    void CreateTrayWindow();
    LRESULT OnCommand(WPARAM command);
    void ReadOptions();

    CManager* m_manager;
    HWND m_hWnd = nullptr;
    HMENU m_hMenu = nullptr;
    ATOM m_class = 0;
    std::wstring m_toolTip;
    mutable std::mutex m_lock;  // the icon record and the media folder
    NOTIFYICONDATAW m_icon{};
    std::wstring m_mediaFolder;
    std::unique_ptr<CLogViewer> m_logViewer;
};
