// Where the decoders' log lines go. The library knows no logger of its own:
// the viewer connects the sink to the program's log. Levels are the log's
// (DEBUGERROR 5, DEBUGWARN 6, DEBUGINFO 7); a line carries its own line feed.
#pragma once

#include <functional>

namespace decode {

enum class LogLevel { DebugError = 5, DebugWarn = 6, DebugInfo = 7 };

class DecodeLog {
public:
    using Sink = std::function<void(LogLevel level, const char* line)>;

    DecodeLog() = default;
    explicit DecodeLog(Sink sink) : m_sink(std::move(sink)) {}

    // printf-style text, cut at 511 bytes.
    void write(LogLevel level, const char* format, ...) const
#if defined(__GNUC__)
        __attribute__((format(printf, 3, 4)))
#endif
        ;

private:
    Sink m_sink;
};

} // namespace decode
