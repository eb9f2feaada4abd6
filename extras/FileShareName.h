#pragma once
// Names of offered files come from the network: before a name is shown,
// proposed to the save dialog or used in a path it is cut down to a plain
// last component that Windows cannot read as anything else.
#include <string>
#include <string_view>

namespace fileshare {

// UTF-8 in, UTF-8 out: the part after the last '\' or '/', without a drive,
// stream (':'), characters Windows forbids in names, control characters,
// trailing dots and spaces; "." and ".." become "file"; a reserved device
// name (CON, NUL, COM1, LPT1, ... with or without an extension) gets the
// prefix "_"; at most kMaxCleanName bytes, cut at a character boundary and
// keeping a short extension.
constexpr size_t kMaxCleanName = 180;
std::string CleanFileName(std::string_view name);

} // namespace fileshare
