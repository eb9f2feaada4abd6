#pragma once
// The options dialog: proxy settings, connection profiles with the language
// choice, and the general settings (recording folder, participant marks,
// voice transport). One dialog at a time, modal on a thread of its own. The
// pages start from a copy of the settings taken on the main thread when the
// dialog opens; what a page applies is written to the registry on the
// dialog's thread and handed back to the main thread by a posted message, so
// only the main thread changes the program's settings in memory.
#include "appliance/cgi/ProxyConfig.h"
#include "core/app/DialogThread_win.h"
#include "core/app/LanguagePackages_win.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

class ProfileStore;

struct OptionsSnapshot {
    ProxyConfig proxy;
    uint8_t proxyType = PROXY_TYPE_SERVER;
    int partiMark = 1;
    int audioTransType = 0;
    std::wstring mediaFolder;
    HWND trayWindow = nullptr;  // gets the Exit command after a language change
};

// The main thread's side of the dialog.
class OptionsHost {
public:
    virtual ~OptionsHost() = default;
    virtual OptionsSnapshot Snapshot() = 0;
    // The proxy page was applied (already saved).
    virtual void ApplyProxy(const ProxyConfig& config, uint8_t proxyType) = 0;
    // The general page was applied (already saved).
    virtual void ApplyGeneral(int partiMark, int audioTransType, const std::wstring& mediaFolder) = 0;
    // Connection profiles were removed from the store.
    virtual void ProfilesChanged() = 0;
};

class COptionsDialog {
public:
    // On the main thread, which then receives the results.
    COptionsDialog(HINSTANCE instance, OptionsHost& host, ProfileStore& profiles);
    // Closes an open dialog and waits (bounded) for its thread.
    ~COptionsDialog();
    COptionsDialog(const COptionsDialog&) = delete;
    COptionsDialog& operator=(const COptionsDialog&) = delete;

    // Main thread: opens the dialog, or brings the open one to the front.
    void Open();
    // The dialog's window while it is open, else null.
    HWND Window() const { return m_dialog.Window(); }

private:
    enum Page { kProxyPage = 0, kProfilesPage = 1, kGeneralPage = 2, kPageCount = 3 };

    void Run();
    static INT_PTR CALLBACK FrameProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    // A page: its initialisation, then its buttons' clicks.
    template <void (COptionsDialog::*Init)(HWND), void (COptionsDialog::*Clicked)(UINT)>
    static INT_PTR CALLBACK PageProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ResultProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    void OnFrameInit(HWND hwnd);
    void ShowPage(int page);
    // Applies the page; false when it refused its values (the dialog stays).
    bool ApplyPage(int page);

    void OnProxyInit(HWND page);
    void OnProxyCommand(UINT id);
    void UpdateProxyControls();
    void TakeSystemProxy();
    bool ApplyProxy();
    bool RefuseProxy(UINT textId);

    void OnProfilesInit(HWND page);
    void OnProfilesCommand(UINT id);
    void RemoveProfiles(bool all);
    // Refills the language list from the store, the one in use selected.
    void ListLanguages();
    // Asks for a package archive and imports it.
    void ImportLanguage();
    bool ApplyLanguage();

    void OnGeneralInit(HWND page);
    void OnGeneralCommand(UINT id);
    void BrowseFolder();
    bool ApplyGeneral();

    void Post(UINT msg, void* result);

    HINSTANCE m_instance;
    OptionsHost& m_host;
    ProfileStore& m_profiles;
    HWND m_results = nullptr;  // message-only window of the main thread

    // The dialog's thread only.
    OptionsSnapshot m_snapshot;
    HWND m_dlg = nullptr;
    HWND m_tab = nullptr;
    HWND m_pages[kPageCount] = {};
    int m_proxyType = -1;  // the radio chosen on the proxy page, -1 none
    std::vector<std::string> m_profileNames;  // by the rows' item data
    LanguagePackageStore m_languageStore;
    std::vector<LanguagePackage> m_languages;  // by the list's positions
    // Last: closed and joined first.
    DialogThread m_dialog;
};
