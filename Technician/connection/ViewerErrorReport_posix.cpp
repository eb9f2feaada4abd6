#include "Technician/connection/ViewerErrorReport.h"

#include <cstdio>

namespace viewer {

void ShowReport(const char* text, ReportIcon icon)
{
    std::fprintf(stderr, "%s (%s): %s\n", kReportCaption + 1, icon == ReportIcon::Hand ? "error" : "warning", text);
}

} // namespace viewer
