#include "traysetup/SetupCommand.h"

namespace {
// The installers' word never comes near this; anything longer is not a switch.
constexpr size_t kMaxWord = 255;
}

SetupAction ParseSetupCommand(std::string_view commandLine)
{
    std::string_view word = commandLine.substr(0, commandLine.find(' '));
    if (word.size() > kMaxWord)
        return SetupAction::None;
    if (word == "/Install")
        return SetupAction::Install;
    if (word == "/Uninstall")
        return SetupAction::Uninstall;
    return SetupAction::None;
}
