// The options dialog under Wine: the real dialog on its own thread, opened
// through the program's appliance services as the tray's Settings open it,
// its pages driven by clicks and typing, the registry values read back, the
// program's settings handed back on the main thread, and a screenshot of
// each page and refusal.
#include "core/app/OptionsDialog_win.h"

#include "appliance/https/ProxySettings_win.h"
#include "appliance/ui/LoginResources.h"
#include "appliance/ui/ProfileStore.h"
#include "appliance/ui/RegistryProfileBackend_win.h"
#include "core/app/Manager.h"
#include "core/app/ProgramAppliance_win.h"
#include "core/app/Tray.h"
#include "core/app/res/TrayDialogs.h"
#include "core/app/tests/ManagerFakes.h"
#include "core/base/MediaFiles.h"
#include "core/base/PlainSecret.h"
#include "core/base/Registry.h"
#include "core/base/StoredSecret.h"
#include "core/base/ThreadMessages.h"
#include "tests/support/WindowTest_win.h"

#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>
#include <shlobj.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace wintest;

namespace {

const std::string kProxyKey = std::string(kSettingsKey) + "\\Proxy";
const std::string kProfilesKey = std::string(kSettingsKey) + "\\Profiles";
constexpr char kIeConnections[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

std::vector<uint8_t> RawValue(const char* subkey, const char* name)
{
    HKEY key = nullptr;
    std::vector<uint8_t> bytes;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return bytes;
    DWORD size = 0, type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_BINARY) {
        bytes.resize(size);
        RegQueryValueExA(key, name, nullptr, &type, bytes.data(), &size);
    }
    RegCloseKey(key);
    return bytes;
}

void WriteRaw(const char* subkey, const char* name, DWORD type, const void* data, DWORD size)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, subkey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

// The system proxy settings WinHTTP reads for the current user (WINE.md).
void WriteSystemProxy(uint32_t flags, const std::string& proxy, const std::string& bypass, const std::string& script)
{
    std::string blob;
    auto dword = [&](uint32_t v) { blob.append(reinterpret_cast<const char*>(&v), 4); };
    dword(0x46);
    dword(1);
    dword(flags);
    for (const std::string* s : {&proxy, &bypass, &script}) {
        dword(static_cast<uint32_t>(s->size()));
        blob += *s;
    }
    blob.append(32, '\0');
    WriteRaw(kIeConnections, "DefaultConnectionSettings", REG_BINARY, blob.data(), static_cast<DWORD>(blob.size()));
}

bool HasValue(const std::string& subkey, const char* name)
{
    s_mem data;
    return RegReadValue(subkey.c_str(), name, data) != 0;
}

// The process's visible top-level window owned by `owner`, else null.
HWND OwnedWindow(HWND owner)
{
    struct Search {
        HWND owner;
        HWND found;
    } search{owner, nullptr};
    EnumWindows([](HWND hwnd, LPARAM lParam) -> BOOL {
        auto* s = reinterpret_cast<Search*>(lParam);
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        if (pid == GetCurrentProcessId() && hwnd != s->owner && IsWindowVisible(hwnd) &&
            GetWindow(hwnd, GW_OWNER) == s->owner)
            s->found = hwnd;
        return TRUE;
    }, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

class OptionsDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteKeyTree(HKEY_CURRENT_USER, kProxyKey.c_str(), nullptr);
        RegDeleteKeyTree(HKEY_CURRENT_USER, kProfilesKey.c_str(), nullptr);
        for (const char* name : {"PartiMark", "AudioTransType", "MediaFilePath", "i18n"})
            RegDeleteKeyTree(HKEY_CURRENT_USER, kOptionsKey, name);
        RegDeleteKeyTree(HKEY_CURRENT_USER, kIeConnections, "DefaultConnectionSettings");
        SetThreadMessageSink([this](const MSG& msg) {
            if (msg.message == PLM_SETTINGS_CHANGED)
                ++settingsChanged;
            if (msg.message == PLM_QUIT)
                ++quits;
        });
    }
    void Start()
    {
        manager = MakeFakeManager(log);
        manager->tray = new CTray(manager.get());
        appliance = std::make_unique<ProgramAppliance>(*manager);
    }
    void TearDown() override
    {
        appliance.reset();
        if (manager)
            DeleteAndClear(manager->tray);
        manager.reset();
        SetThreadMessageSink(nullptr);
    }
    HWND Open()
    {
        if (!manager)
            Start();
        appliance->OpenOptions();
        EXPECT_TRUE(WaitFor([&] { return appliance->Options() && appliance->Options()->Window(); }));
        dlg = appliance->Options()->Window();
        proxyPage = FindChildWithControl(dlg, IDC_OPT_PROXY_ENABLE);
        profilesPage = FindChildWithControl(dlg, IDC_LANGUAGE_COMBO);
        generalPage = FindChildWithControl(dlg, IDC_GENERAL_PARTIMARK);
        return dlg;
    }
    void ShowTab(int index)
    {
        HWND tab = FindControl(dlg, IDC_OPTIONS_TAB);
        TabCtrl_SetCurSel(tab, index);
        NMHDR change{tab, IDC_OPTIONS_TAB, static_cast<UINT>(TCN_SELCHANGE)};
        SendMessageW(dlg, WM_NOTIFY, IDC_OPTIONS_TAB, reinterpret_cast<LPARAM>(&change));
    }
    bool Checked(HWND page, int id) { return IsDlgButtonChecked(page, id) == BST_CHECKED; }
    void SetCheck(HWND page, int id, bool on)
    {
        if (Checked(page, id) != on)
            Click(page, id);
    }
    bool Enabled(HWND page, int id) { return IsWindowEnabled(GetDlgItem(page, id)) != FALSE; }
    // OK or Apply on the frame, posted: a refusal's message box runs on the
    // dialog's thread while this one watches.
    void Press(int id) { PostMessageW(dlg, WM_COMMAND, id, 0); }
    // Apply on the frame, handled before this returns. (Pages have their own
    // controls of the same id, so the button is not looked up by id.)
    void Apply() { SendMessageW(dlg, WM_COMMAND, IDC_OPTIONS_APPLY, 0); }
    // Clicks a page's button that opens a system dialog on the options
    // thread; the dialog must be an own layered window. Null when none came.
    HWND OpenOwnDialog(HWND page, int button, const wchar_t* state)
    {
        PostMessageW(page, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
        HWND opened = nullptr;
        if (!WaitFor([&] { return (opened = OwnedWindow(dlg)) != nullptr; }))
            return nullptr;
        EXPECT_TRUE(GetWindowLongPtrW(opened, GWL_EXSTYLE) & WS_EX_LAYERED);
        PumpFor(300);
        SaveScreenshot(opened, L"OptionsDialog", state);
        return opened;
    }
    bool Closed()
    {
        return WaitFor([&] { return appliance->Options()->Window() == nullptr; });
    }

    CallLog log;
    std::unique_ptr<CManager> manager;
    std::unique_ptr<ProgramAppliance> appliance;
    HWND dlg = nullptr, proxyPage = nullptr, profilesPage = nullptr, generalPage = nullptr;
    int settingsChanged = 0;
    int quits = 0;
};

std::wstring ExeFolder()
{
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

std::wstring LanguageFolder()
{
    wchar_t appData[MAX_PATH] = L"";
    SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, appData);
    return std::wstring(appData) + L"\\Quenlore\\Parlemo\\lang\\";
}

std::wstring CodeMarker()
{
    wchar_t temp[MAX_PATH] = L"";
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"corvisk_dllmain_ran.txt";
}

// The language libraries and archives the build makes beside this test.
std::wstring TestLanguage(const wchar_t* name) { return ExeFolder() + L"app_test_lang_" + name + L".dll"; }

std::vector<std::wstring> ComboTexts(HWND combo)
{
    std::vector<std::wstring> names;
    for (int i = 0; i < SendMessageW(combo, CB_GETCOUNT, 0, 0); ++i) {
        wchar_t text[64] = L"";
        SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        names.push_back(text);
    }
    return names;
}

} // namespace

TEST_F(OptionsDialogTest, PagesStartFromTheProgramsSettings)
{
    Start();
    manager->proxy.Enable = 1;
    manager->proxy.server.host = "proxy.example";
    manager->proxy.server.port = 3128;
    manager->proxy.server.user = "pat";
    std::string secret = "s3cret";
    ASSERT_TRUE(EncryptStoredString(&secret[0], manager->proxy.server.password));
    appliance->SetProxyType(PROXY_TYPE_SERVER);
    Open();
    ASSERT_NE(dlg, nullptr);
    EXPECT_EQ(Text(dlg), L"Settings");
    EXPECT_TRUE(GetWindowLongPtrW(dlg, GWL_EXSTYLE) & WS_EX_LAYERED);
    HWND tab = FindControl(dlg, IDC_OPTIONS_TAB);
    EXPECT_EQ(TabCtrl_GetItemCount(tab), 3);
    EXPECT_TRUE(IsWindowVisible(proxyPage));
    EXPECT_FALSE(IsWindowVisible(generalPage));
    EXPECT_EQ(ControlText(proxyPage, IDC_OPT_PROXY_ADDRESS), L"proxy.example");
    EXPECT_EQ(ControlText(proxyPage, IDC_OPT_PROXY_PORT), L"3128");
    EXPECT_EQ(ControlText(proxyPage, IDC_OPT_PROXY_USER), L"pat");
    EXPECT_EQ(ControlText(proxyPage, IDC_OPT_PROXY_PASSWORD), L"s3cret");
    EXPECT_TRUE(Checked(proxyPage, IDC_OPT_PROXY_SERVER));
    PumpFor(200);
    SaveScreenshot(dlg, L"OptionsDialog", L"proxy_page");

    ShowTab(2);
    EXPECT_TRUE(IsWindowVisible(generalPage));
    EXPECT_FALSE(IsWindowVisible(proxyPage));
    EXPECT_EQ(ControlText(generalPage, IDC_GENERAL_FOLDER), manager->tray->MediaFolder());
    EXPECT_TRUE(Checked(generalPage, IDC_GENERAL_PARTIMARK));
    EXPECT_EQ(SendDlgItemMessageW(generalPage, IDC_GENERAL_TRANSPORT, CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(SendDlgItemMessageW(generalPage, IDC_GENERAL_TRANSPORT, CB_GETCURSEL, 0, 0), 0);
    PumpFor(200);
    SaveScreenshot(dlg, L"OptionsDialog", L"general_page");
    Click(dlg, IDCANCEL);
    EXPECT_TRUE(Closed());
}

TEST_F(OptionsDialogTest, ProxyControlsFollowEnableAndType)
{
    Open();
    const struct {
        bool enable;
        int radio;  // 0: none clicked
        bool radios, script, server;
    } cases[] = {
        {true, IDC_OPT_PROXY_AUTODETECT, true, false, false},
        {true, IDC_OPT_PROXY_SCRIPT, true, true, false},
        {true, IDC_OPT_PROXY_SERVER, true, false, true},
        {false, 0, false, false, false},
        {true, 0, true, false, true},  // ticking again brings back the server fields
    };
    for (const auto& c : cases) {
        SetCheck(proxyPage, IDC_OPT_PROXY_ENABLE, c.enable);
        if (c.radio)
            Click(proxyPage, c.radio);
        EXPECT_EQ(Enabled(proxyPage, IDC_OPT_PROXY_AUTODETECT), c.radios) << c.radio;
        EXPECT_EQ(Enabled(proxyPage, IDC_OPT_PROXY_SCRIPT_ADDRESS), c.script) << c.radio;
        for (int id : {IDC_OPT_PROXY_ADDRESS, IDC_OPT_PROXY_PORT, IDC_OPT_PROXY_BYPASS, IDC_OPT_PROXY_USER, IDC_OPT_PROXY_PASSWORD})
            EXPECT_EQ(Enabled(proxyPage, id), c.server) << c.radio << " " << id;
    }
}

TEST_F(OptionsDialogTest, ApplyStoresTheProxyAndHandsItToTheProgram)
{
    Open();
    SetCheck(proxyPage, IDC_OPT_PROXY_ENABLE, true);
    Click(proxyPage, IDC_OPT_PROXY_SERVER);
    SetControlText(proxyPage, IDC_OPT_PROXY_ADDRESS, L"proxy.example");
    SetControlText(proxyPage, IDC_OPT_PROXY_PORT, L"");
    SetControlText(proxyPage, IDC_OPT_PROXY_BYPASS, L"*.local;10.*");
    SetControlText(proxyPage, IDC_OPT_PROXY_USER, L"pat");
    SetControlText(proxyPage, IDC_OPT_PROXY_PASSWORD, L"pw");
    Apply();

    DWORD value = 0;
    std::string text;
    EXPECT_TRUE(RegReadDword(kProxyKey.c_str(), "Enable", value) && value == 1);
    EXPECT_TRUE(RegReadDword(kProxyKey.c_str(), "ProxyType", value) && value == 2);
    EXPECT_TRUE(RegReadDword(kProxyKey.c_str(), "Port", value) && value == 808) << "empty port";
    EXPECT_TRUE(RegReadString(kProxyKey.c_str(), "Server", text) && text == "proxy.example");
    EXPECT_TRUE(RegReadString(kProxyKey.c_str(), "Bypass", text) && text == "*.local;10.*");
    EXPECT_TRUE(HasValue(kProxyKey, "npx0"));
    // The program's settings change on the main thread, from the posted result.
    EXPECT_TRUE(WaitFor([&] { return manager->proxy.server.host == "proxy.example"; }));
    EXPECT_EQ(manager->proxy.server.port, 808);
    EXPECT_EQ(manager->proxy.Enable, 1u);
    EXPECT_EQ(PlainSecret(manager->proxy.server.password).Text(), "pw");
    EXPECT_EQ(appliance->ProxyType(), PROXY_TYPE_SERVER);
    EXPECT_NE(appliance->Options()->Window(), nullptr) << "Apply keeps the dialog";

    // What was stored reads back as the program reads it at start.
    ProxyConfig read;
    uint8_t type = 0;
    EXPECT_EQ(ReadProxySettings(read, type), 1);
    EXPECT_EQ(read.server.host, "proxy.example");
    EXPECT_EQ(read.server.port, 808);

    Click(proxyPage, IDC_OPT_PROXY_SCRIPT);
    SetControlText(proxyPage, IDC_OPT_PROXY_SCRIPT_ADDRESS, L"http://pac.example/proxy.pac");
    Press(IDOK);
    EXPECT_TRUE(Closed());
    EXPECT_TRUE(RegReadString(kProxyKey.c_str(), "PacURL", text) && text == "http://pac.example/proxy.pac");
    EXPECT_TRUE(WaitFor([&] { return appliance->ProxyType() == PROXY_TYPE_SCRIPT; }));
    EXPECT_EQ(manager->proxy.PacURL, "http://pac.example/proxy.pac");
}

TEST_F(OptionsDialogTest, RefusedProxyValuesKeepTheDialogAndStoreNothing)
{
    Open();
    const struct {
        int radio;
        const wchar_t* address;
        const wchar_t* port;
        const wchar_t* message;
    } cases[] = {
        {IDC_OPT_PROXY_SCRIPT, L"", L"", L"No configure script address entered.\nPlease ensure all fields are properly filled."},
        {IDC_OPT_PROXY_SERVER, L"", L"80", L"No proxy server entered.\nPlease ensure all fields are properly filled."},
        {IDC_OPT_PROXY_SERVER, L"proxy.example", L"abc",
         L"The proxy port must be a number from 1 to 65535.\nPlease ensure all fields are properly filled."},
        {IDC_OPT_PROXY_SERVER, L"proxy.example", L"70000",
         L"The proxy port must be a number from 1 to 65535.\nPlease ensure all fields are properly filled."},
    };
    SetCheck(proxyPage, IDC_OPT_PROXY_ENABLE, true);
    bool shot = false;
    for (const auto& c : cases) {
        Click(proxyPage, c.radio);
        SetControlText(proxyPage, IDC_OPT_PROXY_SCRIPT_ADDRESS, L"");
        SetControlText(proxyPage, IDC_OPT_PROXY_ADDRESS, c.address);
        SetControlText(proxyPage, IDC_OPT_PROXY_PORT, c.port);
        for (int button : {IDC_OPTIONS_APPLY, IDOK}) {
            Press(button);
            HWND box = nullptr;
            ASSERT_TRUE(WaitFor([&] { return (box = FindTopLevel(L"#32770", L"Proxy Error")) != nullptr; }))
                << c.message;
            EXPECT_EQ(ControlText(box, 0xFFFF), c.message);
            if (!shot) {
                PumpFor(200);
                SaveScreenshot(box, L"OptionsDialog", L"proxy_error");
                shot = true;
            }
            Click(box, IDOK);
            EXPECT_TRUE(WaitFor([&] { return FindTopLevel(L"#32770", L"Proxy Error") == nullptr; }));
            // Even after OK the dialog stays, with what was typed.
            PumpFor(100);
            EXPECT_EQ(appliance->Options()->Window(), dlg) << c.message;
            EXPECT_EQ(ControlText(proxyPage, IDC_OPT_PROXY_PORT), c.port);
        }
    }
    EXPECT_FALSE(HasValue(kProxyKey, "Enable"));
    EXPECT_FALSE(HasValue(kProxyKey, "ProxyType"));
    EXPECT_EQ(manager->proxy.Enable, 0u);
}

TEST_F(OptionsDialogTest, SystemSettingsSelectTheirType)
{
    Open();
    const struct {
        uint32_t flags;
        int radio;  // 0: "Enable" unticked
        const wchar_t *address, *port, *bypass, *script;
    } cases[] = {
        {1 | 2 | 4 | 8, IDC_OPT_PROXY_AUTODETECT, L"localhost", L"37888", L"<local>", L"http://127.0.0.1:37080/proxy.pac"},
        {1 | 2 | 4, IDC_OPT_PROXY_SCRIPT, L"localhost", L"37888", L"<local>", L"http://127.0.0.1:37080/proxy.pac"},
        {1 | 2, IDC_OPT_PROXY_SERVER, L"localhost", L"37888", L"<local>", L""},
        {1, 0, L"", L"", L"", L""},
    };
    for (const auto& c : cases) {
        WriteSystemProxy(c.flags, c.flags & 2 ? "localhost:37888" : "", c.flags & 2 ? "<local>" : "",
                         c.flags & 4 ? "http://127.0.0.1:37080/proxy.pac" : "");
        Click(proxyPage, IDC_OPT_PROXY_FROM_SYSTEM);
        EXPECT_EQ(Checked(proxyPage, IDC_OPT_PROXY_ENABLE), c.radio != 0) << c.flags;
        if (c.radio) {
            EXPECT_TRUE(Checked(proxyPage, c.radio)) << c.flags;
        }
        EXPECT_EQ(ControlText(proxyPage, IDC_OPT_PROXY_ADDRESS), c.address) << c.flags;
        EXPECT_EQ(ControlText(proxyPage, IDC_OPT_PROXY_PORT), c.port) << c.flags;
        EXPECT_EQ(ControlText(proxyPage, IDC_OPT_PROXY_BYPASS), c.bypass) << c.flags;
        EXPECT_EQ(ControlText(proxyPage, IDC_OPT_PROXY_SCRIPT_ADDRESS), c.script) << c.flags;
        if (c.radio == IDC_OPT_PROXY_SCRIPT) {
            PumpFor(200);
            SaveScreenshot(dlg, L"OptionsDialog", L"proxy_from_system");
        }
    }
}

TEST_F(OptionsDialogTest, OkAppliesOnlyThePageInView)
{
    Open();
    SetCheck(proxyPage, IDC_OPT_PROXY_ENABLE, true);
    Click(proxyPage, IDC_OPT_PROXY_SERVER);
    SetControlText(proxyPage, IDC_OPT_PROXY_ADDRESS, L"typed.example");
    ShowTab(2);
    SetControlText(generalPage, IDC_GENERAL_FOLDER, L"C:\\recordings");
    SetCheck(generalPage, IDC_GENERAL_PARTIMARK, false);
    SendDlgItemMessageW(generalPage, IDC_GENERAL_TRANSPORT, CB_SETCURSEL, 2, 0);
    Click(dlg, IDOK);
    EXPECT_TRUE(Closed());

    EXPECT_FALSE(HasValue(kProxyKey, "Server")) << "the proxy page was not in view";
    DWORD value = 9;
    EXPECT_TRUE(RegReadDword(kOptionsKey, "PartiMark", value) && value == 0);
    EXPECT_TRUE(RegReadDword(kOptionsKey, "AudioTransType", value) && value == 2);
    // 0x80, the UTF-16LE text, then 0x00.
    std::vector<uint8_t> expected{0x80};
    for (wchar_t ch : std::wstring(L"C:\\recordings")) {
        expected.push_back(static_cast<uint8_t>(ch & 0xFF));
        expected.push_back(static_cast<uint8_t>(ch >> 8));
    }
    expected.push_back(0);
    EXPECT_EQ(RawValue(kOptionsKey, "MediaFilePath"), expected);
    EXPECT_TRUE(WaitFor([&] { return settingsChanged == 1; }));
    EXPECT_EQ(manager->partiMarkEnabled, 0);
    EXPECT_EQ(manager->audioTransType, 2);
    EXPECT_EQ(manager->tray->MediaFolder(), L"C:\\recordings");
    EXPECT_TRUE(manager->proxy.server.host.empty());
}

TEST_F(OptionsDialogTest, EmptyFolderStoresTheDefaultAndBadValuesReadSafely)
{
    // Stored values the dialog must live with: a transport outside 0-2, a
    // mark of the wrong type and a folder value that decodes to nothing.
    DWORD transport = 7;
    WriteRaw(kOptionsKey, "AudioTransType", REG_DWORD, &transport, sizeof(transport));
    WriteRaw(kOptionsKey, "PartiMark", REG_SZ, "x", 2);
    const uint8_t junk[] = {0x80, 0x41};
    WriteRaw(kOptionsKey, "MediaFilePath", REG_BINARY, junk, sizeof(junk));
    Open();
    ShowTab(2);
    EXPECT_EQ(SendDlgItemMessageW(generalPage, IDC_GENERAL_TRANSPORT, CB_GETCURSEL, 0, 0), 0) << "Auto";
    EXPECT_TRUE(Checked(generalPage, IDC_GENERAL_PARTIMARK));
    EXPECT_EQ(ControlText(generalPage, IDC_GENERAL_FOLDER), GetDefaultMediaFolder());

    SetControlText(generalPage, IDC_GENERAL_FOLDER, L"");
    Apply();
    std::wstring stored;
    EXPECT_TRUE(LoadMediaFilePath(stored));
    EXPECT_EQ(stored, GetDefaultMediaFolder());
    DWORD value = 9;
    EXPECT_TRUE(RegReadDword(kOptionsKey, "AudioTransType", value) && value == 0);
    EXPECT_TRUE(WaitFor([&] { return settingsChanged == 1; }));
    EXPECT_EQ(manager->audioTransType, 0);
}

TEST_F(OptionsDialogTest, RemoveTakesTheProfilesOfTheRowsChosen)
{
    {
        auto store = MakeRegistryProfileStore();
        store->Remember("alpha.example", L"ann", 0x01D0000000000001ull);
        store->Remember("beta.example", L"bob", 0x01D0000000000002ull);
        store->Remember("gamma.example", L"cy", 0x01D0000000000003ull);
    }
    ASSERT_EQ(RegCountSubkeys(HKEY_CURRENT_USER, kProfilesKey.c_str()), 3);
    Start();
    // A login window open at the same time follows the removals.
    ASSERT_TRUE(appliance->CreateLogin());
    HWND loginCombo = FindControl(appliance->LoginWindow(), IDC_SERVER_COMBO);
    ASSERT_NE(loginCombo, nullptr);
    ASSERT_NE(SendMessageW(loginCombo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                           reinterpret_cast<LPARAM>(L"beta.example")), CB_ERR);
    Open();
    ShowTab(1);
    HWND list = FindControl(profilesPage, IDC_PROFILES_LIST);
    ASSERT_EQ(ListView_GetItemCount(list), 3);
    int beta = -1;
    for (int row = 0; row < 3; ++row) {
        wchar_t server[64] = L"", user[64] = L"";
        ListView_GetItemText(list, row, 0, server, 64);
        ListView_GetItemText(list, row, 1, user, 64);
        if (std::wstring(server) == L"beta.example") {
            beta = row;
            EXPECT_STREQ(user, L"bob");
        }
    }
    ASSERT_GE(beta, 0);
    // The language half lists the built-in texts, chosen.
    HWND languages = FindControl(profilesPage, IDC_LANGUAGE_COMBO);
    EXPECT_GE(SendMessageW(languages, CB_GETCOUNT, 0, 0), 1);
    EXPECT_EQ(SendMessageW(languages, CB_GETCURSEL, 0, 0), 0);
    PumpFor(200);
    SaveScreenshot(dlg, L"OptionsDialog", L"profiles_page");

    ListView_SetItemState(list, beta, LVIS_SELECTED, LVIS_SELECTED);
    Click(profilesPage, IDC_PROFILES_REMOVE);
    EXPECT_EQ(ListView_GetItemCount(list), 2);
    EXPECT_EQ(RegCountSubkeys(HKEY_CURRENT_USER, kProfilesKey.c_str()), 2);
    ConnectionProfile found;
    EXPECT_FALSE(MakeRegistryProfileStore()->FindByServer("beta.example", found));
    EXPECT_TRUE(MakeRegistryProfileStore()->FindByServer("alpha.example", found));
    EXPECT_TRUE(WaitFor([&] {
        return SendMessageW(loginCombo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                            reinterpret_cast<LPARAM>(L"beta.example")) == CB_ERR;
    }));

    Click(profilesPage, IDC_PROFILES_REMOVE_ALL);
    EXPECT_EQ(ListView_GetItemCount(list), 0);
    EXPECT_LE(RegCountSubkeys(HKEY_CURRENT_USER, kProfilesKey.c_str()), 0);

    // The same language chosen again writes nothing and asks nothing.
    Apply();
    PumpFor(300);
    EXPECT_EQ(FindTopLevel(L"#32770", L"Warning"), nullptr);
    EXPECT_FALSE(HasValue(kOptionsKey, "i18n"));
}

TEST_F(OptionsDialogTest, RequestsInARowMakeOneDialog)
{
    Start();
    appliance->OpenOptions();
    appliance->OpenOptions();
    Open();
    PumpFor(300);
    int dialogs = 0;
    EnumWindows([](HWND hwnd, LPARAM count) -> BOOL {
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        wchar_t title[64] = L"";
        GetWindowTextW(hwnd, title, 64);
        if (pid == GetCurrentProcessId() && std::wstring(title) == L"Settings" && IsWindowVisible(hwnd))
            ++*reinterpret_cast<int*>(count);
        return TRUE;
    }, reinterpret_cast<LPARAM>(&dialogs));
    EXPECT_EQ(dialogs, 1);
    appliance->OpenOptions();
    EXPECT_EQ(appliance->Options()->Window(), dlg);

    // Closed, the next request opens a new one.
    SendMessageW(dlg, WM_CLOSE, 0, 0);
    EXPECT_TRUE(Closed());
    Open();
    EXPECT_NE(dlg, nullptr);
}

TEST_F(OptionsDialogTest, AnotherLanguageIsStoredAndAsksToRestart)
{
    // Installed packages: one accepted (with code that must not run), one
    // too old (8.0.0.5).
    const std::wstring folder = LanguageFolder();
    SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(TestLanguage(L"dllmain").c_str(), (folder + L"code.dll").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(TestLanguage(L"8005").c_str(), (folder + L"old.dll").c_str(), FALSE));
    DeleteFileW(CodeMarker().c_str());

    Open();
    ShowTab(1);
    HWND combo = FindControl(profilesPage, IDC_LANGUAGE_COMBO);
    EXPECT_EQ(ComboTexts(combo), (std::vector<std::wstring>{L"English", L"Code (Test)"}));
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(GetFileAttributesW(CodeMarker().c_str()), INVALID_FILE_ATTRIBUTES) << "listed as data only";

    SendMessageW(combo, CB_SETCURSEL, 1, 0);
    for (int answer : {IDCANCEL, IDOK}) {
        Press(answer == IDCANCEL ? IDC_OPTIONS_APPLY : IDOK);
        HWND box = nullptr;
        ASSERT_TRUE(WaitFor([&] { return (box = FindTopLevel(L"#32770", L"Warning")) != nullptr; }));
        EXPECT_EQ(ControlText(box, 0xFFFF),
                  L"Please restart the application for language settings to take effect.  Exit application?");
        if (answer == IDCANCEL) {
            PumpFor(200);
            SaveScreenshot(box, L"OptionsDialog", L"language_restart");
        }
        std::string stored;
        EXPECT_TRUE(RegReadString(kOptionsKey, "i18n", stored));
        EXPECT_EQ(stored, "code.dll");
        Click(box, answer);
        PumpFor(200);
        // Cancel keeps the program; OK ends it through the tray's Exit.
        EXPECT_EQ(quits, answer == IDOK ? 1 : 0);
    }
    EXPECT_TRUE(Closed());
    EXPECT_EQ(GetFileAttributesW(CodeMarker().c_str()), INVALID_FILE_ATTRIBUTES) << "chosen as data only";
    for (const wchar_t* file : {L"code.dll", L"old.dll"})
        DeleteFileW((folder + file).c_str());
}

TEST_F(OptionsDialogTest, ImportedPackageJoinsTheList)
{
    const std::wstring folder = LanguageFolder();
    DeleteFileW((folder + L"pseudo.dll").c_str());
    const std::wstring zip = ExeFolder() + L"CorviskDemoLanguage.zip";
    ASSERT_NE(GetFileAttributesW(zip.c_str()), INVALID_FILE_ATTRIBUTES);

    Open();
    ShowTab(1);
    HWND combo = FindControl(profilesPage, IDC_LANGUAGE_COMBO);
    ASSERT_EQ(ComboTexts(combo), (std::vector<std::wstring>{L"English"}));
    ASSERT_TRUE(IsWindowEnabled(GetDlgItem(profilesPage, IDC_LANGUAGE_IMPORT)));
    // The system's file dialog; the archive typed into its name field and
    // opened.
    HWND files = OpenOwnDialog(profilesPage, IDC_LANGUAGE_IMPORT, L"import_file_dialog");
    ASSERT_NE(files, nullptr);
    SendMessageW(files, CDM_SETCONTROLTEXT, edt1, reinterpret_cast<LPARAM>(zip.c_str()));
    SendMessageW(files, CDM_SETCONTROLTEXT, cmb13, reinterpret_cast<LPARAM>(zip.c_str()));
    PostMessageW(files, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(files, IDOK)));

    HWND box = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        box = OwnedWindow(dlg);
        return box && box != files && !IsWindow(files);
    }));
    EXPECT_EQ(ControlText(box, 0xFFFF), L"The following languages will be added:\nPseudo (Demo)");
    PumpFor(200);
    SaveScreenshot(box, L"OptionsDialog", L"import_result");
    Click(box, IDOK);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(box); }));

    // The package is in the language folder and in the list; the built-in
    // texts stay the ones in use.
    EXPECT_NE(GetFileAttributesW((folder + L"pseudo.dll").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(WaitFor([&] { return ComboTexts(combo).size() == 2; }));
    EXPECT_EQ(ComboTexts(combo), (std::vector<std::wstring>{L"English", L"Pseudo (Demo)"}));
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 0);
    SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
    PumpFor(300);
    SaveScreenshot(dlg, L"OptionsDialog", L"language_imported");
    SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
    SendMessageW(dlg, WM_CLOSE, 0, 0);
    EXPECT_TRUE(Closed());
    DeleteFileW((folder + L"pseudo.dll").c_str());
}

TEST_F(OptionsDialogTest, FolderBrowserIsAnOwnLayeredWindow)
{
    Open();
    ShowTab(2);
    const std::wstring before = ControlText(generalPage, IDC_GENERAL_FOLDER);
    HWND browser = OpenOwnDialog(generalPage, IDC_GENERAL_BROWSE, L"folder_browser");
    ASSERT_NE(browser, nullptr);
    PostMessageW(browser, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(browser); }));
    EXPECT_EQ(ControlText(generalPage, IDC_GENERAL_FOLDER), before);
}
