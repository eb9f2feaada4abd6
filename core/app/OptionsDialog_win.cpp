#include "core/app/OptionsDialog_win.h"

#include "appliance/https/ProxyDiscovery_win.h"
#include "appliance/https/ProxySettings_win.h"
#include "appliance/ui/ProfileStore.h"
#include "core/app/ProxyPage.h"
#include "core/app/TrayText_win.h"
#include "core/app/res/TrayDialogs.h"
#include "core/app/res/resource.h"
#include "core/base/DHLog.h"
#include "core/base/MediaFiles.h"
#include "core/base/PlainSecret.h"
#include "core/base/Registry.h"
#include "core/base/SecureZero.h"
#include "core/base/StoredSecret.h"
#include "core/base/TextConvert.h"
#include "core/base/WindowUtil.h"
#include "extras/FileShare.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>

#include <initializer_list>
#include <memory>
#include <utility>

namespace {

constexpr UINT kProxyApplied = WM_APP + 1;
constexpr UINT kGeneralApplied = WM_APP + 2;
constexpr UINT kProfilesRemoved = WM_APP + 3;
constexpr wchar_t kResultClass[] = L"Corvisk Options Results";
constexpr int kFieldChars = 1023;
constexpr int kFolderChars = 259;
constexpr int kTransportCount = 3;  // Auto, TCP, UDP

struct ProxyResult {
    ProxyConfig config;
    uint8_t type;
};
struct GeneralResult {
    int partiMark;
    int audioTransType;
    std::wstring folder;
};

std::wstring FieldText(HWND page, int id, int maxChars)
{
    std::wstring text(static_cast<size_t>(maxChars) + 1, L'\0');
    int n = GetDlgItemTextW(page, id, &text[0], maxChars + 1);
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return text;
}

std::string Narrow(const std::wstring& text) { return WideToAnsi(text, kCodePageAnsi); }
std::wstring Wide(const std::string& text) { return AnsiToWide(text, kCodePageAnsi); }

void EnableControls(HWND page, std::initializer_list<int> ids, bool on)
{
    for (int id : ids)
        EnableWindow(GetDlgItem(page, id), on ? TRUE : FALSE);
}

void SetTexts(HWND page, std::initializer_list<std::pair<int, UINT>> texts)
{
    for (const auto& t : texts)
        SetDlgItemTextW(page, t.first, TrayText(t.second));
}

// While it lives, the file and folder dialogs this thread opens are layered
// and kept out of the shared picture.
using OwnDialogHook = FileShare::DialogHook;

} // namespace

COptionsDialog::COptionsDialog(HINSTANCE instance, OptionsHost& host, ProfileStore& profiles)
    : m_instance(instance), m_host(host), m_profiles(profiles)
{
    WNDCLASSEXW cls{};
    cls.cbSize = sizeof(cls);
    cls.lpfnWndProc = ResultProc;
    cls.hInstance = instance;
    cls.lpszClassName = kResultClass;
    RegisterClassExW(&cls);  // fails harmlessly when already registered
    m_results = CreateWindowExW(0, kResultClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, this);
}

COptionsDialog::~COptionsDialog()
{
    m_dialog.Close();
    if (m_results) {
        // Results posted but not handled yet are dropped with their records.
        MSG msg;
        while (PeekMessageW(&msg, m_results, kProxyApplied, kProfilesRemoved, PM_REMOVE)) {
            if (msg.message == kProxyApplied)
                delete reinterpret_cast<ProxyResult*>(msg.lParam);
            else if (msg.message == kGeneralApplied)
                delete reinterpret_cast<GeneralResult*>(msg.lParam);
        }
        DestroyWindow(m_results);
    }
}

void COptionsDialog::Open()
{
    // The copy is taken here, on the main thread; the dialog's thread takes
    // it over once a dialog closed before has ended.
    m_dialog.Open([this, snapshot = m_host.Snapshot()] {
        m_snapshot = snapshot;
        Run();
    });
}

void COptionsDialog::Run()
{
    DialogBoxParamW(m_instance, MAKEINTRESOURCEW(IDD_OPTIONS), nullptr, FrameProc, reinterpret_cast<LPARAM>(this));
    m_dlg = nullptr;
    m_tab = nullptr;
    for (HWND& page : m_pages)
        page = nullptr;
}

