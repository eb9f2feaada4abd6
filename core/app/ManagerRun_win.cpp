// The run sequence: libraries, log, tray, session, launch parameters, the
// first window, then the message loop.
#include "core/app/Manager.h"

#include "core/base/DHLog.h"
#include "core/app/LaunchParameters.h"
#include "core/app/LaunchParams.h"
#include "core/app/ModalLoopMessages_win.h"
#include "core/base/LoadResString.h"
#include "core/base/LogSetup.h"
#include "core/base/MenuSubclass.h"
#include "core/base/Registry.h"
#include "core/base/StringUtil.h"
#include "core/app/RunSteps.h"
#include "core/app/Tray.h"
#include "core/app/res/resource.h"

#include <cstdio>

namespace {

constexpr int kProxyCredentialsWanted = 19;
constexpr int kProxyAuthAttempts = 3;
// What TestWithProxyAuth gives when the user cancels the proxy dialog or it
// failed three times: the run ends.
constexpr int kRunEnds = -1;

void LogText(int level, const wchar_t* text)
{
    DHLog::Instance().PrintW(0x04, level, false, L"%s", text);
}

std::string LongPath(const std::string& path)
{
    char buf[MAX_PATH * 2];
    DWORD n = GetLongPathNameA(path.c_str(), buf, sizeof(buf));
    return n > 0 && n < sizeof(buf) ? std::string(buf, n) : path;
}

} // namespace

int ReadMsiInstallFlag()
{
    DWORD msi = 0;
    return RegReadDword(kSettingsKey, "msiinstall", msi) && msi != 0 ? 1 : 0;
}

std::string TempCopyNameFor(const std::string& tempFolder, const std::string& selfPath)
{
    std::string name = tempFolder + "Corvisk.exe";
    if (lstrcmpiA(LongPath(selfPath).c_str(), LongPath(name).c_str()) == 0)
        name = tempFolder + "Corvisk(1).exe";
    return name;
}

std::string TempCopyName()
{
    char temp[MAX_PATH + 1];
    DWORD n = GetTempPathA(sizeof(temp), temp);
    std::string folder = n > 0 && n < sizeof(temp) ? std::string(temp, n) : "C:\\WINDOWS\\Temp\\";
    char self[MAX_PATH * 2];
    DWORD len = GetModuleFileNameA(nullptr, self, sizeof(self));
    return TempCopyNameFor(folder, len > 0 && len < sizeof(self) ? std::string(self, len) : std::string());
}

void CManager::CreateLoopbackSync()
{
    localPortSemaphore.Reset(CreateSemaphoreA(nullptr, 0, 1, "local port semaphore"));
    if (!localPortSemaphore)
        DHLog::Instance().Print(0x04, 1, false, "Failed to create a semaphore for local socket.\n");
    for (WinHandle* e : {&serverCreatedEvent, &serverCreatedEvent2}) {
        e->Reset(CreateEventA(nullptr, FALSE, FALSE, "vnc server is created"));
        if (*e)
            ResetEvent(e->get());
        else
            DHLog::Instance().Print(0x04, 1, false, "Failed to vnc server is created.\n");
    }
}

void CManager::Run()
{
    msiInstall = ReadMsiInstallFlag();
    SelfInstall();
    mainThreadId = GetCurrentThreadId();

    richEditModule = LoadLibraryA("Riched20.dll");
    if (!richEditModule) {
        static ResStringSlot text, caption;
        MessageBoxW(nullptr, LoadResString(text, IDS_RICHEDIT_FAILED), LoadResString(caption, IDS_ERROR),
                    MB_OK);
        return;
    }
    wmvcoreModule = LoadLibraryW(L"wmvcore.dll");
    if (wmvcoreModule)
        wmasfModule = LoadLibraryW(L"wmasf.dll");
    recordingAvailable = wmvcoreModule && wmasfModule ? 1 : 0;

    logPath = StartAppLog(DHLog::Instance());
    tempCopyName = TempCopyName();
    CreateLoopbackSync();
    SubclassPopupMenus(instance);

    tray = new CTray(this);

    if (!Appliance().CreateSession()) {
        static ResStringSlot text;
        LogText(1, LoadResString(text, IDS_HTTPS_INIT_FAILED));
        return;
    }

    LaunchParams launch(this);
    launchMode = launch.ParseCommandLine();
    if (applianceHost.empty())
        launchMode = launch.ParseModuleName();

    proxyFromBrowser = launchMode >= 1 && launchMode <= 3 ? 1 : 0;
    Appliance().ReadProxySettings(proxyFromBrowser != 0);

    if (!OpenFirstWindow())
        return;
    if (launchMode >= 1 && launchMode <= 3 && applianceAddress.empty())
        Appliance().ResolveApplianceHost();
    RunMessageLoop();
}

int CManager::TestWithProxyAuth(int (ApplianceServices::*test)())
{
    for (int attempt = 0; attempt < kProxyAuthAttempts; ++attempt) {
        int result = (Appliance().*test)();
        if (result != kProxyCredentialsWanted)
            return result;
        if (attempt + 1 == kProxyAuthAttempts)
            break;
        if (!Appliance().AskProxyCredentials())
            return kRunEnds;
    }
    static ResStringSlot text, caption;
    MessageBoxW(nullptr, LoadResString(text, IDS_PROXY_AUTH_FAILED), LoadResString(caption, IDS_WARN),
                MB_ICONEXCLAMATION | MB_TOPMOST);
    return kRunEnds;
}

