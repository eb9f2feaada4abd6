// Line format of the log file: time prefix, level tag, filter and the cut of
// over-long messages. The sinks live in DHLog.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum LogLevel : int {
    DHLOG_ERROR = 1,
    DHLOG_WARN = 2,
    DHLOG_INFO = 3,
    DHLOG_PLAIN = 4,  // written without a tag
    DHLOG_DEBUGERROR = 5,
    DHLOG_DEBUGWARN = 6,
    DHLOG_DEBUGINFO = 7,
    DHLOG_DEBUG = 8,
};

// Category bits of the program's lines.
enum LogCategory : std::uint8_t {
    DHLOG_CAT_STARTUP = 0x04,  // start-up and network set-up
    DHLOG_CAT_SHARING = 0x08,  // screen sharing and the viewer
    DHLOG_CAT_MEETING = 0x80,  // meeting events
};

// A formatted message holds at most this many characters with its zero.
constexpr std::size_t kLogMessageChars = 1024;

struct LogTime {
    int year, month, day, hour, minute;
};

// "%2d-%2d-%4d %02d:%02d\t" of month, day, year, hour and minute.
std::string FormatLogPrefix(const LogTime& t);

// "ERROR\t" ... "DEBUG\t"; "" for level 4 and levels outside 1..8.
const char* LogLevelTag(int level);

// A line is written when one of its category bits is enabled and it is
// forced or its level is within the threshold.
bool LogLinePasses(std::uint8_t categories, std::uint8_t mask, int level, int threshold,
                   bool force);

// Finishes a message that a printf-style formatter wrote into buf (capacity
// characters, zero-filled before formatting). `formatted` is the formatter's
// result: a count below capacity means the whole message fit; a negative
// result or one of capacity or more means it was cut. Always terminates the
// buffer. A cut message is kept to capacity - 1 characters, the last being a
// line feed, so it cannot run into the next line; a UTF-16 pair split by the
// cut is dropped whole. Returns the length.
std::size_t FinishLogMessage(char* buf, std::size_t capacity, long long formatted);
std::size_t FinishLogMessage(wchar_t* buf, std::size_t capacity, long long formatted);