void COptionsDialog::Post(UINT msg, void* result)
{
    if (!PostMessageW(m_results, msg, 0, reinterpret_cast<LPARAM>(result))) {
        if (msg == kProxyApplied)
            delete static_cast<ProxyResult*>(result);
        else if (msg == kGeneralApplied)
            delete static_cast<GeneralResult*>(result);
    }
}

LRESULT CALLBACK COptionsDialog::ResultProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCCREATE) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
        return TRUE;
    }
    auto* self = reinterpret_cast<COptionsDialog*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    switch (msg) {
    case kProxyApplied: {
        std::unique_ptr<ProxyResult> result(reinterpret_cast<ProxyResult*>(lParam));
        self->m_host.ApplyProxy(result->config, result->type);
        return 0;
    }
    case kGeneralApplied: {
        std::unique_ptr<GeneralResult> result(reinterpret_cast<GeneralResult*>(lParam));
        self->m_host.ApplyGeneral(result->partiMark, result->audioTransType, result->folder);
        return 0;
    }
    case kProfilesRemoved:
        self->m_host.ProfilesChanged();
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

// ---- the frame -------------------------------------------------------------

template <void (COptionsDialog::*Init)(HWND), void (COptionsDialog::*Clicked)(UINT)>
INT_PTR CALLBACK COptionsDialog::PageProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
        (reinterpret_cast<COptionsDialog*>(lParam)->*Init)(hwnd);
        return FALSE;
    }
    auto* self = reinterpret_cast<COptionsDialog*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self && msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        (self->*Clicked)(LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK COptionsDialog::FrameProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
        reinterpret_cast<COptionsDialog*>(lParam)->OnFrameInit(hwnd);
        return TRUE;
    }
    auto* self = reinterpret_cast<COptionsDialog*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return FALSE;
    switch (msg) {
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->hwndFrom == self->m_tab && header->code == TCN_SELCHANGE)
            self->ShowPage(TabCtrl_GetCurSel(self->m_tab));
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            // Only the page in view applies; a page that refuses its values
            // keeps the dialog open with what was typed.
            if (self->ApplyPage(TabCtrl_GetCurSel(self->m_tab)))
                EndDialog(hwnd, 1);
            return TRUE;
        case IDC_OPTIONS_APPLY:
            self->ApplyPage(TabCtrl_GetCurSel(self->m_tab));
            return TRUE;
        case IDCANCEL:
            EndDialog(hwnd, 2);
            return TRUE;
        default:
            return FALSE;
        }
    case WM_CLOSE:
        EndDialog(hwnd, 0);
        return TRUE;
    default:
        return FALSE;
    }
}

