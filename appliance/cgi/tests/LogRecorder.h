#pragma once
// Collects the lines the requests write, for tests to compare.
#include <cstdint>
#include <string>
#include <vector>

#include "appliance/cgi/CgiLog.h"

struct LogRecorder {
    struct Line {
        uint8_t categories;
        int level;
        bool force;
        std::string text;
        bool operator==(const Line& o) const {
            return categories == o.categories && level == o.level && force == o.force && text == o.text;
        }
    };
    std::vector<Line> lines;

    // Binds log to this recorder, with prefix as the event prefix.
    void Attach(CgiLog& log, std::string prefix = std::string()) {
        log.write = [this](uint8_t c, int l, bool f, const std::string& t) { lines.push_back({c, l, f, t}); };
        log.eventPrefix = [prefix] { return prefix; };
    }
};
