// Entry point of Corvisk.exe: start-up probes, the crash filter, then either
// the URI-scheme registration, the refusal of a second instance, or the run.
#include "Customer/capture/CaptureFilter.h"
#include "Customer/input/KeyTables.h"
#include "Customer/capture/OsVersionGlobals.h"
#include "core/app/CrashDump.h"
#include "core/base/AppWindows.h"
#include "core/app/LaunchParameters.h"
#include "core/app/LaunchParams.h"
#include "core/base/LoadResString.h"
#include "core/app/Manager.h"
#include "core/app/SingleInstance.h"
#include "core/app/Startup.h"
#include "core/base/UpdateMessages.h"
#include "core/app/UriScheme.h"
#include "core/app/res/resource.h"

#include <windows.h>
#include <commctrl.h>

#include <exception>
#include <memory>

namespace {

// Before WinMain, in this order: the sharing host's change-report messages,
// its key tables and the platform id it steers by.
struct StaticStartup {
    StaticStartup()
    {
        RegisterUpdateMessages();
        BuildDeadKeyTable();
        InitOsVersionGlobals();
    }
} g_staticStartup;

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    ProbeComFeature();
    SetAppWindowListener(RefreshCaptureFilter);
    EnableDpiAwareness();
    InstallCrashFilter();
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);

    // Its construction allocates too: any failure there is this message, not
    // a crash dump.
    std::unique_ptr<CManager> manager;
    try {
        manager.reset(new CManager(instance, MakeProgramServices));
    } catch (const std::exception&) {
    }
    if (!manager) {
        MessageBoxA(nullptr, "Failed to create manager instance.", "Error", MB_ICONHAND | MB_TOPMOST);
        return 0;
    }
    // A whole argument, so a link whose payload holds the word is still a link.
    if (IsUriSchemeRequest(LaunchParams::CommandLineArguments())) {
        RegisterUriScheme();
        return 0;
    }
    if (IsAnotherInstanceRunning()) {
        static ResStringSlot text, caption;
        MessageBoxW(nullptr, LoadResString(text, IDS_ANOTHER_INSTANCE), LoadResString(caption, IDS_WARNING),
                    MB_ICONEXCLAMATION | MB_TOPMOST);
        return 0;
    }
    manager->Run();
    const int exitCode = manager->exitCode;
    manager.reset();  // the ordered teardown, before the exit code is given
    return exitCode;
}