void COptionsDialog::OnFrameInit(HWND hwnd)
{
    m_dlg = hwnd;
    m_tab = GetDlgItem(hwnd, IDC_OPTIONS_TAB);
    SetWindowTextW(hwnd, TrayText(IDS_MENU_SETTINGS));
    SetTexts(hwnd, {{IDOK, IDS_PROXY_AUTH_OK}, {IDCANCEL, IDS_PROXY_AUTH_CANCEL}, {IDC_OPTIONS_APPLY, IDS_OPTIONS_APPLY}});
    HICON big = static_cast<HICON>(LoadImageW(m_instance, MAKEINTRESOURCEW(IDI_CORVISK), IMAGE_ICON, 32, 32, LR_SHARED));
    HICON small = static_cast<HICON>(LoadImageW(m_instance, MAKEINTRESOURCEW(IDI_TRAY), IMAGE_ICON, 16, 16, LR_SHARED));
    SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    MakeOwnLayeredWindow(hwnd);

    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    const UINT tabTexts[kPageCount] = {IDS_TAB_PROXY, IDS_TAB_PROFILES, IDS_TAB_GENERAL};
    for (int i = 0; i < kPageCount; ++i) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(TrayText(tabTexts[i]));
        TabCtrl_InsertItem(m_tab, i, &item);
    }
    RECT area;
    GetClientRect(m_tab, &area);
    TabCtrl_AdjustRect(m_tab, FALSE, &area);

    const struct {
        UINT dialog;
        DLGPROC proc;
    } pages[kPageCount] = {
        {IDD_OPTIONS_PROXY, PageProc<&COptionsDialog::OnProxyInit, &COptionsDialog::OnProxyCommand>},
        {IDD_OPTIONS_PROFILES, PageProc<&COptionsDialog::OnProfilesInit, &COptionsDialog::OnProfilesCommand>},
        {IDD_OPTIONS_GENERAL, PageProc<&COptionsDialog::OnGeneralInit, &COptionsDialog::OnGeneralCommand>}};
    for (int i = 0; i < kPageCount; ++i)
        m_pages[i] = CreateDialogParamW(m_instance, MAKEINTRESOURCEW(pages[i].dialog), m_tab, pages[i].proc,
                                        reinterpret_cast<LPARAM>(this));
    // Themed page backgrounds where the system offers them.
    if (HMODULE theme = LoadLibraryW(L"uxtheme.dll")) {
        using EnableThemeDialogTextureFn = HRESULT(WINAPI*)(HWND, DWORD);
        auto enable = reinterpret_cast<EnableThemeDialogTextureFn>(
            reinterpret_cast<void*>(GetProcAddress(theme, "EnableThemeDialogTexture")));
        for (HWND page : m_pages) {
            if (enable && page)
                enable(page, 6);  // ETDT_ENABLETAB
        }
        FreeLibrary(theme);
    }
    for (HWND page : m_pages) {
        if (page)
            MoveWindow(page, area.left, area.top, area.right - area.left, area.bottom - area.top, FALSE);
    }
    ShowPage(kProxyPage);
    m_dialog.SetWindow(hwnd);
}

void COptionsDialog::ShowPage(int page)
{
    for (int i = 0; i < kPageCount; ++i) {
        if (m_pages[i])
            ShowWindow(m_pages[i], i == page ? SW_SHOW : SW_HIDE);
    }
}

bool COptionsDialog::ApplyPage(int page)
{
    switch (page) {
    case kProxyPage: return ApplyProxy();
    case kProfilesPage: return ApplyLanguage();
    case kGeneralPage: return ApplyGeneral();
    default: return true;
    }
}

// ---- proxy page ------------------------------------------------------------

void COptionsDialog::OnProxyInit(HWND page)
{
    m_pages[kProxyPage] = page;
    const ProxyConfig& proxy = m_snapshot.proxy;
    SetDlgItemTextW(page, IDC_OPT_PROXY_ADDRESS, Wide(proxy.server.host).c_str());
    SetDlgItemTextW(page, IDC_OPT_PROXY_PORT, proxy.server.port ? std::to_wstring(proxy.server.port).c_str() : L"");
    SetDlgItemTextW(page, IDC_OPT_PROXY_BYPASS, Wide(proxy.server.bypass).c_str());
    SetDlgItemTextW(page, IDC_OPT_PROXY_USER, Wide(proxy.server.user).c_str());
    {
        PlainSecret password(proxy.server.password);
        std::wstring text = Wide(password.Text());
        SetDlgItemTextW(page, IDC_OPT_PROXY_PASSWORD, text.c_str());
        SecureZero(&text[0], text.size() * sizeof(wchar_t));
    }
    SetDlgItemTextW(page, IDC_OPT_PROXY_SCRIPT_ADDRESS, Wide(proxy.PacURL).c_str());
    SetTexts(page, {{IDC_OPT_PROXY_ENABLE, IDS_PROXY_ENABLE},
                    {IDC_OPT_PROXY_AUTODETECT, IDS_PROXY_AUTODETECT},
                    {IDC_OPT_PROXY_SCRIPT, IDS_PROXY_SCRIPT},
                    {IDC_OPT_PROXY_SERVER, IDS_PROXY_SERVER},
                    {IDC_OPT_PROXY_SCRIPT_LABEL, IDS_PROXY_ADDRESS},
                    {IDC_OPT_PROXY_ADDRESS_LABEL, IDS_PROXY_ADDRESS},
                    {IDC_OPT_PROXY_PORT_LABEL, IDS_PROXY_PORT},
                    {IDC_OPT_PROXY_BYPASS_LABEL, IDS_PROXY_BYPASS},
                    {IDC_OPT_PROXY_USER_LABEL, IDS_PROXY_USER},
                    {IDC_OPT_PROXY_PASSWORD_LABEL, IDS_PROXY_PASSWORD},
                    {IDC_OPT_PROXY_FROM_SYSTEM, IDS_PROXY_FROM_SYSTEM}});
    CheckDlgButton(page, IDC_OPT_PROXY_ENABLE, proxy.Enable ? BST_CHECKED : BST_UNCHECKED);
    m_proxyType = m_snapshot.proxyType <= PROXY_TYPE_SERVER ? m_snapshot.proxyType : -1;
    UpdateProxyControls();
}

