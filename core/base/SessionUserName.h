#pragma once
// The user of the interactive session: the one who runs this session's
// desktop shell ("explorer.exe"), else the one this process runs as. Login
// and join use it as the default display name.
#include <cstdint>
#include <string>
#include <vector>

struct ProcessEntry {
    uint32_t pid = 0;
    std::wstring exeName;
    bool sessionKnown = false;
    uint32_t session = 0;
};

// Id of the first "explorer.exe" (any case) of the list that runs in session;
// 0 when there is none. On a terminal server the other sessions' shells
// belong to other users, so they never count.
uint32_t FindSessionShell(const std::vector<ProcessEntry>& processes, uint32_t session);

// Id of this session's shell process (FindSessionShell over the running
// processes); 0 when none runs here.
uint32_t SessionShellProcessId();

// Id of the shell of the interactive session: the console's, or in a remote
// session this process's own (FindSessionShell over the running processes);
// 0 when none runs there.
uint32_t FindConsoleSessionExplorer();

// Account name of the user who runs this session's shell; 0 (name unchanged)
// when no shell runs in this session or its user cannot be read.
int GetShellUserName(std::wstring& name);

// The shell's user, else the process's user (GetUserNameW). 1 with the name;
// 0, name unchanged, when neither can be read.
int GetSessionUserName(std::wstring& name);
