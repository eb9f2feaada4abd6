#include "Customer/encode/HostLog.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace {
std::atomic<HostLogSink> g_sink{nullptr};
}

HostLogSink SetHostLogSink(HostLogSink sink)
{
    return g_sink.exchange(sink);
}

void HostLog(int level, const char* format, ...)
{
    const HostLogSink sink = g_sink.load();
    if (!sink)
        return;
    char line[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    sink(level, line);
}