void COptionsDialog::UpdateProxyControls()
{
    HWND page = m_pages[kProxyPage];
    CheckRadioButton(page, IDC_OPT_PROXY_AUTODETECT, IDC_OPT_PROXY_SERVER,
                     m_proxyType >= 0 ? IDC_OPT_PROXY_AUTODETECT + m_proxyType : 0);
    ProxyPageEnabled on = ProxyPageControls(IsDlgButtonChecked(page, IDC_OPT_PROXY_ENABLE) == BST_CHECKED, m_proxyType);
    EnableControls(page, {IDC_OPT_PROXY_AUTODETECT, IDC_OPT_PROXY_SCRIPT, IDC_OPT_PROXY_SERVER}, on.radios);
    EnableControls(page, {IDC_OPT_PROXY_SCRIPT_LABEL, IDC_OPT_PROXY_SCRIPT_ADDRESS}, on.script);
    EnableControls(page,
                   {IDC_OPT_PROXY_ADDRESS_LABEL, IDC_OPT_PROXY_ADDRESS, IDC_OPT_PROXY_PORT_LABEL, IDC_OPT_PROXY_PORT,
                    IDC_OPT_PROXY_BYPASS_LABEL, IDC_OPT_PROXY_BYPASS, IDC_OPT_PROXY_USER_LABEL, IDC_OPT_PROXY_USER,
                    IDC_OPT_PROXY_PASSWORD_LABEL, IDC_OPT_PROXY_PASSWORD},
                   on.server);
}

void COptionsDialog::OnProxyCommand(UINT id)
{
    switch (id) {
    case IDC_OPT_PROXY_ENABLE: UpdateProxyControls(); break;
    case IDC_OPT_PROXY_AUTODETECT: m_proxyType = kProxyPageAutoDetect; UpdateProxyControls(); break;
    case IDC_OPT_PROXY_SCRIPT: m_proxyType = kProxyPageScript; UpdateProxyControls(); break;
    case IDC_OPT_PROXY_SERVER: m_proxyType = kProxyPageServer; UpdateProxyControls(); break;
    case IDC_OPT_PROXY_FROM_SYSTEM: TakeSystemProxy(); break;
    default: break;
    }
}

void COptionsDialog::TakeSystemProxy()
{
    SystemProxyInfo info;
    CWInHTTPProxyHelper helper;
    if (!helper.GetIEProxyConfig(info))
        return;
    HWND page = m_pages[kProxyPage];
    int type = info.autoDetect ? kProxyPageAutoDetect
               : !info.autoConfigUrl.empty() ? kProxyPageScript
               : !info.host.empty() ? kProxyPageServer
                                    : -1;
    CheckDlgButton(page, IDC_OPT_PROXY_ENABLE, type >= 0 ? BST_CHECKED : BST_UNCHECKED);
    m_proxyType = type >= 0 ? type : kProxyPageAutoDetect;
    SetDlgItemTextW(page, IDC_OPT_PROXY_ADDRESS, Wide(info.host).c_str());
    SetDlgItemTextW(page, IDC_OPT_PROXY_PORT, info.port ? std::to_wstring(info.port).c_str() : L"");
    SetDlgItemTextW(page, IDC_OPT_PROXY_BYPASS, Wide(info.bypass).c_str());
    SetDlgItemTextW(page, IDC_OPT_PROXY_SCRIPT_ADDRESS, Wide(info.autoConfigUrl).c_str());
    UpdateProxyControls();
}

