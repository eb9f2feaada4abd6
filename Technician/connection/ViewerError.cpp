#include "Technician/connection/ViewerError.h"

#include "Technician/connection/ViewerErrorReport.h"

#include <cstdio>

namespace viewer {

Exception::Exception(const char* className, const char* text) : rdr::Exception(className, text)
{
    std::snprintf(m_message, sizeof m_message, "%s", text ? text : "");
}

Exception::~Exception() = default;

void WarningException::Report() const
{
    ShowReport(message(), ReportIcon::Exclamation);
}

void ErrorException::Report() const
{
    ShowReport(message(), ReportIcon::Hand);
}

} // namespace viewer
