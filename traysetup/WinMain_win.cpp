// traysetup.exe: run by the installer with "/Install" or by the uninstaller
// with "/Uninstall". It has no window and always exits with 0.
#include <windows.h>

#include "traysetup/ProgramsFolder.h"
#include "traysetup/RunningProgram.h"
#include "traysetup/SetupCommand.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    switch (ParseSetupCommand(commandLine ? commandLine : "")) {
    case SetupAction::Install:
        DeleteProgramsFolder("Quenlore Secure Parlemo");
        break;
    case SetupAction::Uninstall:
        if (FindTrayWindow())
            KillRunningProgram();
        DeleteProgramsFolder("Vantrel Quenlore Secure Parlemo");
        break;
    case SetupAction::None:
        break;
    }
    return 0;
}