bool COptionsDialog::RefuseProxy(UINT textId)
{
    MessageBoxW(m_dlg, TrayText(textId), TrayText(IDS_PROXY_ERROR), MB_OK | MB_ICONERROR);
    return false;
}

bool COptionsDialog::ApplyProxy()
{
    HWND page = m_pages[kProxyPage];
    if (!page)
        return true;
    ProxyConfig config = m_snapshot.proxy;
    uint8_t type = m_snapshot.proxyType;
    if (IsDlgButtonChecked(page, IDC_OPT_PROXY_ENABLE) != BST_CHECKED) {
        config.Enable = 0;
        if (m_proxyType >= 0)
            type = static_cast<uint8_t>(m_proxyType);
    } else {
        if (m_proxyType < 0)
            return true;  // nothing chosen: nothing to store
        type = static_cast<uint8_t>(m_proxyType);
        config.Enable = 1;
        config.AutoProxy = type == PROXY_TYPE_AUTODETECT ? 1 : 0;
        if (type == PROXY_TYPE_SCRIPT) {
            std::wstring script = FieldText(page, IDC_OPT_PROXY_SCRIPT_ADDRESS, kFieldChars);
            if (script.empty())
                return RefuseProxy(IDS_PROXY_NO_SCRIPT);
            config.PacURL = Narrow(script);
        } else if (type == PROXY_TYPE_SERVER) {
            std::wstring host = FieldText(page, IDC_OPT_PROXY_ADDRESS, kFieldChars);
            if (host.empty())
                return RefuseProxy(IDS_PROXY_NO_SERVER);
            int port = ParseProxyPort(FieldText(page, IDC_OPT_PROXY_PORT, 16));
            if (port < 0)
                return RefuseProxy(IDS_PROXY_BAD_PORT);
            config.server.host = Narrow(host);
            config.server.port = static_cast<uint16_t>(port);
            config.server.bypass = Narrow(FieldText(page, IDC_OPT_PROXY_BYPASS, kFieldChars));
            config.server.user = Narrow(FieldText(page, IDC_OPT_PROXY_USER, kFieldChars));
            std::wstring typed = FieldText(page, IDC_OPT_PROXY_PASSWORD, kFieldChars);
            std::string password = Narrow(typed);
            SecureZero(&typed[0], typed.size() * sizeof(wchar_t));
            config.server.password = s_mem();
            if (!password.empty() && !EncryptStoredString(&password[0], config.server.password)) {
                SecureZero(&password[0], password.size());
                DHLog::Instance().Print(DHLOG_CAT_STARTUP, DHLOG_WARN, true,
                                        "Options: the proxy password could not be kept.\n");
                return false;
            }
        }
    }
    if (!SaveProxySettings(config, type))
        DHLog::Instance().Print(DHLOG_CAT_STARTUP, DHLOG_WARN, true, "Options: the proxy settings were not saved.\n");
    m_snapshot.proxy = config;
    m_snapshot.proxyType = type;
    Post(kProxyApplied, new ProxyResult{config, type});
    return true;
}

// ---- connection profiles and language page ---------------------------------

void COptionsDialog::OnProfilesInit(HWND page)
{
    m_pages[kProfilesPage] = page;
    SetTexts(page, {{IDC_PROFILES_LABEL, IDS_PROFILES_LABEL},
                    {IDC_PROFILES_REMOVE_ALL, IDS_PROFILES_REMOVE_ALL},
                    {IDC_PROFILES_REMOVE, IDS_PROFILES_REMOVE},
                    {IDC_LANGUAGE_LABEL, IDS_LANGUAGE_LABEL},
                    {IDC_LANGUAGE_IMPORT, IDS_LANGUAGE_IMPORT}});

    ListLanguages();

    HWND list = GetDlgItem(page, IDC_PROFILES_LIST);
    ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
    const UINT columns[2] = {IDS_COLUMN_SERVER, IDS_COLUMN_USER};
    for (int i = 0; i < 2; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = const_cast<wchar_t*>(TrayText(columns[i]));
        column.cx = i == 0 ? 210 : 150;
        column.iSubItem = i;
        ListView_InsertColumn(list, i, &column);
    }
    // Each row keeps its profile's name: the name is what the store knows
    // the profile by, not the server shown.
    m_profileNames.clear();
    for (const ConnectionProfile& profile : m_profiles.All()) {
        std::wstring server = Wide(profile.server);
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = static_cast<int>(m_profileNames.size());
        item.pszText = &server[0];
        item.lParam = static_cast<LPARAM>(m_profileNames.size());
        int row = ListView_InsertItem(list, &item);
        std::wstring user = profile.user;
        ListView_SetItemText(list, row, 1, &user[0]);
        m_profileNames.push_back(profile.name);
    }
}

