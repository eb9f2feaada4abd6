// The setup utility's command line: one switch, matched exactly.
#pragma once

#include <string_view>

enum class SetupAction { None, Install, Uninstall };

// Reads the command line without the program name. Only its first word counts
// (the text up to the first blank), and it must equal "/Install" or
// "/Uninstall" exactly; a word of 256 characters or more matches nothing.
SetupAction ParseSetupCommand(std::string_view commandLine);
