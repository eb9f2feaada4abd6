#include "appliance/cgi/CgiSession.h"

#include <ctime>
#include <mutex>

int32_t CgiSession::CurrentUtcOffsetMinutes() {
    // gmtime and localtime share a static buffer; one caller at a time.
    static std::mutex lock;
    std::lock_guard<std::mutex> guard(lock);
    std::time_t now = std::time(nullptr);
    std::tm local = *std::localtime(&now);
    std::tm utc = *std::gmtime(&now);
    utc.tm_isdst = local.tm_isdst;
    return static_cast<int32_t>(std::difftime(std::mktime(&local), std::mktime(&utc)) / 60);
}

int GetClientCertEntry(const CgiSession& session, size_t index, ClientCertEntry& out) {
    if (index >= session.clientCerts.size()) return 1;
    out = session.clientCerts[index];
    return 0;
}