void COptionsDialog::OnProfilesCommand(UINT id)
{
    if (id == IDC_PROFILES_REMOVE_ALL)
        RemoveProfiles(true);
    else if (id == IDC_PROFILES_REMOVE)
        RemoveProfiles(false);
    else if (id == IDC_LANGUAGE_IMPORT)
        ImportLanguage();
}

void COptionsDialog::RemoveProfiles(bool all)
{
    HWND list = GetDlgItem(m_pages[kProfilesPage], IDC_PROFILES_LIST);
    bool removed = false;
    if (all) {
        removed = ListView_GetItemCount(list) > 0;
        m_profiles.RemoveAll();
        ListView_DeleteAllItems(list);
    } else {
        for (int row = ListView_GetItemCount(list) - 1; row >= 0; --row) {
            if (!(ListView_GetItemState(list, row, LVIS_SELECTED) & LVIS_SELECTED))
                continue;
            LVITEMW item{};
            item.mask = LVIF_PARAM;
            item.iItem = row;
            if (!ListView_GetItem(list, &item) || item.lParam < 0 ||
                static_cast<size_t>(item.lParam) >= m_profileNames.size())
                continue;
            m_profiles.Remove(m_profileNames[static_cast<size_t>(item.lParam)]);
            ListView_DeleteItem(list, row);
            removed = true;
        }
    }
    if (removed)
        Post(kProfilesRemoved, nullptr);
}

void COptionsDialog::ListLanguages()
{
    HWND combo = GetDlgItem(m_pages[kProfilesPage], IDC_LANGUAGE_COMBO);
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    m_languages = m_languageStore.List();
    for (const LanguagePackage& language : m_languages)
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(language.displayName.c_str()));
    SendMessageW(combo, CB_SETCURSEL, LanguagePackageStore::InUse(m_languages), 0);
}

void COptionsDialog::ImportLanguage()
{
    static const wchar_t kFilter[] = L"Language Package (*.zip)\0*.zip\0";
    wchar_t path[MAX_PATH] = L"";
    OPENFILENAMEW request{};
    request.lStructSize = sizeof(request);
    request.hwndOwner = m_dlg;
    request.lpstrFilter = kFilter;
    request.lpstrFile = path;
    request.nMaxFile = MAX_PATH;
    request.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    {
        OwnDialogHook hook;
        if (!GetOpenFileNameW(&request))
            return;
    }
    ShowImportResult(m_dlg, m_languageStore.Import(path));
    ListLanguages();
}

bool COptionsDialog::ApplyLanguage()
{
    HWND page = m_pages[kProfilesPage];
    if (!page)
        return true;
    LRESULT chosen = SendDlgItemMessageW(page, IDC_LANGUAGE_COMBO, CB_GETCURSEL, 0, 0);
    if (chosen < 0 || static_cast<size_t>(chosen) >= m_languages.size())
        return true;
    const std::wstring& file = m_languages[static_cast<size_t>(chosen)].fileName;
    if (file == CurrentLanguageName())
        return true;
    if (!m_languageStore.Choose(file)) {
        DHLog::Instance().Print(DHLOG_CAT_STARTUP, DHLOG_WARN, true, "Options: the language choice was not saved.\n");
        return true;
    }
    int answer = MessageBoxW(m_dlg, TrayText(IDS_LANGUAGE_RESTART), TrayText(IDS_WARNING),
                             MB_OKCANCEL | MB_ICONWARNING | MB_TOPMOST);
    if (answer == IDOK && m_snapshot.trayWindow)
        PostMessageW(m_snapshot.trayWindow, WM_COMMAND, IDM_TRAY_EXIT, 0);
    return true;
}

