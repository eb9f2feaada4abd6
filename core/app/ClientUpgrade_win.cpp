// The client upgrade: when the appliance says a newer client is needed, ask,
// download it, start it and end this run.
#include "core/app/ProgramAppliance_win.h"

#include "appliance/cgi/CgiResult.h"
#include "appliance/cgi/SessionRequests.h"
#include "core/app/ExecutableImage.h"
#include "core/app/Manager.h"
#include "core/app/SelfInstall_win.h"
#include "core/app/SingleInstance.h"
#include "core/app/Tray.h"
#include "core/app/res/resource.h"
#include "core/base/DHLog.h"
#include "core/base/LoadResString.h"
#include "core/base/TextConvert.h"

#include <windows.h>
#include <shellapi.h>
#include <softpub.h>
#include <wintrust.h>

#include <cstdio>
#include <cwchar>

namespace {

constexpr uint8_t kLogCategory = 0x04;

void LogText(int level, const wchar_t* text)
{
    DHLog::Instance().PrintW(kLogCategory, level, false, L"%s\n", text);
}

// The question; true when the user goes ahead. A box that cannot be shown
// (0) counts as a refusal.
bool AskToUpgrade(bool required)
{
    static ResStringSlot requiredText, optionalText, caption;
    if (required)
        return MessageBoxW(nullptr, LoadResString(requiredText, IDS_UPGRADE_REQUIRED),
                           LoadResString(caption, IDS_INFORMATION), MB_ICONINFORMATION | MB_SYSTEMMODAL) == IDOK;
    return MessageBoxW(nullptr, LoadResString(optionalText, IDS_UPGRADE_OPTIONAL), LoadResString(caption, IDS_INFORMATION),
                       MB_YESNO | MB_ICONQUESTION | MB_SYSTEMMODAL) == IDYES;
}

enum class Signature { Verified, Unsigned, Refused };

// The file's Authenticode signature as the system's trust provider sees it.
Signature CheckSignature(const std::string& path)
{
    const std::wstring wide = AnsiToWide(path, CP_ACP);
    WINTRUST_FILE_INFO file{};
    file.cbStruct = sizeof(file);
    file.pcwszFilePath = wide.c_str();
    WINTRUST_DATA data{};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const LONG result = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    if (result == ERROR_SUCCESS)
        return Signature::Verified;
    if (static_cast<HRESULT>(result) == TRUST_E_NOSIGNATURE)
        return Signature::Unsigned;
    DHLog::Instance().Print(kLogCategory, 2, false, "The upgrade's signature does not verify (0x%08lX).\n",
                            static_cast<unsigned long>(result));
    return Signature::Refused;
}

// The downloaded file is a whole Windows program whose signature, when it
// has one, verifies; anything else is removed.
bool DownloadClient(CgiSession& session, const std::string& path)
{
    if (CgiDownloadClientUpgrade(session, path) != CGI_OK) {
        DeleteFileA(path.c_str());
        return false;
    }
    bool usable = IsWindowsExecutable(path);
    if (!usable) {
        DHLog::Instance().Print(kLogCategory, 2, false, "The upgrade download is not a Windows program.\n");
    } else {
        Signature signature = CheckSignature(path);
        if (signature == Signature::Unsigned)
            DHLog::Instance().Print(kLogCategory, 2, false, "The upgrade download is not signed.\n");
        usable = signature != Signature::Refused;
    }
    if (!usable)
        DeleteFileA(path.c_str());
    return usable;
}

} // namespace

void ProgramAppliance::EndRun(int exitCode)
{
    m_manager.exitCode = exitCode;
    PostThreadMessageW(m_manager.mainThreadId, PLM_QUIT, 0, 0);
}

int ProgramAppliance::UpgradeClient(bool required)
{
    if (!AskToUpgrade(required)) {
        if (!required)
            return 1;
        static ResStringSlot text, caption;
        MessageBoxW(nullptr, LoadResString(text, IDS_UPGRADE_REFUSED), LoadResString(caption, IDS_WARNING),
                    MB_ICONWARNING | MB_SYSTEMMODAL | MB_TOPMOST);
        EndRun(0);
        return 0;
    }

    const std::string file = m_manager.tempCopyName;
    if (file.empty() || !DownloadClient(PreparedSession(), file)) {
        static ResStringSlot log, requiredText, optionalText, error, warning;
        LogText(1, LoadResString(log, IDS_LOG_UPGRADE_FAILED));
        if (required) {
            MessageBoxW(nullptr, LoadResString(requiredText, IDS_UPGRADE_FAILED_REQUIRED),
                        LoadResString(error, IDS_ERROR), MB_ICONHAND | MB_SYSTEMMODAL | MB_TOPMOST);
            EndRun(0);
            return 0;
        }
        MessageBoxW(nullptr, LoadResString(optionalText, IDS_UPGRADE_FAILED_OPTIONAL),
                    LoadResString(warning, IDS_WARNING), MB_ICONWARNING | MB_SYSTEMMODAL | MB_TOPMOST);
        return 1;
    }

    char self[390];
    DWORD n = GetModuleFileNameA(nullptr, self, 389);
    if (n == 0 || n >= 389 || SameFilePath(std::string(self, n), file)) {
        static ResStringSlot text;
        LogText(2, LoadResString(text, IDS_LOG_UPGRADE_SELF));
        return 0;
    }

    char arguments[320];
    std::snprintf(arguments, sizeof(arguments), "-%s -%u", m_manager.applianceHost.c_str(),
                  static_cast<unsigned>(m_manager.appliancePort));
    // The new client must not take this one for a running instance.
    HWND tray = m_manager.tray ? m_manager.tray->Window() : nullptr;
    if (tray)
        RemovePropA(tray, TRAY_PROPERTY_NAME);
    HINSTANCE started = ShellExecuteA(nullptr, nullptr, file.c_str(), arguments, nullptr, SW_SHOW);
    if (reinterpret_cast<INT_PTR>(started) > 32) {
        EndRun(1);
        return 0;
    }
    DWORD error = GetLastError();
    static ResStringSlot text;
    wchar_t line[600];
    std::swprintf(line, 600, LoadResString(text, IDS_LOG_UPGRADE_START_FAILED), static_cast<int>(error));
    LogText(1, line);
    if (tray)
        SetPropA(tray, TRAY_PROPERTY_NAME, reinterpret_cast<HANDLE>(TRAY_PROPERTY_VALUE));
    return 0;
}
