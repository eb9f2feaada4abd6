// Prints what Corvisk's launch-argument parser makes of this program's own
// command line, one "name=value" line each, so that a script can check the
// arguments it builds for Corvisk.exe. Exits 1 when the parser refuses them.
#include "core/app/LaunchParameters.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

void PrintField(const char* name, const std::optional<std::string>& value)
{
    if (value)
        std::printf("%s=%s\n", name, value->c_str());
}

} // namespace

int main(int argc, char** argv)
{
    const LaunchRequest r = ParseLaunchArguments(std::vector<std::string>(argv, argv + argc));
    std::printf("mode=%d\n", r.mode);
    const LaunchFields& f = r.fields;
    PrintField("host", f.applianceHost);
    if (f.appliancePort)
        std::printf("port=%u\n", static_cast<unsigned>(*f.appliancePort));
    PrintField("session", f.ownSessionId);
    PrintField("name", f.ownDisplayName);
    PrintField("portal", f.portalName);
    PrintField("meeting", f.meetingId);
    if (!r.error.empty())
        std::printf("error=%s\n", r.error.c_str());
    return r.error.empty() ? 0 : 1;
}
