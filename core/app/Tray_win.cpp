#include "core/app/Tray.h"

#include "core/base/LoadResString.h"
#include "core/app/LogViewer_win.h"
#include "core/app/Manager.h"
#include "core/base/Registry.h"
#include "core/app/SingleInstance.h"
#include "core/base/MediaFiles.h"
#include "core/base/WindowUtil.h"
#include "core/app/res/resource.h"
#include "meeting/CCanvas.h"

#include <algorithm>
#include <cwchar>

namespace {

// Copies at most max characters and terminates; dest holds max + 1 or more.
template <size_t N>
void CopyCut(wchar_t (&dest)[N], const wchar_t* text, size_t max)
{
    size_t n = text ? std::min({std::wcslen(text), max, N - 1}) : 0;
    if (n)
        std::wmemcpy(dest, text, n);
    dest[n] = L'\0';
}

DWORD ReadOrDefault(const char* name, DWORD fallback)
{
    DWORD value = fallback;
    if (!RegReadDword(kOptionsKey, name, value)) {
        value = fallback;
        RegWriteDword(kOptionsKey, name, fallback);
    }
    return value;
}

void AppendItem(HMENU menu, UINT id, UINT textId)
{
    // One slot per text id; the tray's texts are few and fixed.
    static ResStringSlot slots[8];
    static const UINT ids[8] = {IDS_MENU_SETTINGS, IDS_MENU_VIEW_LOG, IDS_SHOW_DETAILS, IDS_HIDE_DETAILS,
                                IDS_SHOW_WHITEBOARD, IDS_HIDE_WHITEBOARD, IDS_TRAY_ABOUT, IDS_MENU_EXIT};
    for (size_t i = 0; i < 8; ++i) {
        if (ids[i] == textId) {
            AppendMenuW(menu, MF_STRING, id, LoadResString(slots[i], textId));
            return;
        }
    }
}

} // namespace

NOTIFYICONDATAW MakeBalloonRecord(const NOTIFYICONDATAW& icon, const wchar_t* title, const wchar_t* text)
{
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof(data);
    data.hWnd = icon.hWnd;
    data.uID = icon.uID;
    data.uFlags = NIF_INFO;
    CopyCut(data.szInfoTitle, title, kBalloonTitleMax);
    CopyCut(data.szInfo, text, kBalloonTextMax);
    data.uTimeout = 5000;
    data.dwInfoFlags = NIIF_INFO;
    return data;
}

CTray::CTray(CManager* manager) : m_manager(manager)
{
    wchar_t tip[128] = L"";
    // The program's own table, not a language module's.
    LoadStringW(m_manager->instance, IDS_TRAY_TIP, tip, 128);
    m_toolTip = tip;
    ReadOptions();
    CreateTrayWindow();
}

void CTray::ReadOptions()
{
    std::wstring folder;
    if (!LoadMediaFilePath(folder))
        folder = GetDefaultMediaFolder();
    SetMediaFolder(folder);
    m_manager->partiMarkEnabled = static_cast<int>(ReadOrDefault("PartiMark", 1));
    m_manager->audioTransType = static_cast<int>(ReadOrDefault("AudioTransType", 0));
}

void CTray::CreateTrayWindow()
{
    WNDCLASSEXW cls{};
    cls.cbSize = sizeof(cls);
    cls.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    cls.lpfnWndProc = WndProc;
    cls.hInstance = m_manager->instance;
    cls.hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));  // IDI_APPLICATION
    cls.hIconSm = cls.hIcon;
    cls.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    cls.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    cls.lpszClassName = kTrayWindowClass;
    m_class = RegisterClassExW(&cls);

    CreateWindowExW(0, kTrayWindowClass, kTrayWindowClass, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                    CW_USEDEFAULT, 200, 200, nullptr, nullptr, m_manager->instance, this);
    if (!m_hWnd)
        return;
    SetPropA(m_hWnd, TRAY_PROPERTY_NAME, reinterpret_cast<HANDLE>(TRAY_PROPERTY_VALUE));
    m_hMenu = LoadMenuW(m_manager->instance, MAKEINTRESOURCEW(IDM_TRAY));

    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_icon.cbSize = sizeof(m_icon);
        m_icon.hWnd = m_hWnd;
        m_icon.uID = kTrayIconId;
        m_icon.uCallbackMessage = WM_TRAY_NOTIFY;
        m_icon.hIcon = static_cast<HICON>(LoadImageW(m_manager->instance, MAKEINTRESOURCEW(IDI_TRAY),
                                                     IMAGE_ICON, 16, 16, 0));
        CopyCut(m_icon.szTip, m_toolTip.c_str(), 127);
    }
    NotifyIcon(NIM_ADD);
    PrepareMenu();
}

