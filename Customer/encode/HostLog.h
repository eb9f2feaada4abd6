// Log lines of the sharing host's platform-neutral code. The program routes
// them to its logger (HostLog_win.cpp); tests may install their own sink to
// see which lines were written. Without a sink lines are dropped.
#pragma once

#if defined(__GNUC__)
#define HOSTLOG_PRINTF_CHECK(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define HOSTLOG_PRINTF_CHECK(fmt, args)
#endif

// Levels as the program's logger has them.
constexpr int kHostLogError = 1;
constexpr int kHostLogWarn = 2;
constexpr int kHostLogInfo = 3;
constexpr int kHostLogDebugWarn = 6;
constexpr int kHostLogDebugInfo = 7;
constexpr int kHostLogDebug = 8;

using HostLogSink = void (*)(int level, const char* line);

// Installs the sink (null: drop lines) and returns the previous one.
HostLogSink SetHostLogSink(HostLogSink sink);

// Formats one line (bounded to 1024 bytes) and hands it to the sink.
void HostLog(int level, const char* format, ...) HOSTLOG_PRINTF_CHECK(2, 3);

// Sends the lines to the program's logger (sharing category); HostLog_win.cpp.
void RouteHostLogToProgramLog();
