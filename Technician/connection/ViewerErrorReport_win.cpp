#include "Technician/connection/ViewerErrorReport.h"

#include <windows.h>

namespace viewer {

static_assert(kExclamationBoxFlags == (MB_ICONEXCLAMATION | MB_SETFOREGROUND | MB_TOPMOST));
static_assert(kHandBoxFlags == (MB_ICONHAND | MB_SETFOREGROUND | MB_TOPMOST));

void ShowReport(const char* text, ReportIcon icon)
{
    // No owner: the box stays on top of the viewer, which may be full screen.
    MessageBoxA(nullptr, text, kReportCaption, icon == ReportIcon::Hand ? kHandBoxFlags : kExclamationBoxFlags);
}

} // namespace viewer
