// Feeds arbitrary bytes to all three launch parsers; the first byte picks how
// the rest is cut into arguments.
#include "core/app/LaunchParameters.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    ParseLaunchLink(text);
    ParseLaunchLink(std::string("x parlemo://") + text);
    ParseLaunchFileName(text);

    std::vector<std::string> args{"Corvisk.exe"};
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == ' ') {
            args.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    LaunchRequest r = ParseLaunchArguments(args);
    if (!r.error.empty() && (r.mode != 0 || r.fields.applianceHost))
        __builtin_trap();
    IsUriSchemeRequest(args);
    return 0;
}
