#include "appliance/cgi/CgiLog.h"

void CgiLog::Print(uint8_t categories, int level, bool force, const std::string& text) const {
    if (!write) return;
    try {
        write(categories, level, force, text);
    } catch (...) {
        // Logging never fails its caller (an allocation in the conversion).
    }
}

std::string CgiLog::EventPrefix() const {
    if (!eventPrefix) return std::string();
    try {
        return eventPrefix();
    } catch (...) {
        return std::string();
    }
}
