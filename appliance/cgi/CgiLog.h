#pragma once
// Where the appliance requests write their log lines: the program binds it to
// its DHLog (DHLogWriter, CgiLog_win.h), tests record the lines. Text is UTF-8
// and carries its own line end, as every log message does.
#include <cstdint>
#include <functional>
#include <string>

#include "core/base/LogFormat.h"

// Category bits of the request lines besides those of LogFormat.h.
constexpr uint8_t kLogCatAppliance = 0x02;  // the appliance certificate check

struct CgiLog {
    using Writer = std::function<void(uint8_t categories, int level, bool force, const std::string& text)>;

    // Unset: lines are dropped.
    Writer write;
    // The "role\tname\t" prefix of meeting event lines; unset: no prefix.
    std::function<std::string()> eventPrefix;

    // Never throws: a line that cannot be written is dropped.
    void Print(uint8_t categories, int level, bool force, const std::string& text) const;
    std::string EventPrefix() const;
};
