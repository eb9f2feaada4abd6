#include "Customer/encode/HostLog.h"

#include "core/base/DHLog.h"

namespace {

void toProgramLog(int level, const char* line)
{
    DHLog::Instance().Print(DHLOG_CAT_SHARING, level, false, "%s", line);
}

} // namespace

void RouteHostLogToProgramLog()
{
    SetHostLogSink(&toProgramLog);
}
