// The program's one logger. Lines pass a category mask and a level threshold,
// get the time prefix and level tag of LogFormat.h and go to the enabled
// sinks: the debugger, the console and a UTF-8 log file.
#pragma once

#include "core/base/LogFormat.h"

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <memory>
#include <string>

#if defined(__GNUC__)
#define DHLOG_PRINTF_CHECK(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#else
#define DHLOG_PRINTF_CHECK(fmt, args)
#endif

class DHLog {
public:
    // Everything off and a threshold and mask of 0, so nothing passes until
    // the start-up configuration (StartAppLog).
    DHLog();
    virtual ~DHLog();
    DHLog(const DHLog&) = delete;
    DHLog& operator=(const DHLog&) = delete;

    // The process-wide logger. Made on first use and never destroyed, so
    // code running in static destructors may still log; lines reach the file
    // as they are written.
    static DHLog& Instance();

    // printf-style message in the system ANSI code page (C99 conversions).
    void Print(std::uint8_t categories, int level, bool force, const char* format, ...)
        DHLOG_PRINTF_CHECK(5, 6);
    // Wide message with Windows conversions: %s and %ls take wide text, %hs
    // narrow text.
    void PrintW(std::uint8_t categories, int level, bool force, const wchar_t* format, ...);

    // Replaces the file name (ANSI path; empty: none) and clears the append
    // flag; reopens the file when the file sink is on.
    void SetFile(const char* path);
    // Opens the file: the previous one is kept as name + ".bak" unless the
    // append flag is set (or it cannot be moved aside: then it is written on
    // at its end). No name or a failure switches to the debugger sink.
    void OpenFile();

    void SetMask(std::uint8_t mask) { m_mask.store(mask, std::memory_order_relaxed); }
    void SetThreshold(int level) { m_threshold.store(level, std::memory_order_relaxed); }
    int Threshold() const { return m_threshold.load(std::memory_order_relaxed); }
    void SetDebuggerSink(bool on) { m_toDebugger.store(on, std::memory_order_relaxed); }
    void SetConsoleSink(bool on) { m_toConsole.store(on, std::memory_order_relaxed); }
    void SetAppend(bool on) { m_append.store(on, std::memory_order_relaxed); }
    bool FileSinkOn() const { return m_toFile.load(std::memory_order_relaxed); }
    bool DebuggerSinkOn() const { return m_toDebugger.load(std::memory_order_relaxed); }

private:
    struct Sinks;  // the file handle and the lock of whole lines

    bool Passes(std::uint8_t categories, int level, bool force) const;
    // Format the message and write prefix, tag and message as one line.
    void ReallyPrint(int level, const char* format, va_list args);
    void ReallyPrintW(int level, const wchar_t* format, va_list args);
    // One whole line to every enabled sink; the caller holds the line lock.
    void Write(const std::string& line);
    void WriteW(const std::wstring& line);
    void OpenFileLocked();

    std::atomic<bool> m_toFile{false};
    std::atomic<bool> m_toDebugger{false};
    std::atomic<bool> m_toConsole{false};
    std::atomic<int> m_threshold{0};
    std::atomic<std::uint8_t> m_mask{0};
    std::string m_fileName;
    std::atomic<bool> m_append{false};
    std::unique_ptr<Sinks> m_sinks;
};