CTray::~CTray()
{
    m_logViewer.reset();
    NotifyIcon(NIM_DELETE);
    if (m_hWnd) {
        RemovePropA(m_hWnd, TRAY_PROPERTY_NAME);
        DestroyWindow(m_hWnd);
    }
    if (m_hMenu)
        DestroyMenu(m_hMenu);
    if (m_class)
        UnregisterClassW(kTrayWindowClass, m_manager->instance);
    if (m_icon.hIcon)
        DestroyIcon(m_icon.hIcon);
}

bool CTray::NotifyIcon(DWORD action)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_hWnd)
        return false;
    NOTIFYICONDATAW data = m_icon;
    data.uFlags = NIF_MESSAGE | NIF_ICON | (m_icon.szTip[0] ? NIF_TIP : 0);
    return Shell_NotifyIconW(action, &data) != FALSE;
}

bool CTray::ShowBalloon(const wchar_t* title, const wchar_t* text)
{
    // Called from the main thread and from meeting threads: one record per
    // call, built under the lock, so title and text never mix.
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_hWnd)
        return false;
    NOTIFYICONDATAW data = MakeBalloonRecord(m_icon, title, text);
    return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

std::wstring CTray::MediaFolder() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_mediaFolder;
}

void CTray::SetMediaFolder(const std::wstring& folder)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_mediaFolder = folder;
}

void CTray::PrepareMenu()
{
    HMENU popup = m_hMenu ? GetSubMenu(m_hMenu, 0) : nullptr;
    if (!popup)
        return;
    while (GetMenuItemCount(popup) > 0)
        DeleteMenu(popup, 0, MF_BYPOSITION);

    AppendItem(popup, IDM_TRAY_SETTINGS, IDS_MENU_SETTINGS);
    AppendItem(popup, IDM_TRAY_VIEW_LOG, IDS_MENU_VIEW_LOG);
    if (m_manager->lobby)
        AppendItem(popup, IDM_TRAY_DETAILS,
                   m_manager->Appliance().IsMeetingDetailsVisible() ? IDS_HIDE_DETAILS : IDS_SHOW_DETAILS);
    int visible = 0;
    if (m_manager->canvas2 && m_manager->canvas2->IsWhiteboardVisible(&visible))
        AppendItem(popup, IDM_TRAY_WHITEBOARD, visible ? IDS_HIDE_WHITEBOARD : IDS_SHOW_WHITEBOARD);
    AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
    AppendItem(popup, IDM_TRAY_ABOUT, IDS_TRAY_ABOUT);
    AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
    AppendItem(popup, IDM_TRAY_EXIT, IDS_MENU_EXIT);
    EnableMenuItem(popup, IDM_TRAY_EXIT, MF_BYCOMMAND | MF_ENABLED);
    EnableMenuItem(popup, IDM_TRAY_ABOUT, MF_BYCOMMAND | MF_ENABLED);
}

LRESULT CTray::OnCommand(WPARAM command)
{
    switch (command) {
    case IDM_TRAY_WHITEBOARD: {
        int visible = 0;
        if (m_manager->canvas2 && m_manager->canvas2->IsWhiteboardVisible(&visible))
            m_manager->canvas2->ShowWhiteboard(visible ? SW_HIDE : SW_SHOW);
        break;
    }
    case IDM_TRAY_DETAILS:
        m_manager->Appliance().ToggleMeetingDetails();
        break;
    case IDM_TRAY_ABOUT:
        PostThreadMessageW(m_manager->mainThreadId, PLM_SHOW_ABOUT, reinterpret_cast<WPARAM>(m_hWnd), 0);
        break;
    case IDM_TRAY_EXIT:
        PostThreadMessageW(m_manager->mainThreadId, PLM_QUIT, 0, 0);
        break;
    case IDM_TRAY_SETTINGS:
        m_manager->Appliance().OpenOptions();
        break;
    case IDM_TRAY_VIEW_LOG:
        if (!m_logViewer)
            m_logViewer = std::make_unique<CLogViewer>(m_manager->instance, m_manager->logPath);
        m_logViewer->Open();
        break;
    default:
        break;
    }
    return 1;
}

LRESULT CALLBACK CTray::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_CREATE) {
        auto* self = static_cast<CTray*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->m_hWnd = hwnd;
        return 0;
    }
    auto* self = reinterpret_cast<CTray*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    switch (msg) {
    case WM_TRAY_NOTIFY: {
        HMENU popup = self->m_hMenu ? GetSubMenu(self->m_hMenu, 0) : nullptr;
        if (!popup)
            return 1;
        UINT mouse = LOWORD(lParam);
        if (mouse == WM_LBUTTONUP || mouse == WM_LBUTTONDBLCLK) {
            PostThreadMessageW(self->m_manager->mainThreadId, PLM_TRAY_ACTIVATE, 0, 0);
        } else if (mouse == WM_RBUTTONUP) {
            SetForegroundWindow(hwnd);
            self->PrepareMenu();
            TrackPopupAtCursor(popup, hwnd);
        }
        return 1;
    }
    case WM_COMMAND:
        return self->OnCommand(wParam);
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}
