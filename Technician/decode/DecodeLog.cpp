#include "Technician/decode/DecodeLog.h"

#include <cstdarg>
#include <cstdio>

namespace decode {

void DecodeLog::write(LogLevel level, const char* format, ...) const
{
    if (!m_sink)
        return;
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    m_sink(level, line);
}

} // namespace decode
