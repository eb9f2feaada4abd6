#include "Technician/connection/ViewerErrorReport.h"

#include <windows.h>

namespace viewer {

void ShowReport(const char* text, ReportIcon icon)
{
    // No owner: the box stays on top of the viewer, which may be full screen.
    const UINT flags = (icon == ReportIcon::Hand ? MB_ICONHAND : MB_ICONEXCLAMATION) | MB_SETFOREGROUND | MB_TOPMOST;
    MessageBoxA(nullptr, text, kReportCaption, flags);
}

} // namespace viewer
