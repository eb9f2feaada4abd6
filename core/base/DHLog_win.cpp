#include "core/base/DHLog.h"

#include "core/base/TextConvert.h"
#include "core/base/WinHandle.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>

struct DHLog::Sinks {
    Sinks() { InitializeCriticalSection(&lock); }
    ~Sinks() { DeleteCriticalSection(&lock); }
    Sinks(const Sinks&) = delete;
    Sinks& operator=(const Sinks&) = delete;

    CRITICAL_SECTION lock;
    WinHandle file;
};

namespace {

class LineLock {
public:
    explicit LineLock(CRITICAL_SECTION& cs) : m_cs(cs) { EnterCriticalSection(&m_cs); }
    ~LineLock() { LeaveCriticalSection(&m_cs); }
    LineLock(const LineLock&) = delete;
    LineLock& operator=(const LineLock&) = delete;

private:
    CRITICAL_SECTION& m_cs;
};

std::string PrefixAndTag(int level)
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    return FormatLogPrefix({st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute}) +
           LogLevelTag(level);
}

void WriteAll(HANDLE file, const std::string& bytes)
{
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        DWORD written = 0;
        if (!WriteFile(file, p, static_cast<DWORD>(left), &written, nullptr) || written == 0)
            return;
        p += written;
        left -= written;
    }
}

} // namespace

DHLog::DHLog() : m_sinks(std::make_unique<Sinks>()) {}

DHLog::~DHLog() = default;

DHLog& DHLog::Instance()
{
    static DHLog* const log = new DHLog;
    return *log;
}

bool DHLog::Passes(std::uint8_t categories, int level, bool force) const
{
    return LogLinePasses(categories, m_mask.load(std::memory_order_relaxed), level,
                         m_threshold.load(std::memory_order_relaxed), force);
}

void DHLog::Print(std::uint8_t categories, int level, bool force, const char* format, ...)
{
    if (!Passes(categories, level, force) || format == nullptr)
        return;
    va_list args;
    va_start(args, format);
    ReallyPrint(level, format, args);
    va_end(args);
}

void DHLog::PrintW(std::uint8_t categories, int level, bool force, const wchar_t* format, ...)
{
    if (!Passes(categories, level, force) || format == nullptr)
        return;
    va_list args;
    va_start(args, format);
    ReallyPrintW(level, format, args);
    va_end(args);
}

void DHLog::ReallyPrint(int level, const char* format, va_list args)
{
    char msg[kLogMessageChars] = {};
    int n = std::vsnprintf(msg, sizeof msg, format, args);
    std::size_t len = FinishLogMessage(msg, sizeof msg, n);

    LineLock lock(m_sinks->lock);
    Write(PrefixAndTag(level) + std::string(msg, len));
}

void DHLog::ReallyPrintW(int level, const wchar_t* format, va_list args)
{
    wchar_t msg[kLogMessageChars] = {};
    // Windows conversions (%s is wide); no terminating zero when cut.
    int n = _vsnwprintf(msg, kLogMessageChars, format, args);
    std::size_t len = FinishLogMessage(msg, kLogMessageChars, n);

    std::string head = PrefixAndTag(level);  // ASCII
    LineLock lock(m_sinks->lock);
    WriteW(std::wstring(head.begin(), head.end()) + std::wstring(msg, len));
}

void DHLog::Write(const std::string& line)
{
    if (DebuggerSinkOn())
        OutputDebugStringA(line.c_str());
    if (m_toConsole.load(std::memory_order_relaxed)) {
        DWORD written = 0;
        WriteConsoleA(GetStdHandle(STD_OUTPUT_HANDLE), line.data(),
                      static_cast<DWORD>(line.size()), &written, nullptr);
    }
    if (FileSinkOn() && m_sinks->file) {
        std::wstring wide =
            MultiByteToWideString(line.data(), static_cast<int>(line.size()), kCodePageAnsi);
        WriteAll(m_sinks->file.get(),
                 WideToMultiByteString(wide.data(), static_cast<int>(wide.size()), kCodePageUtf8));
    }
}

void DHLog::WriteW(const std::wstring& line)
{
    if (DebuggerSinkOn())
        OutputDebugStringW(line.c_str());
    if (m_toConsole.load(std::memory_order_relaxed)) {
        DWORD written = 0;
        WriteConsoleW(GetStdHandle(STD_OUTPUT_HANDLE), line.data(),
                      static_cast<DWORD>(line.size()), &written, nullptr);
    }
    if (FileSinkOn() && m_sinks->file) {
        WriteAll(m_sinks->file.get(),
                 WideToMultiByteString(line.data(), static_cast<int>(line.size()), kCodePageUtf8));
    }
}

void DHLog::SetFile(const char* path)
{
    LineLock lock(m_sinks->lock);
    m_fileName = path ? path : "";
    m_append.store(false, std::memory_order_relaxed);
    if (FileSinkOn())
        OpenFileLocked();
}

void DHLog::OpenFile()
{
    LineLock lock(m_sinks->lock);
    OpenFileLocked();
}

void DHLog::OpenFileLocked()
{
    if (m_fileName.empty()) {
        m_sinks->file.Reset();
        m_toFile = false;
        m_toDebugger = true;
        return;
    }
    m_toFile = true;
    // Closed before the move: an open handle would make the move fail, and
    // the truncation below would then wipe the previous log.
    m_sinks->file.Reset();
    bool append = m_append.load(std::memory_order_relaxed);
    // A previous log that cannot be moved aside (another program holds the
    // old ".bak" open) is written on at its end rather than wiped.
    if (!append &&
        !MoveFileExA(m_fileName.c_str(), (m_fileName + ".bak").c_str(), MOVEFILE_REPLACE_EXISTING) &&
        GetFileAttributesA(m_fileName.c_str()) != INVALID_FILE_ATTRIBUTES)
        append = true;

    m_sinks->file.Reset(CreateFileA(m_fileName.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!m_sinks->file) {
        m_toDebugger = true;
        m_toFile = false;
        return;
    }
    if (append)
        SetFilePointer(m_sinks->file.get(), 0, nullptr, FILE_END);
    else
        SetEndOfFile(m_sinks->file.get());
}
