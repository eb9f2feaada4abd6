#pragma once
// Reads the launch parameters of this run into the manager: the command line
// (a "parlemo://" link or positional arguments) or, failing a host there, the
// program's own file name. Malformed input is logged, shown once, and gives
// the login window.
#include <string>
#include <vector>

class CManager;

class LaunchParams {
public:
    explicit LaunchParams(CManager* manager) : m_manager(manager) {}

    // The mode 0-4 from the command line.
    int ParseCommandLine();
    // The mode 0-4 from the program's file name.
    int ParseModuleName();

    // The command line as UTF-8 arguments (CommandLineToArgvW).
    static std::vector<std::string> CommandLineArguments();

private:
    CManager* m_manager;
};