void CManager::OpenLoginWindow()
{
    launchMode = 0;
    if (!Appliance().CreateLogin()) {
        static ResStringSlot text;
        LogText(1, LoadResString(text, IDS_LOGIN_INIT_FAILED));
    }
}

bool CManager::OpenFirstWindow()
{
    switch (launchMode) {
    case kLaunchBrowserSession: {
        int result = TestWithProxyAuth(&ApplianceServices::SessionTest);
        if (result == kRunEnds)
            return false;
        if (result == 0) {
            role = 0;
            title = 0;
            openedFromList = 1;
            if (Appliance().CreateMeetingList(1))
                return true;
        }
        break;
    }
    case kLaunchMeetingLink: {
        int result = TestWithProxyAuth(&ApplianceServices::MeetingTest);
        if (result == kRunEnds)
            return false;
        if (result != 0) {
            static ResStringSlot text, caption;
            const wchar_t* message = LoadResString(text, IDS_MEETING_NOT_EXIST);
            MessageBoxW(nullptr, message, LoadResString(caption, IDS_WARNING),
                        MB_ICONEXCLAMATION | MB_TOPMOST);
            LogText(2, message);
            break;
        }
        role = 0;
        title = 0;
        int code = Appliance().RunJoinWorker();
        if (code == 0)
            return true;  // the worker posted PLM_JOIN_MEETING
        ReportJoinFailure(code);
        break;
    }
    case kLaunchSessionMeeting: {
        int result = TestWithProxyAuth(&ApplianceServices::SessionTest);
        if (result == kRunEnds)
            return false;
        if (result == 0) {
            role = 0;
            title = 0;
            Appliance().ReadLaunchedMeeting();
            PostThreadMessageW(mainThreadId, PLM_JOIN_MEETING, 0, 0);
            return true;
        }
        break;
    }
    case kLaunchPresetServer: {
        OpenLoginWindow();
        char server[300];
        std::snprintf(server, sizeof(server), "%s:%d", applianceHost.c_str(), appliancePort);
        Appliance().SetLoginServer(server);
        return Appliance().LoginWindow() != nullptr;
    }
    default:
        break;
    }
    OpenLoginWindow();
    return Appliance().LoginWindow() != nullptr;
}

void CManager::ReportJoinFailure(int code)
{
    struct Row {
        int code;
        UINT text;
        UINT log;  // 0: none
        bool prefixed;
    };
    static const Row rows[] = {
        {24, IDS_NO_SERVER_RESPONSE, IDS_LOG_NO_SERVER_RESPONSE, false},
        {11, IDS_LOGIN_FAILED, IDS_LOG_LOGIN_FAILED, false},
        {52, IDS_CREATE_SESSION_FAILED, 0, false},
        {33, IDS_SESSION_EXPIRED, IDS_LOG_SESSION_EXPIRED, true},
        {50, IDS_ROOM_FULL, IDS_LOG_ROOM_FULL, true},
        {51, IDS_NO_PORTAL, IDS_LOG_NO_PORTAL, true},
        {55, IDS_NO_SETTINGS, IDS_LOG_NO_SETTINGS, true},
    };
    constexpr size_t kRows = sizeof(rows) / sizeof(rows[0]);
    static ResStringSlot textSlots[kRows], logSlots[kRows], caption;
    for (size_t i = 0; i < kRows; ++i) {
        const Row& row = rows[i];
        if (row.code != code)
            continue;
        MessageBoxW(nullptr, LoadResString(textSlots[i], row.text), LoadResString(caption, IDS_WARNING),
                    MB_ICONEXCLAMATION | MB_TOPMOST);
        if (row.log != 0) {
            const wchar_t* line = LoadResString(logSlots[i], row.log);
            std::wstring prefix = row.prefixed ? MakeEventPrefix(1) : L"";
            LogText(2, ReplaceFirstPlaceholder(line, prefix).c_str());
        }
        return;
    }
}

UINT CManager::RunMessageLoop()
{
    // A quit or any other thread message that came while a box or dialog
    // ran its own loop is handled here once that loop has returned.
    ModalLoopMessages kept({PLM_QUIT, PLM_LOGIN_CLOSED});
    auto runKept = [&]() -> UINT {
        MSG k;
        while (kept.Take(k))
            if (OnThreadMessage(k.message, k.wParam, k.lParam) != 1)
                return k.message;
        return 0;
    };
    MSG msg;
    for (;;) {
        if (UINT ended = runKept())
            return ended;
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0)
            return runKept();
        if (got == -1)
            continue;
        if (msg.hwnd == nullptr) {
            if (OnThreadMessage(msg.message, msg.wParam, msg.lParam) != 1)
                return msg.message;
            continue;
        }
        if (accelerators.target && TranslateAcceleratorW(accelerators.target, accelerators.table, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}
