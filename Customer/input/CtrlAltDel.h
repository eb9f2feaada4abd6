#pragma once
// The viewer's Ctrl-Alt-Del: Task Manager on the host, started on a thread of
// its own so the session does not wait for it.

// How Task Manager was started.
enum class TaskManagerStart {
    Failed,
    AsLoggedOnUser,  // with the token of the console session's shell
    ThroughShell,
};

// When the program acts for the interactive user from another account (the
// application core says so at start-up), Task Manager is started as that
// user on "Winsta0\Default"; otherwise, or when that fails, through the
// shell. Every handle is closed here; processId (optional) gets the new
// process's id when it is known.
TaskManagerStart StartTaskManager(bool asLoggedOnUser, unsigned long* processId);

// The program acts for the logged-on user (default: no).
void SetActingForLoggedOnUser(bool on);

// Logs "preparing to generate ctrl-alt-del" and starts the thread that runs
// StartTaskManager; false when the thread could not be created.
bool GenerateCtrlAltDel();
