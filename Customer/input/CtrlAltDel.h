#pragma once
// The viewer's Ctrl-Alt-Del: Task Manager on the host, started on a thread of
// its own so the session does not wait for it.

// How Task Manager was started.
enum class TaskManagerStart {
    Failed,
    AsLoggedOnUser,  // with the token of the console session's shell
    ThroughShell,
};

// For a program acting for the interactive user from another account,
// Task Manager is started as that user on "Winsta0\Default"; otherwise, or when that fails, through the
// shell. Every handle is closed here; processId (optional) gets the new
// process's id when it is known.
TaskManagerStart StartTaskManager(bool asLoggedOnUser, unsigned long* processId);

// Logs "preparing to generate ctrl-alt-del" and starts the thread that runs
// StartTaskManager; false when the thread could not be created. The program
// runs as the interactive user itself, so Task Manager goes through the shell.
bool GenerateCtrlAltDel();
