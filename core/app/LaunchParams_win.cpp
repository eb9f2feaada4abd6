#include "core/app/LaunchParams.h"

#include "core/base/DHLog.h"
#include "core/app/LaunchParameters.h"
#include "core/base/LoadResString.h"
#include "core/app/Manager.h"
#include "core/base/TextConvert.h"
#include "core/app/res/resource.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

namespace {

std::string ToUtf8(const wchar_t* text)
{
    return WideToMultiByteString(text, -1, kCodePageUtf8);
}

void Apply(CManager& m, const LaunchFields& f)
{
    if (f.applianceHost)
        m.applianceHost = *f.applianceHost;
    if (f.appliancePort)
        m.appliancePort = *f.appliancePort;
    if (f.ownSessionId)
        m.ownSessionId = *f.ownSessionId;
    if (f.ownDisplayName)
        m.ownDisplayName = MultiByteToWideString(f.ownDisplayName->c_str(), -1, kCodePageUtf8);
    if (f.portalName)
        m.portalName = *f.portalName;
    if (f.meetingId)
        m.meetingId = *f.meetingId;
}

void ReportError(const std::string& error, bool show)
{
    DHLog::Instance().Print(0x04, 1, false, "Launch parameters refused: %s\n", error.c_str());
    if (show) {
        static ResStringSlot text, caption;
        MessageBoxW(nullptr, LoadResString(text, IDS_LAUNCH_PARAMS_INVALID),
                    LoadResString(caption, IDS_WARNING), MB_ICONEXCLAMATION | MB_TOPMOST);
    }
}

void RemoveStartupShortcut()
{
    wchar_t startup[MAX_PATH] = L"";
    if (SHGetSpecialFolderPathW(nullptr, startup, CSIDL_STARTUP, FALSE))
        DeleteFileW((std::wstring(startup) + L"\\Corvisk.exe.lnk").c_str());
}

} // namespace

std::vector<std::string> LaunchParams::CommandLineArguments()
{
    std::vector<std::string> args;
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (argv == nullptr)
        return args;
    for (int i = 0; i < count; ++i)
        args.push_back(ToUtf8(argv[i]));
    LocalFree(argv);
    return args;
}

int LaunchParams::ParseCommandLine()
{
    std::string line = ToUtf8(GetCommandLineW());
    LaunchRequest r;
    if (HasLaunchLink(line)) {
        r = ParseLaunchLink(line);
    } else {
        r = ParseLaunchArguments(CommandLineArguments());
        if (r.hadArguments)
            RemoveStartupShortcut();
    }
    if (!r.error.empty()) {
        ReportError(r.error, true);
        return kLaunchLogin;
    }
    Apply(*m_manager, r.fields);
    if (r.fields.applianceHost && HasLaunchLink(line))
        m_manager->Appliance().ResolveApplianceHost();
    return r.mode;
}

int LaunchParams::ParseModuleName()
{
    wchar_t path[MAX_PATH * 2] = L"";
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2)
        return kLaunchLogin;
    LaunchRequest r = ParseLaunchFileName(ToUtf8(path));
    if (!r.error.empty()) {
        ReportError(r.error, false);
        return kLaunchLogin;
    }
    Apply(*m_manager, r.fields);
    return r.mode;
}