// ---- general page ----------------------------------------------------------

void COptionsDialog::OnGeneralInit(HWND page)
{
    m_pages[kGeneralPage] = page;
    SendDlgItemMessageW(page, IDC_GENERAL_FOLDER, EM_LIMITTEXT, kFolderChars, 0);
    SetDlgItemTextW(page, IDC_GENERAL_FOLDER, m_snapshot.mediaFolder.c_str());
    CheckDlgButton(page, IDC_GENERAL_PARTIMARK, m_snapshot.partiMark ? BST_CHECKED : BST_UNCHECKED);
    SetTexts(page, {{IDC_GENERAL_FOLDER_LABEL, IDS_GENERAL_FOLDER},
                    {IDC_GENERAL_PARTIMARK, IDS_GENERAL_PARTIMARK},
                    {IDC_GENERAL_TRANSPORT_LABEL, IDS_GENERAL_TRANSPORT}});
    HWND combo = GetDlgItem(page, IDC_GENERAL_TRANSPORT);
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    if (GetComboBoxInfo(combo, &info) && info.hwndList)
        MakeOwnLayeredWindow(info.hwndList);
    for (UINT text : {IDS_TRANSPORT_AUTO, IDS_TRANSPORT_TCP, IDS_TRANSPORT_UDP})
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(TrayText(text)));
    // A stored value outside the list selects "Auto".
    int transport = m_snapshot.audioTransType;
    SendMessageW(combo, CB_SETCURSEL, transport >= 0 && transport < kTransportCount ? transport : 0, 0);
}

void COptionsDialog::OnGeneralCommand(UINT id)
{
    if (id == IDC_GENERAL_BROWSE)
        BrowseFolder();
}

void COptionsDialog::BrowseFolder()
{
    HWND page = m_pages[kGeneralPage];
    BROWSEINFOW browse{};
    browse.hwndOwner = m_dlg;
    browse.lpszTitle = TrayText(IDS_BROWSE_FOLDER);
    browse.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE | BIF_UAHINT;
    PIDLIST_ABSOLUTE chosen = nullptr;
    {
        OwnDialogHook hook;
        chosen = SHBrowseForFolderW(&browse);
    }
    if (!chosen)
        return;
    wchar_t path[MAX_PATH] = L"";
    if (SHGetPathFromIDListW(chosen, path))
        SetDlgItemTextW(page, IDC_GENERAL_FOLDER, path);
    CoTaskMemFree(chosen);
}

bool COptionsDialog::ApplyGeneral()
{
    HWND page = m_pages[kGeneralPage];
    if (!page)
        return true;
    int partiMark = IsDlgButtonChecked(page, IDC_GENERAL_PARTIMARK) == BST_CHECKED ? 1 : 0;
    LRESULT transport = SendDlgItemMessageW(page, IDC_GENERAL_TRANSPORT, CB_GETCURSEL, 0, 0);
    int audio = transport >= 0 && transport < kTransportCount ? static_cast<int>(transport) : 0;
    std::wstring folder = FieldText(page, IDC_GENERAL_FOLDER, kFolderChars);
    if (folder.empty())
        folder = GetDefaultMediaFolder();
    int ok = RegWriteDword(kOptionsKey, "PartiMark", static_cast<DWORD>(partiMark));
    ok &= RegWriteDword(kOptionsKey, "AudioTransType", static_cast<DWORD>(audio));
    ok &= SaveMediaFilePath(folder);
    if (!ok)
        DHLog::Instance().Print(DHLOG_CAT_STARTUP, DHLOG_WARN, true, "Options: the general settings were not saved.\n");
    m_snapshot.partiMark = partiMark;
    m_snapshot.audioTransType = audio;
    m_snapshot.mediaFolder = folder;
    Post(kGeneralApplied, new GeneralResult{partiMark, audio, folder});
    return true;
}
