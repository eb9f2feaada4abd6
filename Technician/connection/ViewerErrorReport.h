// How the viewer's Warning and Error exceptions reach the user; one file a
// platform (ViewerErrorReport_win.cpp, ViewerErrorReport_posix.cpp).
#pragma once

namespace viewer {

// The caption of the viewer's message boxes.
constexpr char kReportCaption[] = " Info";

enum class ReportIcon { Exclamation, Hand };

// The box's flags (Windows MB_ values): its icon, set foreground, top-most.
constexpr unsigned kExclamationBoxFlags = 0x50030;
constexpr unsigned kHandBoxFlags = 0x50010;

// Shows text to the user and returns once the user has seen it.
void ShowReport(const char* text, ReportIcon icon);

} // namespace viewer
